#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"
#include "TestEnvironment.h"

#include <QObject>
#include <QUrl>
#include <QUrlQuery>

namespace {

TamberDataModel& rec() {
    return *TamberDataModel::sharedData();
}

void signedInRecord(const QString& apiHost = QStringLiteral("api.velora.example")) {
    TamberDataModel& m = rec();
    m.apiHost = apiHost;
    m.userId = QStringLiteral("1001");
    m.access_token = QStringLiteral("usr-tok");
    m.app_access_token = QStringLiteral("app-tok");
    m.enterpriseId = QStringLiteral("acme");
    m.personalMeetingId = QStringLiteral("pm7");
    m.numericId = QStringLiteral("5551234");
    m.moderatorPasscode = QStringLiteral("9876");
    m.participantPasscode = QStringLiteral("1234");
    m.addAttendeePasscode = QVariant();
}

// The decoded value of `key`, and that the query holds exactly `keys` (no smuggled parameters).
QString queryOf(const QString& url, const QString& key, const QStringList& keys) {
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid())
        return QStringLiteral("<invalid url: %1>").arg(parsed.errorString());
    if (parsed.hasFragment())
        return QStringLiteral("<fragment %1>").arg(parsed.fragment());
    const QUrlQuery query(parsed);
    QStringList seen;
    for (const auto& item : query.queryItems(QUrl::FullyDecoded))
        seen << item.first;
    if (seen != keys)
        return QStringLiteral("<keys %1>").arg(seen.join(QLatin1Char(',')));
    return query.queryItemValue(key, QUrl::FullyDecoded);
}

// The path exactly as written (QUrl would decode "%2E" back into a dot step).
QStringList pathOf(const QString& url) {
    const qsizetype start = url.indexOf(QLatin1Char('/'), url.indexOf(QLatin1String("://")) + 3);
    return url.mid(start, url.indexOf(QLatin1Char('?')) - start).split(QLatin1Char('/'));
}

} // namespace

class tst_ServiceUrls : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { signedInRecord(); }
    void templatesWithDefaultHost();
    void webDomainSplit_data();
    void webDomainSplit();
    void emptyAndAbsentHost();
    void absentValuesReadNull();
    void hostileValuesStayInTheirPlace();
    void cancellationMessageEncoding();
    void deleteForms();
    void personalMeetingLocationReadings();
};

void tst_ServiceUrls::templatesWithDefaultHost() {
    using M = TamberDataModel;
    const QVariantMap meeting{{QStringLiteral("id"), QStringLiteral("m42")}};
    QCOMPARE(M::oAuthTokenURL(), QStringLiteral("https://api.velora.example/oauth2/token"));
    QCOMPARE(M::validateOAuthTokenURL(),
             QStringLiteral("https://api.velora.example/oauth2/tokenInfo?access_token=usr-tok"));
    QCOMPARE(M::signOutURL(),
             QStringLiteral("https://api.velora.example/oauth2/token?access_token=usr-tok"));
    QCOMPARE(M::ssoAuthRequest(),
             QStringLiteral("https://api.velora.example/sso/saml2/auth_request?enterprise=acme"
                            "&mode=token_request&access_token=app-tok"));
    QCOMPARE(M::meetinDescriptionURL(),
             QStringLiteral("https://api.velora.example/v1/user/1001/scheduled_meeting/pm7/emails"
                            "?access_token=usr-tok"));
    QCOMPARE(M::upcomingMeetingsURL(),
             QStringLiteral(
                 "https://api.velora.example/v1/user/1001/scheduled_meeting?access_token=usr-tok"));
    QCOMPARE(M::scheduleMeetingURL(),
             QStringLiteral("https://velora.example/ridgeapi/v1/user/1001/scheduled_meeting/"
                            "?email=true&access_token=usr-tok"));
    QCOMPARE(M::editScheduleMeetingURL(meeting),
             QStringLiteral("https://velora.example/ridgeapi/v1/user/1001/scheduled_meeting/m42"
                            "?email=true&access_token=usr-tok"));
    QCOMPARE(M::fetchContactsURL(),
             QStringLiteral(
                 "https://velora.example/ridgeapi/v1/user/1001/contact?access_token=usr-tok"));
    QCOMPARE(M::signUpURL(), QStringLiteral("https://velora.example/iframe/signup"));
    QCOMPARE(M::forgotURL(), QStringLiteral("https://velora.example/forgot_password/"));
    QCOMPARE(M::instantMeetingURL(), QStringLiteral("https://velora.example/5551234/9876"));
    QCOMPARE(M::securityProfileURL(QStringLiteral("ada@example.com")),
             QStringLiteral("https://api.velora.example/ridgeapi/v1/user/security_profile"
                            "?access_token=app-tok&user=ada%40example.com"));
}

void tst_ServiceUrls::webDomainSplit_data() {
    QTest::addColumn<QString>("apiHost");
    QTest::addColumn<QString>("webDomain");
    QTest::newRow("leading api label") << "api.velora.example"
                                       << "velora.example";
    QTest::newRow("api inside a label stays") << "myapi.example.com"
                                              << "myapi.example.com";
    QTest::newRow("every api label") << "api.eu.api.example"
                                     << "eu.example";
    QTest::newRow("api label inside") << "eu.api.velora.example"
                                      << "eu.velora.example";
    QTest::newRow("api label in capitals") << "EU.API.example"
                                           << "EU.example";
    QTest::newRow("label ending in api stays") << "eu.myapi.example"
                                               << "eu.myapi.example";
    QTest::newRow("dashed label stays") << "api-eu.example"
                                        << "api-eu.example";
    QTest::newRow("not a label boundary") << "apix.example"
                                          << "apix.example";
    QTest::newRow("private deployment with port") << "localhost:8443"
                                                  << "localhost:8443";
    QTest::newRow("api label with port") << "api.corp.example:444"
                                         << "corp.example:444";
}

void tst_ServiceUrls::webDomainSplit() {
    QFETCH(QString, apiHost);
    QFETCH(QString, webDomain);
    signedInRecord(apiHost);
    QCOMPARE(TamberDataModel::VLRdomain(), webDomain);
    const QVariantMap meeting{{QStringLiteral("id"), QStringLiteral("m1")}};
    // Pages and scheduling calls go to the web domain ...
    for (const QString& url :
         {TamberDataModel::signUpURL(), TamberDataModel::forgotURL(),
          TamberDataModel::scheduleMeetingURL(), TamberDataModel::editScheduleMeetingURL(meeting),
          TamberDataModel::deleteScheduledMeetingURL(meeting, QString(), false),
          TamberDataModel::fetchContactsURL(), TamberDataModel::personalMeetingLocation(),
          TamberDataModel::instantMeetingURL()})
        QVERIFY2(url.startsWith(QStringLiteral("https://%1/").arg(webDomain)), qPrintable(url));
    // ... tokens, user records and descriptions to the full API host.
    for (const QString& url :
         {TamberDataModel::oAuthTokenURL(), TamberDataModel::validateOAuthTokenURL(),
          TamberDataModel::signOutURL(), TamberDataModel::ssoAuthRequest(),
          TamberDataModel::meetinDescriptionURL(), TamberDataModel::upcomingMeetingsURL(),
          TamberDataModel::securityProfileURL(QStringLiteral("x"))})
        QVERIFY2(url.startsWith(QStringLiteral("https://%1/").arg(apiHost)), qPrintable(url));
}

void tst_ServiceUrls::emptyAndAbsentHost() {
    rec().apiHost = QString();
    // Only the token address restores the default; called first, validation has no host.
    QCOMPARE(TamberDataModel::validateOAuthTokenURL(),
             QStringLiteral("https:///oauth2/tokenInfo?access_token=usr-tok"));
    QCOMPARE(TamberDataModel::VLRdomain(), QString(""));
    QCOMPARE(TamberDataModel::oAuthTokenURL(),
             QStringLiteral("https://%1/oauth2/token").arg(BundleInfo::defaultApiHost()));
    QCOMPARE(rec().apiHost.toString(), BundleInfo::defaultApiHost());
    QVERIFY(TamberDataModel::validateOAuthTokenURL().startsWith(
        QStringLiteral("https://%1/").arg(BundleInfo::defaultApiHost())));

    rec().apiHost = QVariant();
    QVERIFY(TamberDataModel::VLRdomain().isNull());
    QCOMPARE(TamberDataModel::signUpURL(), QStringLiteral("https://(null)/iframe/signup"));
    QCOMPARE(TamberDataModel::upcomingMeetingsURL(),
             QStringLiteral("https://(null)/v1/user/1001/scheduled_meeting?access_token=usr-tok"));
    TamberDataModel::oAuthTokenURL();
    QCOMPARE(rec().apiHost.toString(), BundleInfo::defaultApiHost());
    // A JSON null or a list that slipped into the host counts as absent.
    rec().apiHost = QVariant(QVariantList{QStringLiteral("a")});
    QCOMPARE(TamberDataModel::signUpURL(), QStringLiteral("https://(null)/iframe/signup"));
}

void tst_ServiceUrls::absentValuesReadNull() {
    rec().userId = QVariant();
    rec().access_token = QVariant();
    rec().enterpriseId = QVariant();
    rec().app_access_token = QVariant::fromValue(nullptr);
    QCOMPARE(
        TamberDataModel::upcomingMeetingsURL(),
        QStringLiteral(
            "https://api.velora.example/v1/user/(null)/scheduled_meeting?access_token=(null)"));
    QCOMPARE(TamberDataModel::ssoAuthRequest(),
             QStringLiteral("https://api.velora.example/sso/saml2/auth_request?enterprise=(null)"
                            "&mode=token_request&access_token=(null)"));
    QCOMPARE(TamberDataModel::editScheduleMeetingURL({}),
             QStringLiteral("https://velora.example/ridgeapi/v1/user/(null)/scheduled_meeting/"
                            "(null)?email=true&access_token=(null)"));
    // Whole numbers from JSON (doubles) are written as the integers the service sent.
    rec().userId = 1001.0;
    rec().numericId = 5551234;
    rec().moderatorPasscode = QVariant();
    QCOMPARE(
        TamberDataModel::fetchContactsURL(),
        QStringLiteral("https://velora.example/ridgeapi/v1/user/1001/contact?access_token=(null)"));
    QCOMPARE(TamberDataModel::instantMeetingURL(),
             QStringLiteral("https://velora.example/5551234/(null)"));
}

void tst_ServiceUrls::hostileValuesStayInTheirPlace() {
    const QString account = QStringLiteral("eve+1@x.com&user=admin#frag %25 ü");
    QCOMPARE(queryOf(TamberDataModel::securityProfileURL(account), QStringLiteral("user"),
                     {QStringLiteral("access_token"), QStringLiteral("user")}),
             account);

    rec().enterpriseId = QStringLiteral("acme&mode=password&x=");
    rec().app_access_token = QStringLiteral("a+b/c=");
    const QString sso = TamberDataModel::ssoAuthRequest();
    const QStringList ssoKeys{QStringLiteral("enterprise"), QStringLiteral("mode"),
                              QStringLiteral("access_token")};
    QCOMPARE(queryOf(sso, QStringLiteral("enterprise"), ssoKeys), rec().enterpriseId.toString());
    QCOMPARE(queryOf(sso, QStringLiteral("mode"), ssoKeys), QStringLiteral("token_request"));
    QCOMPARE(queryOf(sso, QStringLiteral("access_token"), ssoKeys), QStringLiteral("a+b/c="));

    // Record values in the path stay one segment each: no path steps, no query, no fragment.
    rec().userId = QStringLiteral("1/../../admin?x=1#y");
    const QVariantMap meeting{{QStringLiteral("id"), QStringLiteral("..")}};
    const QString edit = TamberDataModel::editScheduleMeetingURL(meeting);
    QCOMPARE(pathOf(edit),
             (QStringList{QString(), QStringLiteral("ridgeapi"), QStringLiteral("v1"),
                          QStringLiteral("user"), QStringLiteral("1%2F..%2F..%2Fadmin%3Fx%3D1%23y"),
                          QStringLiteral("scheduled_meeting"), QStringLiteral("%2E%2E")}));
    QCOMPARE(queryOf(edit, QStringLiteral("email"),
                     {QStringLiteral("email"), QStringLiteral("access_token")}),
             QStringLiteral("true"));
    rec().numericId = QStringLiteral("555?x#");
    rec().addAttendeePasscode = true;
    rec().participantPasscode = QStringLiteral("a/b");
    QCOMPARE(TamberDataModel::personalMeetingLocation(),
             QStringLiteral("https://velora.example/555%3Fx%23/a%2Fb"));
}

void tst_ServiceUrls::cancellationMessageEncoding() {
    QCOMPARE(TamberDataModel::encodeCancellationMessage(QStringLiteral("Sorry, can't make it!")),
             QStringLiteral("Sorry%2C%20can't%20make%20it!").replace(QStringLiteral("%2C"), ","));
    QCOMPARE(TamberDataModel::encodeCancellationMessage(QStringLiteral("ünï €")),
             QStringLiteral("%C3%BCn%C3%AF%20%E2%82%AC"));
    // Mend: "&", "=", "+" and "#" are encoded, so the message cannot add parameters.
    QCOMPARE(TamberDataModel::encodeCancellationMessage(QStringLiteral("a&b=c+d#e%f")),
             QStringLiteral("a%26b%3Dc%2Bd%23e%25f"));
    const QString hostile = QStringLiteral("bye&email=false&access_token=stolen#x + ok");
    const QString url = TamberDataModel::deleteScheduledMeetingURL(
        {{QStringLiteral("id"), QStringLiteral("m9")}}, hostile, false);
    const QStringList keys{QStringLiteral("cancellationMessage"), QStringLiteral("email"),
                           QStringLiteral("access_token")};
    QCOMPARE(queryOf(url, QStringLiteral("cancellationMessage"), keys), hostile);
    QCOMPARE(queryOf(url, QStringLiteral("email"), keys), QStringLiteral("true"));
    QCOMPARE(queryOf(url, QStringLiteral("access_token"), keys), QStringLiteral("usr-tok"));
}

void tst_ServiceUrls::deleteForms() {
    const QVariantMap recurring{
        {QStringLiteral("id"), 77.0},
        {QStringLiteral("recurrencePattern"),
         QVariantMap{{QStringLiteral("recurrenceType"), QStringLiteral("WEEKLY")}}},
        {QStringLiteral("nextStart"), 1700000000000.0},
        {QStringLiteral("nextEnd"), qint64(1700003600000)}};
    QCOMPARE(TamberDataModel::deleteScheduledMeetingURL(recurring, QStringLiteral("x y"), true),
             QStringLiteral("https://velora.example/ridgeapi/v1/user/1001/scheduled_meeting/77"
                            "?originalStart=1700000000000&originalEnd=1700003600000"
                            "&cancellationMessage=x%20y&email=true&access_token=usr-tok"));
    const QString series =
        QStringLiteral("https://velora.example/ridgeapi/v1/user/1001/scheduled_meeting/77"
                       "?cancellationMessage=x%20y&email=true&access_token=usr-tok");
    QCOMPARE(TamberDataModel::deleteScheduledMeetingURL(recurring, QStringLiteral("x y"), false),
             series);
    QVariantMap single = recurring;
    single.remove(QStringLiteral("recurrencePattern"));
    QCOMPARE(TamberDataModel::deleteScheduledMeetingURL(single, QStringLiteral("x y"), true),
             series);
    // A one-off meeting whose record carries a "NONE" pattern names no occurrence either.
    single.insert(QStringLiteral("recurrencePattern"),
                  QVariantMap{{QStringLiteral("recurrenceType"), QStringLiteral("NONE")}});
    QCOMPARE(TamberDataModel::deleteScheduledMeetingURL(single, QStringLiteral("x y"), true),
             series);
    // A recurring meeting without its next occurrence still names the fields.
    QVariantMap noNext = recurring;
    noNext.remove(QStringLiteral("nextStart"));
    QVERIFY(TamberDataModel::deleteScheduledMeetingURL(noNext, QString(), true)
                .contains(QStringLiteral("?originalStart=(null)&originalEnd=1700003600000")));
}

void tst_ServiceUrls::personalMeetingLocationReadings() {
    const QString bare = QStringLiteral("https://velora.example/5551234");
    const QString withCode = bare + QStringLiteral("/1234");
    const QList<QPair<QVariant, QString>> cases{{QStringLiteral("1"), withCode},
                                                {true, withCode},
                                                {1, withCode},
                                                {QStringLiteral("yes"), withCode},
                                                {QStringLiteral(" +01"), withCode},
                                                {QStringLiteral("0"), bare},
                                                {0, bare},
                                                {false, bare},
                                                {QStringLiteral("no"), bare},
                                                {QVariant(), bare},
                                                {QStringLiteral(""), bare}};
    for (const auto& [reading, expected] : cases) {
        rec().addAttendeePasscode = reading;
        QVERIFY2(TamberDataModel::personalMeetingLocation() == expected,
                 qPrintable(reading.toString()));
    }
}

TAMBER_TEST_MAIN_CORE(tst_ServiceUrls)
#include "tst_ServiceUrls.moc"
