#pragma once

#include <QValidator>
#include <limits>

// Accepts an edit only while the text is at most maxLength characters long; the text itself
// passes unchanged.
class CustomTextFieldFormatter : public QValidator {
    Q_OBJECT
public:
    using QValidator::QValidator;

    qint32 maxLength() const { return m_maxLength; }
    void setMaxLength(qint32 maxLength) { m_maxLength = maxLength; }

    State validate(QString& input, int& pos) const override;

private:
    qint32 m_maxLength = std::numeric_limits<qint32>::max();
};
