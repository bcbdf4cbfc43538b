#pragma once

#include <QWidget>

class QLabel;
class ProgressIndicator;

// The half-transparent black cover laid over the sign-on window while the service is being
// asked, with a spinner and, during the token exchange, the success label.
class SSOOverlayView : public QWidget {
    Q_OBJECT
public:
    // Covers `covered` and follows its size.
    explicit SSOOverlayView(QWidget* covered);

    void showOverlay(bool showLoginSuccessfulLabel);
    void hideOverlay();

    ProgressIndicator* spinner() const { return m_spinner; }
    QLabel* loginSuccessfulLabel() const { return m_successLabel; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* m_covered;
    ProgressIndicator* m_spinner;
    QLabel* m_successLabel;
};
