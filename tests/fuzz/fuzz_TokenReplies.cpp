// libFuzzer target: the grant, token-information and security-profile readers take any byte
// sequence without crashing and never hand a null, list or map to a record field; the address
// encoders turn any text into one query value or one path segment that decodes back to it.
#include "Models/TamberDataModel.h"
#include "Models/TokenReplyParser.h"

#include <QByteArray>
#include <QString>
#include <cstdlib>

namespace {

void requireScalar(const QVariant& value) {
    if (value.isValid() && !TamberDataModel::scalarOrAbsent(value).isValid())
        std::abort();
}

void require(bool condition) {
    if (!condition)
        std::abort();
}

void checkEncoded(const QString& encoded, const QString& text, const char* forbidden) {
    for (const char* c = forbidden; *c; ++c)
        require(!encoded.contains(QLatin1Char(*c)));
    require(QByteArray::fromPercentEncoding(encoded.toLatin1()) == text.toUtf8());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto client = TokenReplyParser::parseClientGrant(body);
    requireScalar(client.accessToken);
    requireScalar(client.expiresIn);
    const auto grant = TokenReplyParser::parsePasswordGrant(body);
    for (const QVariant* v : {&grant.accessToken, &grant.expiresIn, &grant.partitionId,
                              &grant.partitionName, &grant.userId})
        requireScalar(*v);
    if (const auto profile = TokenReplyParser::parseSecurityProfile(body)) {
        requireScalar(profile->authenticationType);
        requireScalar(profile->idpURL);
        requireScalar(profile->enterpriseId);
        require(profile->hasEnterpriseId == profile->enterpriseId.isValid());
    }
    (void)TokenReplyParser::tokenInfoHasUser(body);
    // Only a 401 or a readable document can condemn a token; a 5xx never does.
    require(TokenReplyParser::judgeTokenInfo(401, body) == TokenReplyParser::TokenVerdict::Invalid);
    require(TokenReplyParser::judgeTokenInfo(503, body) == TokenReplyParser::TokenVerdict::Unknown);
    (void)TokenReplyParser::judgeTokenInfo(200, body);
    require(!TokenReplyParser::isGrantRefused(503, body));

    const QString text = QString::fromUtf8(body);
    checkEncoded(TamberDataModel::queryValue(text), text, "&=+#? /");
    checkEncoded(TamberDataModel::encodeCancellationMessage(text), text, "&=+#? /\"");
    const QString segment = TamberDataModel::pathSegment(text);
    require(segment != QLatin1String(".") && segment != QLatin1String(".."));
    if (text != QLatin1String(".") && text != QLatin1String(".."))
        checkEncoded(segment, text, "/?# ");
    return 0;
}
