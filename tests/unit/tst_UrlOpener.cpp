#include "Platform/UrlOpener.h"
#include "RecordingUrlOpener.h"
#include "TestEnvironment.h"

class tst_UrlOpener : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void opensWebAndMailAddressesUnchanged() {
        RecordingUrlOpener browser;
        const QList<QUrl> addresses{
            QUrl(QStringLiteral("https://velora.example/j/123456789?pwd=a%26b%3Dc#x")),
            QUrl(QStringLiteral("http://localhost:8443/support")),
            QUrl(QStringLiteral("HTTPS://VELORA.EXAMPLE/")),
            QUrl(QStringLiteral("mailto:support@velora.example?subject=Log%20files&body=a%0Ab")),
        };
        for (const QUrl& url : addresses)
            QVERIFY2(UrlOpener::open(url), qPrintable(url.toString()));
        // Handed over exactly, query and fragment included, in order.
        QCOMPARE(browser.urls(), addresses);
    }

    void refusesEverythingElse() {
        RecordingUrlOpener browser;
        const QStringList refused{
            QStringLiteral("file:///etc/passwd"),
            QStringLiteral("javascript:alert(1)"),
            QStringLiteral("velora://join/123"),
            QStringLiteral("ftp://velora.example/file"),
            QStringLiteral("data:text/html,<script>alert(1)</script>"),
            QStringLiteral("http:///no-host"),
            QStringLiteral("https:"),
            QStringLiteral("mailto:"),
            QStringLiteral("velora.example/j/1"), // no scheme: would be taken as a local path
            QString(),
        };
        for (const QString& text : refused) {
            QVERIFY2(!UrlOpener::isAllowed(QUrl(text)), qPrintable(text));
            QVERIFY2(!UrlOpener::open(QUrl(text)), qPrintable(text));
        }
        QVERIFY(!UrlOpener::open(QUrl::fromLocalFile(QStringLiteral("/bin/sh"))));
        QVERIFY(browser.urls().isEmpty());
    }

    void reportsHandlerFailureAndRestoresBackends() {
        const QUrl url(QStringLiteral("https://velora.example/"));
        RecordingUrlOpener outer;
        {
            RecordingUrlOpener inner;
            inner.setSucceeds(false);
            QVERIFY(!UrlOpener::open(url)); // no browser started: reported, not hidden
            QCOMPARE(inner.urls(), QList<QUrl>{url});
        }
        // The outer recorder is back in place once the inner one is gone.
        QVERIFY(UrlOpener::open(url));
        QCOMPARE(outer.urls(), QList<QUrl>{url});
    }

    void loggedWithoutPasscodeOrQuery_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("logged");
        QTest::newRow("join") << "https://velora.example/7305551001/1357"
                              << "https://velora.example/7305551001/<passcode>";
        QTest::newRow("join, port and slash") << "https://localhost:8443/42/2468/"
                                              << "https://localhost:8443/42/<passcode>";
        QTest::newRow("no passcode") << "https://velora.example/7305551001"
                                     << "https://velora.example/7305551001";
        QTest::newRow("other page") << "https://velora.example/forgot_password/"
                                    << "https://velora.example/forgot_password/";
        QTest::newRow("query and user") << "https://bob:pw@velora.example/j/1?pwd=9#x"
                                        << "https://velora.example/j/1";
    }

    void loggedWithoutPasscodeOrQuery() {
        QFETCH(QString, address);
        QFETCH(QString, logged);
        QCOMPARE(UrlOpener::loggable(QUrl(address)), logged);
    }
};

TAMBER_TEST_MAIN_CORE(tst_UrlOpener)
#include "tst_UrlOpener.moc"
