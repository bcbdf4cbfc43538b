#pragma once

#include <QString>

class QLabel;

// The success or failure mark shown after an upload (a check or a cross), with a tooltip that
// says what happened. The "failed" property tells tests which one shows.
class ResultIcon {
public:
    static void setImage(QLabel* icon, bool failed, const QString& toolTip);
    // Shows the mark and fades it out over 1.5 s with an ease-in curve.
    static void showAndFade(QLabel* icon, bool failed, const QString& toolTip);
};
