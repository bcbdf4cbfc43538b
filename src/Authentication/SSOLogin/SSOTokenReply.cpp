#include "SSOTokenReply.h"

#include "Models/TamberDataModel.h"

#include <QJsonDocument>
#include <QJsonObject>

bool SSOTokenReply::store(const QByteArray& body) {
    const QJsonObject reply = QJsonDocument::fromJson(body).object();
    const QVariant token = TamberDataModel::scalarOrAbsent(reply.value("access_token").toVariant());
    if (!TamberDataModel::isPresent(token))
        return false;

    const QJsonObject scope = reply.value("scope").toObject();
    const auto scalar = [](const QJsonValue& value) {
        return TamberDataModel::scalarOrAbsent(value.toVariant());
    };
    TamberDataModel& model = *TamberDataModel::sharedData();
    model.access_token = token;
    model.expires_in = scalar(reply.value("expires_in"));
    model.userId = scalar(scope.value("user"));
    model.enterpriseId = scalar(scope.value("enterprise"));
    model.partitionName = scalar(scope.value("partitionName"));
    model.partitionId = scalar(scope.value("partition").toObject().value("id"));
    return true;
}
