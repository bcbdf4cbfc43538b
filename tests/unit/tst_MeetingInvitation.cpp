#include "Models/MeetingInvitation.h"
#include "Models/TamberDataModel.h"
#include "RecordEdit.h"
#include "TestEnvironment.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

class tst_MeetingInvitation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void text_data();
    void text();
};

void tst_MeetingInvitation::text_data() {
    QTest::addColumn<QVariantMap>("record");
    QTest::addColumn<QString>("expected");
    const qint64 start =
        QDateTime(QDate(2026, 12, 8), QTime(15, 0), QTimeZone::utc()).toMSecsSinceEpoch();
    const QVariantMap base{{u"title"_s, u"Design  review\n"_s},
                           {u"start"_s, start},
                           {u"end"_s, start + 3600000},
                           {u"numericMeetingId"_s, u"730555100"_s},
                           {u"calendar_entry_type"_s, u"velora"_s}};
    const QVariantMap withPasscode =
        with(with(base, u"addAttendeePasscode"_s, true), u"attendeePasscode"_s, u"1357"_s);
    const QVariantMap draft = with(base, u"numericMeetingId"_s, {});

    // The user's moderator passcode (2468) never leaks into what is sent to others.
    QTest::newRow("attendee passcode")
        << withPasscode
        << QStringLiteral("Design review\nTuesday, December 8, 2026 3:00 PM - 4:00 PM UTC\n\n"
                          "Join: https://velora.example/730555100/1357\nMeeting ID: 730555100\n"
                          "Passcode: 1357\n");
    QTest::newRow("no attendee passcode")
        << base
        << QStringLiteral("Design review\nTuesday, December 8, 2026 3:00 PM - 4:00 PM UTC\n\n"
                          "Join: https://velora.example/730555100/\nMeeting ID: 730555100\n");
    QTest::newRow("nothing to join")
        << draft << u"Design review\nTuesday, December 8, 2026 3:00 PM - 4:00 PM UTC\n"_s;
}

void tst_MeetingInvitation::text() {
    QFETCH(QVariantMap, record);
    QFETCH(QString, expected);
    TamberDataModel::sharedData()->apiHost = u"api.velora.example"_s;
    TamberDataModel::sharedData()->moderatorPasscode = u"2468"_s;
    QCOMPARE(MeetingInvitation::text(MeetingRecord(record), QTimeZone::utc()), expected);
}

TAMBER_TEST_MAIN_CORE(tst_MeetingInvitation)
#include "tst_MeetingInvitation.moc"
