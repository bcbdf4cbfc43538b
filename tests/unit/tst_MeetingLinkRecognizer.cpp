// The meeting-link recogniser: documented results, hostile and long inputs, and agreement with
// the historic regular expression on well-formed text. The fuzz target compares it with the
// host-restricted pattern on any text (seeds in tests/fuzz/corpus/meeting-links).
#include "LegacyMeetingLinkPattern.h"
#include "Models/MeetingLinkRecognizer.h"
#include "Platform/BundleInfo.h"
#include "TestEnvironment.h"

#include <QElapsedTimer>
#include <QObject>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

const QString kDomain = u"velora.example"_s;

std::optional<QVariantMap> scan(const QString& text) {
    return MeetingLinkRecognizer::extractMeetingIdAndPasscode(text, kDomain);
}

std::optional<QVariantMap> expectLink(const QString& host, const QString& id,
                                      const QString& passcode = {}) {
    QVariantMap m{{"numericMeetingId", id}, {"meetingDomain", host}};
    if (!passcode.isEmpty()) {
        m.insert("addAttendeePasscode", true);
        m.insert("attendeePasscode", passcode);
    }
    return m;
}

// The result a pattern with the historic group layout gives (host 1, id 4, passcode 6).
std::optional<QVariantMap> resultOf(const QRegularExpressionMatch& m, int host, int id, int pass) {
    if (!m.hasMatch())
        return std::nullopt;
    QVariantMap r{{"numericMeetingId", m.captured(id)}};
    if (!m.captured(host).isEmpty())
        r.insert("meetingDomain", m.captured(host));
    if (m.capturedStart(pass) >= 0) {
        r.insert("addAttendeePasscode", true);
        r.insert("attendeePasscode", m.captured(pass));
    }
    return r;
}

std::optional<QVariantMap> legacy(const QString& text) {
    static const QRegularExpression re(LegacyMeetingLinkPattern::forDomain(kDomain));
    return resultOf(re.match(text), 1, 4, 6);
}

// The historic pattern with the host restricted to host characters, literal dots and the
// domain starting a label: what the recogniser promises on any text.
std::optional<QVariantMap> hostRestricted(const QString& text) {
    static const QRegularExpression re(
        u"https?://(([A-Za-z0-9.\\-]*\\.)?velora\\.example)/(\\d+)(/?(\\d+)?)?"_s);
    return resultOf(re.match(text), 1, 3, 5);
}

QString show(const std::optional<QVariantMap>& r) {
    if (!r)
        return u"<none>"_s;
    QStringList parts;
    for (auto it = r->cbegin(); it != r->cend(); ++it)
        parts << it.key() + "=" + it.value().toString();
    return parts.join(", ");
}

} // namespace

class tst_MeetingLinkRecognizer : public QObject {
    Q_OBJECT

private slots:
    void documentedResults() {
        QCOMPARE(MeetingLinkRecognizer::extractMeetingIdAndPasscode(std::nullopt), std::nullopt);
        QCOMPARE(scan(QString()), std::nullopt);
        QCOMPARE(scan("Lunch with Ann"), std::nullopt);
        // Either scheme, id only: no passcode keys at all.
        QCOMPARE(scan("https://velora.example/123456789"),
                 expectLink("velora.example", "123456789"));
        QCOMPARE(scan("Join: http://acme.velora.example/42 today"),
                 expectLink("acme.velora.example", "42"));
        QCOMPARE(scan("https://velora.example/42/"), expectLink("velora.example", "42"));
        // With a passcode.
        QCOMPARE(scan("https://a.b.velora.example/1234/5678."),
                 expectLink("a.b.velora.example", "1234", "5678"));
        QVERIFY(scan("https://velora.example/1/2")->value("addAttendeePasscode").toBool());
        // The first line with a link wins; a link never spans a line break.
        QCOMPARE(
            scan(
                "http://velora.example/\n1 https://x.velora.example/7\nhttps://velora.example/8/9"),
            expectLink("x.velora.example", "7"));
        // The default domain is the build setting.
        QCOMPARE(MeetingLinkRecognizer::extractMeetingIdAndPasscode(
                     u"https://%1/99"_s.arg(BundleInfo::meetingLinkDomain())),
                 expectLink(BundleInfo::meetingLinkDomain(), "99"));
    }

    void hostileHostsAreNoLinks() {
        // The historic pattern reads each of these as a link to somewhere else.
        const QStringList noLinks{
            "https://evil.example/velora.example/123",
            "https://evil.example?x=velora.example/123",
            "https://evil.example#velora.example/123",
            "https://user@velora.example/123",         // '@' is no host character
            "https://evilvelora.example/123",          // not a label of its own
            "https://veloraXexample/123",              // dots match dots only
            "https://velora.example.evil.example/123", // domain must end the host
            "https://velora.example:443/123",          // no ports in meeting links
            "https://velora.example/",                 // no id
            "https://velora.example/٣٤٥",              // ids are ASCII digits
            "https://velora.example /123",
        };
        for (const QString& text : noLinks) {
            QVERIFY2(!scan(text), qPrintable(text + " -> " + show(scan(text))));
            QVERIFY(!hostRestricted(text));
        }
        QVERIFY(legacy("https://evil.example/velora.example/123"));

        // A harmless link earlier on the line does not swallow the real one.
        const QString invite =
            "Docs: https://docs.example/x, call: https://acme.velora.example/555/12";
        QCOMPARE(scan(invite), expectLink("acme.velora.example", "555", "12"));
        QCOMPARE(legacy(invite)->value("meetingDomain").toString(),
                 "docs.example/x, call: https://acme.velora.example");
        // Of two real links on one line, the first is taken.
        QCOMPARE(scan("https://a.velora.example/1 or https://b.velora.example/2/3"),
                 expectLink("a.velora.example", "1"));
        // A scheme inside a host run still starts a candidate of its own.
        QCOMPARE(scan("https://ahttps://velora.example/5"), expectLink("velora.example", "5"));
        QCOMPARE(scan("xhttps://velora.example/6"), expectLink("velora.example", "6"));
    }

    void longInputsRunInLinearTime() {
        const int size = 1 << 20;
        QString dots = "https://";
        dots.reserve(size + 64);
        while (dots.size() < size)
            dots += "a.";
        QString missesLine;
        while (missesLine.size() < size)
            missesLine += "https://x.velora.example/ ";
        QString schemes;
        while (schemes.size() < size)
            schemes += "https://http://";

        QElapsedTimer timer;
        timer.start();
        QCOMPARE(scan(dots), std::nullopt);
        QCOMPARE(scan(missesLine), std::nullopt);
        QCOMPARE(scan(schemes), std::nullopt);
        // A link after a megabyte of near misses is still found.
        QCOMPARE(scan(missesLine + "https://velora.example/77/88"),
                 expectLink("velora.example", "77", "88"));
        QCOMPARE(scan(dots + "velora.example/3"), expectLink(dots.mid(8) + "velora.example", "3"));
        // Generous bound for a loaded or instrumented build; the quadratic pattern needs many
        // minutes.
        QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
    }

    void agreesWithHistoricPatternOnWellFormedText() {
        // Each scheme, subdomain run and ending of a link, amid text and near misses that the
        // historic pattern passes over too (one link a line), is read as that pattern reads it.
        int links = 0;
        for (const char* scheme : {"http://", "https://"})
            for (const char* host : {"", "a.", "x-1.b9."})
                for (const char* tail : {"", "/", "/7", "/007/x", "?pwd=1", "/12/34", "0 tail"})
                    for (const char* before : {"", "Join (", "Lunch\n", "会议 http: // <"})
                        for (const char* after : {"", ") é", "\n\nhttp:/velora.example/9",
                                                  "\nftp://velora.example/1 https://x.example/2"}) {
                            const QString text = before + QString::fromLatin1(scheme) + host +
                                                 kDomain + "/1234" + tail + after;
                            const auto expected = legacy(text);
                            QVERIFY2(scan(text) == expected,
                                     qPrintable(u"%1\n  got %2\n  expected %3"_s.arg(
                                         text, show(scan(text)), show(expected))));
                            links += expected.has_value();
                        }
        QCOMPARE(links, 2 * 3 * 7 * 4 * 4);
    }
};

TAMBER_TEST_MAIN_CORE(tst_MeetingLinkRecognizer)
#include "tst_MeetingLinkRecognizer.moc"
