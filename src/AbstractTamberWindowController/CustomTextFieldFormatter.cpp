#include "CustomTextFieldFormatter.h"

QValidator::State CustomTextFieldFormatter::validate(QString& input, int&) const {
    return input.size() <= m_maxLength ? Acceptable : Invalid;
}
