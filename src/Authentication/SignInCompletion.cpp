#include "SignInCompletion.h"

#include "Models/ErrorText.h"
#include "Models/TamberDataModel.h"

QString SignInCompletion::detailsNotLoadedMessage(const std::optional<ServiceError>& error) {
    const QString reason = error && !error->description.trimmed().isEmpty()
                               ? ErrorText::clause(error->description)
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
