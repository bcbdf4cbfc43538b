#include "Logging/LogRedactor.h"
#include "TestEnvironment.h"

#include <QObject>

class tst_LogRedactor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void queryValues();
    void jsonValues();
    void leavesOtherTextAlone();
    void noSecretSurvivesAnySpelling();
};

void tst_LogRedactor::queryValues() {
    const QList<QPair<QString, QString>> cases = {
        {"GET https://api.x/v1/user/7?access_token=abc.DEF-123&user=bob",
         "GET https://api.x/v1/user/7?access_token=<redacted>&user=bob"},
        {"url https://h/p?a=1&access_token=tok", "url https://h/p?a=1&access_token=<redacted>"},
        {"access_token=tok next", "access_token=<redacted> next"},
        {"\"https://h/p?access_token=tok\"", "\"https://h/p?access_token=<redacted>\""},
        {"stats ?access_token=app1&sid=9 and ?app_access_token=app2",
         "stats ?access_token=<redacted>&sid=9 and ?app_access_token=<redacted>"},
        {"refresh_token=r1&grant_type=refresh_token",
         "refresh_token=<redacted>&grant_type=refresh_token"},
        {"ACCESS_TOKEN=Up", "ACCESS_TOKEN=<redacted>"},
        {"empty access_token=&x=1", "empty access_token=<redacted>&x=1"},
        {"grant_type=password&username=bob&password=hunter2&client_secret=s3",
         "grant_type=password&username=bob&password=<redacted>&client_secret=<redacted>"},
        {"join ?meeting=7305551001&passcode=1357&x=1",
         "join ?meeting=7305551001&passcode=<redacted>&x=1"},
        {"Meeting ID: 730 555 1001\nPasscode: 1357\nJoin by phone",
         "Meeting ID: 730 555 1001\nPasscode=<redacted>\nJoin by phone"},
    };
    for (const auto& [in, out] : cases)
        QCOMPARE(LogRedactor::redact(in), out);
}

void tst_LogRedactor::jsonValues() {
    const QList<QPair<QString, QString>> cases = {
        {R"({"access_token":"abc","expires_in":3600})",
         R"({access_token=<redacted>,"expires_in":3600})"},
        {R"({"access_token" : "abc", "x": 1})", R"({access_token=<redacted>, "x": 1})"},
        {"{\n    \"access_token\": \"abc\",\n    \"token_type\": \"bearer\"\n}",
         "{\n    access_token=<redacted>,\n    \"token_type\": \"bearer\"\n}"},
        {R"({"app_access_token":"a","refresh_token":"r"})",
         R"({app_access_token=<redacted>,refresh_token=<redacted>})"},
        {R"(reply {\"access_token\":\"abc\",\"n\":1})",
         R"(reply {access_token=<redacted>,\"n\":1})"},
        {R"({"access_token":"a\"b","n":1})", R"({access_token=<redacted>,"n":1})"},
        {R"({"access_token":null,"n":1})", R"({access_token=<redacted>"n":1})"},
        {R"({'password': 'pw'})", R"({password=<redacted>})"},
        {R"({"meetingId":"730","attendeePasscode":"1357"})",
         R"({"meetingId":"730",attendeePasscode=<redacted>})"},
        {R"({"moderatorPasscode":2468,"n":1})", R"({moderatorPasscode=<redacted>"n":1})"},
        {R"(cut {"access_token":"abc)", R"(cut {access_token=<redacted>)"},
    };
    for (const auto& [in, out] : cases)
        QCOMPARE(LogRedactor::redact(in), out);
}

void tst_LogRedactor::leavesOtherTextAlone() {
    const QStringList untouched = {
        "Error while clearing access_token",
        "PASSWORD_CONFIG_SUCCESSFUL",
        "Error while storing password Error: locked",
        "grant_type=password&username=bob",
        "access_tokens=5 expires_in=3600",
        "Error. No Access Token.",
        "https://api.x/v1/user/7?user=bob&mode=token_request",
        "",
    };
    for (const QString& text : untouched)
        QCOMPARE(LogRedactor::redact(text), text);
}

void tst_LogRedactor::noSecretSurvivesAnySpelling() {
    const QString secret = QStringLiteral("S3cr3t.Val-ue_~+/=");
    const QStringList keys = {"access_token", "app_access_token", "refresh_token", "password",
                              "Access_Token"};
    const QStringList keyQuotes = {"", "\"", "'", "\\\""};
    const QStringList separators = {"=", ":", " : ", " =", ":\n  "};
    const QStringList valueQuotes = {"", "\"", "'", "\\\""};
    const QStringList tails = {"", "&next=1", " trailing", ",\"n\":1}", "\n"};
    int checked = 0;
    for (const QString& key : keys)
        for (const QString& kq : keyQuotes)
            for (const QString& sep : separators)
                for (const QString& vq : valueQuotes)
                    for (const QString& tail : tails) {
                        const QString text = "pre " + kq + key + kq + sep + vq + secret + vq + tail;
                        const QString out = LogRedactor::redact(text);
                        QVERIFY2(!out.contains(secret), qPrintable(text + " -> " + out));
                        QVERIFY2(out.contains(key + "=<redacted>"), qPrintable(out));
                        ++checked;
                    }
    QCOMPARE(checked, 5 * 4 * 5 * 4 * 5);
}

TAMBER_TEST_MAIN_CORE(tst_LogRedactor)
#include "tst_LogRedactor.moc"
