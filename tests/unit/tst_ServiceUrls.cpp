#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"
#include "TestEnvironment.h"

#include <QObject>
#include <QUrl>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

TamberDataModel& rec() {
    return *TamberDataModel::sharedData();
}

void signedInRecord(const QString& apiHost = u"api.velora.example"_s) {
    TamberDataModel& m = rec();
    m.apiHost = apiHost;
    m.userId = u"1001"_s;
    m.access_token = u"usr-tok"_s;
    m.app_access_token = u"app-tok"_s;
    m.enterpriseId = u"acme"_s;
    m.personalMeetingId = u"pm7"_s;
    m.numericId = u"5551234"_s;
    m.moderatorPasscode = u"9876"_s;
    m.participantPasscode = u"1234"_s;
    m.addAttendeePasscode = QVariant();
}

// The decoded value of `key`, and that the query holds exactly `keys` (no smuggled parameters).
QString queryOf(const QString& url, const QString& key, const QStringList& keys) {
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid())
        return u"<invalid url: %1>"_s.arg(parsed.errorString());
    if (parsed.hasFragment())
        return u"<fragment %1>"_s.arg(parsed.fragment());
    const QUrlQuery query(parsed);
    QStringList seen;
    for (const auto& item : query.queryItems(QUrl::FullyDecoded))
        seen << item.first;
    if (seen != keys)
        return u"<keys %1>"_s.arg(seen.join(QLatin1Char(',')));
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
    void templatesWithDefaultHost() {
        using M = TamberDataModel;
        const QVariantMap meeting{{u"id"_s, u"m42"_s}};
        QCOMPARE(M::oAuthTokenURL(), u"https://api.velora.example/oauth2/token"_s);
        QCOMPARE(M::validateOAuthTokenURL(),
                 u"https://api.velora.example/oauth2/tokenInfo?access_token=usr-tok"_s);
        QCOMPARE(M::signOutURL(),
                 u"https://api.velora.example/oauth2/token?access_token=usr-tok"_s);
        QCOMPARE(M::ssoAuthRequest(),
                 u"https://api.velora.example/sso/saml2/auth_request?enterprise=acme"
                 "&mode=token_request&access_token=app-tok"_s);
        QCOMPARE(M::meetinDescriptionURL(),
                 u"https://api.velora.example/v1/user/1001/scheduled_meeting/pm7/emails"
                 "?access_token=usr-tok"_s);
        QCOMPARE(
            M::upcomingMeetingsURL(),
            u"https://api.velora.example/v1/user/1001/scheduled_meeting?access_token=usr-tok"_s);
        QCOMPARE(M::scheduleMeetingURL(),
                 u"https://velora.example/ridgeapi/v1/user/1001/scheduled_meeting/"
                 "?email=true&access_token=usr-tok"_s);
        QCOMPARE(M::editScheduleMeetingURL(meeting),
                 u"https://velora.example/ridgeapi/v1/user/1001/scheduled_meeting/m42"
                 "?email=true&access_token=usr-tok"_s);
        QCOMPARE(M::fetchContactsURL(),
                 u"https://velora.example/ridgeapi/v1/user/1001/contact?access_token=usr-tok"_s);
        QCOMPARE(M::signUpURL(), u"https://velora.example/iframe/signup"_s);
        QCOMPARE(M::forgotURL(), u"https://velora.example/forgot_password/"_s);
        QCOMPARE(M::instantMeetingURL(), u"https://velora.example/5551234/9876"_s);
        QCOMPARE(M::securityProfileURL(u"ada@example.com"_s),
                 u"https://api.velora.example/ridgeapi/v1/user/security_profile"
                 "?access_token=app-tok&user=ada%40example.com"_s);
    }

    void webDomainSplit_data() {
        QTest::addColumn<QString>("apiHost");
        QTest::addColumn<QString>("webDomain");
        const auto row = [](const char* name, const char* apiHost, const char* webDomain) {
            QTest::newRow(name) << QString::fromLatin1(apiHost) << QString::fromLatin1(webDomain);
        };
        row("leading api label", "api.velora.example", "velora.example");
        row("api inside a label stays", "myapi.example.com", "myapi.example.com");
        row("every api label", "api.eu.api.example", "eu.example");
        row("api label inside", "eu.api.velora.example", "eu.velora.example");
        row("api label in capitals", "EU.API.example", "EU.example");
        row("label ending in api stays", "eu.myapi.example", "eu.myapi.example");
        row("dashed label stays", "api-eu.example", "api-eu.example");
        row("not a label boundary", "apix.example", "apix.example");
        row("private deployment with port", "localhost:8443", "localhost:8443");
        row("api label with port", "api.corp.example:444", "corp.example:444");
    }

    void webDomainSplit() {
        QFETCH(QString, apiHost);
        QFETCH(QString, webDomain);
        signedInRecord(apiHost);
        QCOMPARE(TamberDataModel::VLRdomain(), webDomain);
        const QVariantMap meeting{{u"id"_s, u"m1"_s}};
        // Pages and scheduling calls go to the web domain ...
        for (const QString& url :
             {TamberDataModel::signUpURL(), TamberDataModel::forgotURL(),
              TamberDataModel::scheduleMeetingURL(),
              TamberDataModel::editScheduleMeetingURL(meeting),
              TamberDataModel::deleteScheduledMeetingURL(meeting, QString(), false),
              TamberDataModel::fetchContactsURL(), TamberDataModel::personalMeetingLocation(),
              TamberDataModel::instantMeetingURL()})
            QVERIFY2(url.startsWith(u"https://%1/"_s.arg(webDomain)), qPrintable(url));
        // ... tokens, user records and descriptions to the full API host.
        for (const QString& url :
             {TamberDataModel::oAuthTokenURL(), TamberDataModel::validateOAuthTokenURL(),
              TamberDataModel::signOutURL(), TamberDataModel::ssoAuthRequest(),
              TamberDataModel::meetinDescriptionURL(), TamberDataModel::upcomingMeetingsURL(),
              TamberDataModel::securityProfileURL(u"x"_s)})
            QVERIFY2(url.startsWith(u"https://%1/"_s.arg(apiHost)), qPrintable(url));
    }

    void emptyAndAbsentHost() {
        rec().apiHost = QString();
        // Only the token address restores the default; called first, validation has no host.
        QCOMPARE(TamberDataModel::validateOAuthTokenURL(),
                 u"https:///oauth2/tokenInfo?access_token=usr-tok"_s);
        QCOMPARE(TamberDataModel::VLRdomain(), QString(""));
        QCOMPARE(TamberDataModel::oAuthTokenURL(),
                 u"https://%1/oauth2/token"_s.arg(BundleInfo::defaultApiHost()));
        QCOMPARE(rec().apiHost.toString(), BundleInfo::defaultApiHost());
        QVERIFY(TamberDataModel::validateOAuthTokenURL().startsWith(
            u"https://%1/"_s.arg(BundleInfo::defaultApiHost())));

        rec().apiHost = QVariant();
        QVERIFY(TamberDataModel::VLRdomain().isNull());
        QCOMPARE(TamberDataModel::signUpURL(), u"https://(null)/iframe/signup"_s);
        QCOMPARE(TamberDataModel::upcomingMeetingsURL(),
                 u"https://(null)/v1/user/1001/scheduled_meeting?access_token=usr-tok"_s);
        TamberDataModel::oAuthTokenURL();
        QCOMPARE(rec().apiHost.toString(), BundleInfo::defaultApiHost());
        // A JSON null or a list that slipped into the host counts as absent.
        rec().apiHost = QVariant(QVariantList{u"a"_s});
        QCOMPARE(TamberDataModel::signUpURL(), u"https://(null)/iframe/signup"_s);
    }

    void absentValuesReadNull() {
        rec().userId = QVariant();
        rec().access_token = QVariant();
        rec().enterpriseId = QVariant();
        rec().app_access_token = QVariant::fromValue(nullptr);
        QCOMPARE(
            TamberDataModel::upcomingMeetingsURL(),
            u"https://api.velora.example/v1/user/(null)/scheduled_meeting?access_token=(null)"_s);
        QCOMPARE(TamberDataModel::ssoAuthRequest(),
                 u"https://api.velora.example/sso/saml2/auth_request?enterprise=(null)"
                 "&mode=token_request&access_token=(null)"_s);
        QCOMPARE(TamberDataModel::editScheduleMeetingURL({}),
                 u"https://velora.example/ridgeapi/v1/user/(null)/scheduled_meeting/"
                 "(null)?email=true&access_token=(null)"_s);
        // Whole numbers from JSON (doubles) are written as the integers the service sent.
        rec().userId = 1001.0;
        rec().numericId = 5551234;
        rec().moderatorPasscode = QVariant();
        QCOMPARE(TamberDataModel::fetchContactsURL(),
                 u"https://velora.example/ridgeapi/v1/user/1001/contact?access_token=(null)"_s);
        QCOMPARE(TamberDataModel::instantMeetingURL(), u"https://velora.example/5551234/(null)"_s);
    }

    void hostileValuesStayInTheirPlace() {
        const QString account = u"eve+1@x.com&user=admin#frag %25 ü"_s;
        QCOMPARE(queryOf(TamberDataModel::securityProfileURL(account), u"user"_s,
                         {u"access_token"_s, u"user"_s}),
                 account);

        rec().enterpriseId = u"acme&mode=password&x="_s;
        rec().app_access_token = u"a+b/c="_s;
        const QString sso = TamberDataModel::ssoAuthRequest();
        const QStringList ssoKeys{u"enterprise"_s, u"mode"_s, u"access_token"_s};
        QCOMPARE(queryOf(sso, u"enterprise"_s, ssoKeys), rec().enterpriseId.toString());
        QCOMPARE(queryOf(sso, u"mode"_s, ssoKeys), u"token_request"_s);
        QCOMPARE(queryOf(sso, u"access_token"_s, ssoKeys), u"a+b/c="_s);

        // Record values in the path stay one segment each: no path steps, no query, no fragment.
        rec().userId = u"1/../../admin?x=1#y"_s;
        const QVariantMap meeting{{u"id"_s, u".."_s}};
        const QString edit = TamberDataModel::editScheduleMeetingURL(meeting);
        QCOMPARE(pathOf(edit), (QStringList{QString(), u"ridgeapi"_s, u"v1"_s, u"user"_s,
                                            u"1%2F..%2F..%2Fadmin%3Fx%3D1%23y"_s,
                                            u"scheduled_meeting"_s, u"%2E%2E"_s}));
        QCOMPARE(queryOf(edit, u"email"_s, {u"email"_s, u"access_token"_s}), u"true"_s);
        rec().numericId = u"555?x#"_s;
        rec().addAttendeePasscode = true;
        rec().participantPasscode = u"a/b"_s;
        QCOMPARE(TamberDataModel::personalMeetingLocation(),
                 u"https://velora.example/555%3Fx%23/a%2Fb"_s);
    }

    void cancellationMessageEncoding() {
        QCOMPARE(TamberDataModel::encodeCancellationMessage(u"Sorry, can't make it!"_s),
                 u"Sorry%2C%20can't%20make%20it!"_s.replace(u"%2C"_s, ","));
        QCOMPARE(TamberDataModel::encodeCancellationMessage(u"ünï €"_s),
                 u"%C3%BCn%C3%AF%20%E2%82%AC"_s);
        // Mend: "&", "=", "+" and "#" are encoded, so the message cannot add parameters.
        QCOMPARE(TamberDataModel::encodeCancellationMessage(u"a&b=c+d#e%f"_s),
                 u"a%26b%3Dc%2Bd%23e%25f"_s);
        const QString hostile = u"bye&email=false&access_token=stolen#x + ok"_s;
        const QString url =
            TamberDataModel::deleteScheduledMeetingURL({{u"id"_s, u"m9"_s}}, hostile, false);
        const QStringList keys{u"cancellationMessage"_s, u"email"_s, u"access_token"_s};
        QCOMPARE(queryOf(url, u"cancellationMessage"_s, keys), hostile);
        QCOMPARE(queryOf(url, u"email"_s, keys), u"true"_s);
        QCOMPARE(queryOf(url, u"access_token"_s, keys), u"usr-tok"_s);
    }

    void deleteForms() {
        const QVariantMap recurring{
            {u"id"_s, 77.0},
            {u"recurrencePattern"_s, QVariantMap{{u"recurrenceType"_s, u"WEEKLY"_s}}},
            {u"nextStart"_s, 1700000000000.0},
            {u"nextEnd"_s, qint64(1700003600000)}};
        QCOMPARE(TamberDataModel::deleteScheduledMeetingURL(recurring, u"x y"_s, true),
                 u"https://velora.example/ridgeapi/v1/user/1001/scheduled_meeting/77"
                 "?originalStart=1700000000000&originalEnd=1700003600000"
                 "&cancellationMessage=x%20y&email=true&access_token=usr-tok"_s);
        const QString series = u"https://velora.example/ridgeapi/v1/user/1001/scheduled_meeting/77"
                               "?cancellationMessage=x%20y&email=true&access_token=usr-tok"_s;
        QCOMPARE(TamberDataModel::deleteScheduledMeetingURL(recurring, u"x y"_s, false), series);
        QVariantMap single = recurring;
        single.remove(u"recurrencePattern"_s);
        QCOMPARE(TamberDataModel::deleteScheduledMeetingURL(single, u"x y"_s, true), series);
        // A one-off meeting whose record carries a "NONE" pattern names no occurrence either.
        single.insert(u"recurrencePattern"_s, QVariantMap{{u"recurrenceType"_s, u"NONE"_s}});
        QCOMPARE(TamberDataModel::deleteScheduledMeetingURL(single, u"x y"_s, true), series);
        // A recurring meeting without its next occurrence still names the fields.
        QVariantMap noNext = recurring;
        noNext.remove(u"nextStart"_s);
        QVERIFY(TamberDataModel::deleteScheduledMeetingURL(noNext, QString(), true)
                    .contains(u"?originalStart=(null)&originalEnd=1700003600000"_s));
    }

    void personalMeetingLocationReadings() {
        const QString bare = u"https://velora.example/5551234"_s;
        const QString withCode = bare + u"/1234"_s;
        const QList<QPair<QVariant, QString>> cases{
            {u"1"_s, withCode},    {true, withCode},   {1, withCode}, {u"yes"_s, withCode},
            {u" +01"_s, withCode}, {u"0"_s, bare},     {0, bare},     {false, bare},
            {u"no"_s, bare},       {QVariant(), bare}, {u""_s, bare}};
        for (const auto& [reading, expected] : cases) {
            rec().addAttendeePasscode = reading;
            QVERIFY2(TamberDataModel::personalMeetingLocation() == expected,
                     qPrintable(reading.toString()));
        }
    }
};

TAMBER_TEST_MAIN_CORE(tst_ServiceUrls)
#include "tst_ServiceUrls.moc"
