// Calendar feeds read from the simulator over TLS: what the list gets from them, the cheap
// re-read of an unchanged feed, the kept copy after a restart and while offline, the feeds that
// are refused with a message.
#include "Calendars/CalendarFeeds.h"
#include "Models/TamberDataModel.h"
#include "SignedInSimulator.h"
#include "TestEnvironment.h"

#include <QTemporaryDir>
#include <ctime>

namespace {

const bool kZoneSet = (qputenv("TZ", "America/New_York"), tzset(), true);

QStringList titles(const QVariantList& records) {
    QStringList list;
    for (const QVariant& r : records)
        list << r.toMap().value("title").toString();
    return list;
}

// Mondays and Thursdays among the window's days.
int seriesDaysInWindow() {
    int n = 0;
    for (int i = 0; i < CalendarFeeds::kWindowDays; ++i) {
        const int weekday = QDate::currentDate().addDays(i).dayOfWeek();
        n += weekday == 1 || weekday == 4;
    }
    return n;
}

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestCalendarFeeds : public QObject {
    Q_OBJECT
    SignedInSimulator m_session;

    QString feed(const QString& name) const {
        return m_session.sim().baseUrl() + "/calendars/" + name;
    }

    static bool settled(CalendarFeeds& feeds) {
        if (feeds.isBusy())
            return false;
        for (const CalendarFeeds::Status& s : feeds.statuses()) {
            if (!s.lastRead.isValid() && s.error.isEmpty())
                return false;
        }
        return true;
    }

private slots:
    void initTestCase() { QVERIFY(kZoneSet && m_session.start()); }

    void init() {
        m_session.signIn();
        TamberDataModel::sharedData()->email = QStringLiteral("ada@example.com");
        TamberDataModel::sharedData()->calendar = QStringLiteral("ics_calendar");
    }

    void readsKeepsAndRereadsCheaply() {
        QTemporaryDir cache;
        auto feeds = std::make_unique<CalendarFeeds>(cache.path());
        QCOMPARE(feeds->addFeed(feed("team.ics")), QString());
        QString webcal = feed("personal.ics");
        webcal.replace("https://", "webcal://");
        QCOMPARE(feeds->addFeed(webcal), QString());
        QCOMPARE(feeds->addFeed(feed("team.ics")), "This feed is already in the list.");
        QTRY_VERIFY(settled(*feeds));

        const QVariantList meetings = feeds->meetings();
        const QStringList names = titles(meetings);
        // The series without its cancelled occurrence, one occurrence moved.
        QCOMPARE(names.count("Design review"), seriesDaysInWindow() - 2);
        QCOMPARE(names.count("Design review (moved)"), 1);
        QVERIFY(names.contains("Company offsite"));
        QVERIFY(names.contains("<b>1:1</b> & <script>alert(1)</script>"));
        QVERIFY(!names.contains("Budget call (declined)"));
        for (const CalendarFeeds::Status& s : feeds->statuses())
            QCOMPARE(s.error, QString());

        // Read again: the feed says "not modified" and nothing is lost.
        VeloraSimulator& sim = m_session.sim();
        sim.clearRequests();
        feeds->refresh(true);
        QTRY_COMPARE(sim.requestCount("calendarFeed"), 2);
        QTRY_VERIFY(settled(*feeds));
        for (const RecordedRequest& r : sim.requests("calendarFeed"))
            QVERIFY(!r.header("if-none-match").isEmpty());
        QCOMPARE(titles(feeds->meetings()), names);

        // A restart while the service is out of reach shows the kept copies, and says why the
        // feeds were not read.
        feeds.reset();
        sim.injectFault("*", Fault::refuse());
        CalendarFeeds again(cache.path());
        QTRY_COMPARE(titles(again.meetings()), names);
        again.refresh(true);
        QTRY_VERIFY(!again.isBusy());
        QVERIFY(again.statuses().first().error.startsWith("The feed could not be read"));
        QCOMPARE(titles(again.meetings()), names);
        sim.clearFaults();
    }

    void refusedFeeds_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("error");
        const Fault none = Fault::delay(0);
        QTest::newRow("redirect to https") << "moved.ics" << none << "";
        QTest::newRow("redirect to http") << "insecure.ics" << none << "The feed redirects to";
        QTest::newRow("credentials") << "private.ics" << none << "The feed asks for a sign-in";
        QTest::newRow("timeout") << "team.ics" << Fault::delay(3000)
                                 << "The feed did not answer in time";
        QTest::newRow("not iCalendar")
            << "team.ics" << Fault::replyWith(200, "<html>Sign in</html>")
            << "This is not an iCalendar feed";
        QTest::newRow("cut off") << "team.ics" << Fault::closeMidBody() << "The feed could not";
        QTest::newRow("20 MB") << "team.ics"
                               << Fault::replyWith(200, QByteArray(20 * 1024 * 1024, 'x'))
                               << "The feed is larger than 16 MB";
        QTest::newRow("http address")
            << "http://localhost/a.ics" << none << "Only secure (https) feed addresses are read.";
    }

    void refusedFeeds() {
        QFETCH(QString, name);
        QFETCH(Fault, fault);
        QFETCH(QString, error);
        m_session.sim().injectFault("calendarFeed", fault);
        QTemporaryDir cache;
        CalendarFeeds feeds(cache.path());
        feeds.setTransferTimeout(1000);
        const QString added = feeds.addFeed(name.contains("://") ? name : feed(name));
        if (!added.isEmpty()) {
            QCOMPARE(added, error);
            return;
        }
        QTRY_VERIFY(settled(feeds));
        const QString said = feeds.statuses().first().error;
        QVERIFY2(error.isEmpty() ? said.isEmpty() : said.startsWith(error), qPrintable(said));
        QCOMPARE(feeds.meetings().isEmpty(), !error.isEmpty());
    }

    // A server whose chain ends at a CA nobody here trusts: refused, as a service call is.
    void untrustedServerRefused() {
        VeloraSimulator other;
        other.setCertificateChain(VeloraSimulator::CertificateChain::OtherCa);
        QVERIFY(other.start());
        QTemporaryDir cache;
        CalendarFeeds feeds(cache.path());
        QVERIFY(feeds.addFeed(other.baseUrl() + "/calendars/team.ics").isEmpty());
        QTRY_VERIFY(settled(feeds));
        const QString said = feeds.statuses().first().error;
        QVERIFY2(said.startsWith("The feed could not be read") && said.contains("SSL"),
                 qPrintable(said));
        QVERIFY(feeds.meetings().isEmpty());
        QCOMPARE(other.requestCount(), 0);
    }
};

TAMBER_TEST_MAIN_CORE(TestCalendarFeeds)
#include "tst_CalendarFeeds.moc"
