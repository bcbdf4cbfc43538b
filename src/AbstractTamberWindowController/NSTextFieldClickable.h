#pragma once

#include <QLabel>

// A text used as a link: a click (or Space / Return when it has the focus) emits clicked().
class NSTextFieldClickable : public QLabel {
    Q_OBJECT
public:
    explicit NSTextFieldClickable(QWidget* parent = nullptr);
    explicit NSTextFieldClickable(const QString& text, QWidget* parent = nullptr);

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_pressed = false;
};
