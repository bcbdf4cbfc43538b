#include "CustomTextField.h"

#include "CustomTextFieldFormatter.h"

#include <QStyle>

namespace {

// Border colours: normal bezel, keyboard focus (the product blue), error (red 0.788, 0, 0).
const char* const kStyle = R"(
CustomTextField {
    border: 1px solid #c5cad3;
    border-radius: 5px;
    padding: 5px 8px;
    background: #ffffff;
    color: #1d2330;
    selection-background-color: #0c61fe;
}
CustomTextField:focus { border: 1px solid #0c61fe; }
CustomTextField[tmbError="true"] { border: 1px solid rgb(201, 0, 0); }
CustomTextField[tmbLabel="true"] {
    border: 1px solid transparent;
    background: transparent;
    padding: 5px 0px;
}
)";

} // namespace

CustomTextField::CustomTextField(QWidget* parent)
    : QLineEdit(parent) {
    setStyleSheet(QString::fromLatin1(kStyle));
    setAttribute(Qt::WA_MacShowFocusRect, false);
    connect(this, &QLineEdit::returnPressed, this, &CustomTextField::action);
}

void CustomTextField::setState(bool state) {
    if (state == m_state) {
        update();
        return;
    }
    m_state = state;
    m_errorDrawn = state;
    restyle();
}

void CustomTextField::setMaxLength(qint32 maxLength) {
    CustomTextFieldFormatter* current = formatter();
    if (!current) {
        current = new CustomTextFieldFormatter(this);
        setValidator(current);
    }
    current->setMaxLength(maxLength);
}

CustomTextFieldFormatter* CustomTextField::formatter() const {
    return qobject_cast<CustomTextFieldFormatter*>(const_cast<QValidator*>(validator()));
}

void CustomTextField::setLabelLook(bool label) {
    m_labelLook = label;
    setReadOnly(label);
    setFrame(!label);
    setFocusPolicy(label ? Qt::NoFocus : Qt::StrongFocus);
    if (label) {
        deselect();
    }
    restyle();
}

void CustomTextField::performClick() {
    Q_EMIT action();
}

void CustomTextField::restyle() {
    setProperty("tmbError", m_errorDrawn);
    setProperty("tmbLabel", m_labelLook);
    style()->unpolish(this);
    style()->polish(this);
    update();
}
