#include "ErrorText.h"

QString ErrorText::clause(const QString& description) {
    QString text = description.trimmed();
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (text.size() > 1 && text.at(0).isUpper() && text.at(1).isLower())
        text[0] = text.at(0).toLower();
    return text;
}
