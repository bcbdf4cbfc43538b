#include "Logging/Log.h"
#include "Models/MeetingRecord.h"
#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"

#include <QUrl>
#include <cmath>

namespace {

TamberDataModel& record() {
    return *TamberDataModel::sharedData();
}

QString apiHostText() {
    return TamberDataModel::urlText(record().apiHost);
}

QString webDomainText() {
    const QString domain = TamberDataModel::VLRdomain();
    return domain.isNull() ? QStringLiteral("(null)") : domain;
}

QString accessToken() {
    return TamberDataModel::queryValue(record().access_token);
}

QString userSegment() {
    return TamberDataModel::pathSegment(record().userId);
}

QString meetingIdSegment(const QVariantMap& meeting) {
    return TamberDataModel::pathSegment(meeting.value(QStringLiteral("id")));
}

QString followingApiHost(const QString& buildHost) {
    const QString apiHost = TamberDataModel::textOrNull(record().apiHost);
    return apiHost == BundleInfo::defaultApiHost() ? buildHost : apiHost;
}

} // namespace

QString TamberDataModel::urlText(const QVariant& value) {
    const QVariant scalar = scalarOrAbsent(value);
    if (!scalar.isValid())
        return QStringLiteral("(null)");
    if (scalar.typeId() == QMetaType::Double || scalar.typeId() == QMetaType::Float) {
        const double d = scalar.toDouble();
        // JSON numbers arrive as doubles; 1.7e12 must read as the integer the service sent.
        if (std::isfinite(d) && std::trunc(d) == d && std::fabs(d) < 9007199254740992.0)
            return QString::number(qint64(d));
    }
    return scalar.toString();
}

QString TamberDataModel::queryValue(const QVariant& value) {
    if (!scalarOrAbsent(value).isValid())
        return QStringLiteral("(null)");
    return QString::fromLatin1(QUrl::toPercentEncoding(urlText(value)));
}

QString TamberDataModel::pathSegment(const QVariant& value) {
    if (!scalarOrAbsent(value).isValid())
        return QStringLiteral("(null)");
    // "." and ".." would be read as path steps.
    const QString text = urlText(value);
    if (text == QLatin1String(".") || text == QLatin1String(".."))
        return QString(text).replace(QLatin1Char('.'), QLatin1String("%2E"));
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QString TamberDataModel::encodeCancellationMessage(const QString& message) {
    // Unreserved characters and harmless punctuation stay readable; "&", "=", "+" and "#"
    // are encoded, so the message cannot add or change parameters.
    return QString::fromLatin1(QUrl::toPercentEncoding(message, QByteArrayLiteral("!$'()*,:;[]")));
}

QString TamberDataModel::VLRdomain() {
    const QVariant host = scalarOrAbsent(record().apiHost);
    if (!host.isValid())
        return {};
    // Every whole "api" label names the API ("eu.api.example" serves "eu.example"); inside a
    // label it stays ("myapi.example.com"), or the web calls and their token would go to
    // another domain. A port stays with the host; a host of "api" alone is kept.
    const QString text = urlText(host);
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    const QString name = colon < 0 ? text : text.left(colon);
    const QString port = colon < 0 ? QString() : text.mid(colon);
    QStringList labels = name.split(QLatin1Char('.'));
    labels.removeIf([](const QString& label) {
        return label.compare(QLatin1String("api"), Qt::CaseInsensitive) == 0;
    });
    if (labels.isEmpty())
        return text;
    return labels.join(QLatin1Char('.')) + port;
}

QString TamberDataModel::oAuthTokenURL() {
    TamberDataModel& m = record();
    if (!isPresent(m.apiHost))
        m.apiHost = BundleInfo::defaultApiHost();
    return QStringLiteral("https://%1/oauth2/token").arg(apiHostText());
}

QString TamberDataModel::validateOAuthTokenURL() {
    return QStringLiteral("https://%1/oauth2/tokenInfo?access_token=%2")
        .arg(apiHostText(), accessToken());
}

QString TamberDataModel::signOutURL() {
    return QStringLiteral("https://%1/oauth2/token?access_token=%2")
        .arg(apiHostText(), accessToken());
}

QString TamberDataModel::ssoAuthRequest() {
    const QString url =
        QStringLiteral("https://%1/sso/saml2/auth_request?enterprise=%2&mode=token_request"
                       "&access_token=%3")
            .arg(apiHostText(), queryValue(record().enterpriseId),
                 queryValue(record().app_access_token));
    TLOG_DEBUG(QStringLiteral("SSo Auth uRL is %1").arg(url));
    return url;
}

QString TamberDataModel::meetinDescriptionURL() {
    return QStringLiteral("https://%1/v1/user/%2/scheduled_meeting/%3/emails?access_token=%4")
        .arg(apiHostText(), userSegment(), pathSegment(record().personalMeetingId), accessToken());
}

QString TamberDataModel::upcomingMeetingsURL() {
    return QStringLiteral("https://%1/v1/user/%2/scheduled_meeting?access_token=%3")
        .arg(apiHostText(), userSegment(), accessToken());
}

QString TamberDataModel::scheduleMeetingURL() {
    return QStringLiteral(
               "https://%1/ridgeapi/v1/user/%2/scheduled_meeting/?email=true&access_token=%3")
        .arg(webDomainText(), userSegment(), accessToken());
}

QString TamberDataModel::editScheduleMeetingURL(const QVariantMap& meeting) {
    return QStringLiteral(
               "https://%1/ridgeapi/v1/user/%2/scheduled_meeting/%3?email=true&access_token=%4")
        .arg(webDomainText(), userSegment(), meetingIdSegment(meeting), accessToken());
}

QString TamberDataModel::deleteScheduledMeetingURL(const QVariantMap& meeting,
                                                   const QString& cancellationMessage,
                                                   bool nextIfRecurring) {
    const QString message = encodeCancellationMessage(cancellationMessage);
    if (nextIfRecurring &&
        MeetingRecord::isRecurrencePattern(meeting.value(QStringLiteral("recurrencePattern")))) {
        return QStringLiteral("https://%1/ridgeapi/v1/user/%2/scheduled_meeting/%3"
                              "?originalStart=%4&originalEnd=%5&cancellationMessage=%6"
                              "&email=true&access_token=%7")
            .arg(webDomainText(), userSegment(), meetingIdSegment(meeting),
                 queryValue(meeting.value(QStringLiteral("nextStart"))),
                 queryValue(meeting.value(QStringLiteral("nextEnd"))), message, accessToken());
    }
    return QStringLiteral("https://%1/ridgeapi/v1/user/%2/scheduled_meeting/%3"
                          "?cancellationMessage=%4&email=true&access_token=%5")
        .arg(webDomainText(), userSegment(), meetingIdSegment(meeting), message, accessToken());
}

QString TamberDataModel::fetchContactsURL() {
    return QStringLiteral("https://%1/ridgeapi/v1/user/%2/contact?access_token=%3")
        .arg(webDomainText(), userSegment(), accessToken());
}

QString TamberDataModel::signUpURL() {
    return QStringLiteral("https://%1/iframe/signup").arg(webDomainText());
}

QString TamberDataModel::forgotURL() {
    return QStringLiteral("https://%1/forgot_password/").arg(webDomainText());
}

QString TamberDataModel::personalMeetingLocation() {
    const TamberDataModel& m = record();
    const QString suffix = booleanReading(m.addAttendeePasscode)
                               ? QStringLiteral("/") + pathSegment(m.participantPasscode)
                               : QString();
    return QStringLiteral("https://%1/%2%3").arg(webDomainText(), pathSegment(m.numericId), suffix);
}

QString TamberDataModel::instantMeetingURL() {
    const TamberDataModel& m = record();
    return QStringLiteral("https://%1/%2/%3")
        .arg(webDomainText(), pathSegment(m.numericId), pathSegment(m.moderatorPasscode));
}

QString TamberDataModel::securityProfileURL(const QString& accountName) {
    return QStringLiteral("https://%1/ridgeapi/v1/user/security_profile?access_token=%2&user=%3")
        .arg(apiHostText(), queryValue(record().app_access_token), queryValue(accountName));
}

QString TamberDataModel::logUploadHost() {
    return followingApiHost(BundleInfo::logUploadHost());
}

QString TamberDataModel::staticAssetsHost() {
    return followingApiHost(BundleInfo::staticAssetsHost());
}

QString TamberDataModel::logUploadURL(const QString& fileName, quint32 timestamp) {
    const QVariant email = scalarOrAbsent(record().email);
    return QStringLiteral(
               "https://%1/put-handler.php?type=tamber&timestamp=%2&filename=%3&email=%4")
        .arg(logUploadHost())
        .arg(timestamp)
        .arg(queryValue(fileName), email.isValid() ? queryValue(email) : QString());
}

QString TamberDataModel::profilePictureURL() {
    QStringList steps = urlText(record().profilePicture).split(QLatin1Char('/'));
    for (QString& step : steps)
        step = pathSegment(step);
    return QStringLiteral("https://%1/z1/webapp-assets/%2")
        .arg(staticAssetsHost(), steps.join(QLatin1Char('/')));
}

QString TamberDataModel::supportPageURL() {
    return QStringLiteral("https://%1/support/contact").arg(BundleInfo::webHost());
}

QString TamberDataModel::updateFeedURL() {
    QUrl feed(BundleInfo::updateFeed());
    if (feed.isEmpty())
        return {};
    const QString host = followingApiHost(feed.host());
    if (host != feed.host()) {
        const QUrl api(QStringLiteral("https://") + host);
        feed.setHost(api.host());
        feed.setPort(api.port());
    }
    return feed.toString(QUrl::FullyEncoded);
}
