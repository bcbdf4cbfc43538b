#include "Models/MeetingInvitation.h"
#include "Models/TamberDataModel.h"
#include "TestEnvironment.h"

#include <QDateTime>

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
    const QVariantMap base{{QStringLiteral("title"), QStringLiteral("Design  review\n")},
                           {QStringLiteral("start"), start},
                           {QStringLiteral("end"), start + 3600000},
                           {QStringLiteral("numericMeetingId"), QStringLiteral("730555100")},
                           {QStringLiteral("calendar_entry_type"), QStringLiteral("velora")}};
    QVariantMap withPasscode = base;
    withPasscode.insert(QStringLiteral("addAttendeePasscode"), true);
    withPasscode.insert(QStringLiteral("attendeePasscode"), QStringLiteral("1357"));
    QVariantMap draft = base;
    draft.remove(QStringLiteral("numericMeetingId"));

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
        << draft
        << QStringLiteral("Design review\nTuesday, December 8, 2026 3:00 PM - 4:00 PM UTC\n");
}

void tst_MeetingInvitation::text() {
    QFETCH(QVariantMap, record);
    QFETCH(QString, expected);
    TamberDataModel::sharedData()->apiHost = QStringLiteral("api.velora.example");
    TamberDataModel::sharedData()->moderatorPasscode = QStringLiteral("2468");
    QCOMPARE(MeetingInvitation::text(MeetingRecord(record), QTimeZone::utc()), expected);
}

TAMBER_TEST_MAIN_CORE(tst_MeetingInvitation)
#include "tst_MeetingInvitation.moc"
