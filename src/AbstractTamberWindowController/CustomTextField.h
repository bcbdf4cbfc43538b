#pragma once

#include <QLineEdit>

class CustomTextFieldFormatter;

// A text field with an error state drawn as a red border, a tag telling which message belongs
// to it, and a plain-label look for showing a value that is not to be edited.
class CustomTextField : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(bool state READ state WRITE setState)
    Q_PROPERTY(int tag READ tag WRITE setTag)
public:
    explicit CustomTextField(QWidget* parent = nullptr);

    // True means "in error". A new field starts true with no border drawn yet: only a change of
    // state redraws the border.
    bool state() const { return m_state; }
    void setState(bool state);
    // Whether the red border is drawn right now.
    bool showsErrorBorder() const { return m_errorDrawn; }

    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    // Gives the field a formatter (creating one when it has none) with that maximum length.
    void setMaxLength(qint32 maxLength);
    CustomTextFieldFormatter* formatter() const;

    // Editable look (frame, background, editable, selectable) or plain-label look (none).
    void setLabelLook(bool label);
    bool hasLabelLook() const { return m_labelLook; }

    // Sends the field's action as pressing Return would.
    void performClick();

Q_SIGNALS:
    // The field's action: Return, or performClick().
    void action();

private:
    void restyle();

    bool m_state = true;
    bool m_errorDrawn = false;
    bool m_labelLook = false;
    int m_tag = 0;
};
