#include "SignInCompletion.h"

#include "Models/TamberDataModel.h"

namespace {

// An error description as the middle of a sentence: no final stop, and a capital that only
// starts the sentence is lowered ("The network…" but not "HTTP…").
QString asClause(QString text) {
    text = text.trimmed();
    while (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    if (text.size() > 1 && text.at(0).isUpper() && text.at(1).isLower()) {
        text[0] = text.at(0).toLower();
    }
    return text;
}

} // namespace

QString SignInCompletion::detailsNotLoadedMessage(const std::optional<ServiceError>& error) {
    const QString reason = error && !error->description.trimmed().isEmpty()
                               ? asClause(error->description)
                               : QStringLiteral("the service's reply could not be read");
    return QStringLiteral("Signed in, but your account details could not be loaded: %1. Try again.")
        .arg(reason);
}

void SignInCompletion::forgetUnconfirmedToken() {
    TamberDataModel* model = TamberDataModel::sharedData();
    model->access_token = QVariant();
    model->expires_in = QVariant();
    model->userId = QVariant();
    TamberDataModel::saveDataToBundle();
}
