#pragma once

#include <QRect>
#include <QWidget>

// Placeholder of the popover base: a frameless window shown next to the tray icon.
// The full popover framework replaces this file.
class AbstractPopover : public QWidget {
    Q_OBJECT
public:
    explicit AbstractPopover(QWidget* parent = nullptr);
    ~AbstractPopover() override;

    // anchor: the tray icon's geometry in global coordinates, or empty (then: at the cursor).
    virtual void showPopover(const QRect& anchor);
    virtual void hidePopover();
};
