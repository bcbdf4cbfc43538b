#include "NSTextFieldClickable.h"

#include <QKeyEvent>
#include <QMouseEvent>

NSTextFieldClickable::NSTextFieldClickable(QWidget* parent)
    : NSTextFieldClickable({}, parent) {}

NSTextFieldClickable::NSTextFieldClickable(const QString& text, QWidget* parent)
    : QLabel(text, parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setTextInteractionFlags(Qt::NoTextInteraction);
}

void NSTextFieldClickable::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void NSTextFieldClickable::mouseReleaseEvent(QMouseEvent* event) {
    const bool inside = rect().contains(event->position().toPoint());
    const bool click = m_pressed && event->button() == Qt::LeftButton && inside;
    m_pressed = false;
    event->accept();
    if (click && isEnabled()) {
        Q_EMIT clicked();
    }
}

void NSTextFieldClickable::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Q_EMIT clicked();
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}
