// Cost of one saveDataToBundle with a signed-in record and 50 drafts of realistic size.
#include "Models/TamberDataModel.h"
#include "Platform/PreferencesStore.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QVariantList>
#include <QVariantMap>
#include <benchmark/benchmark.h>

namespace {

QVariantMap realisticDraft(int i) {
    const QString guid = TamberDataModel::uuidString();
    QVariantList attendees;
    for (int a = 0; a < 6; ++a)
        attendees << QVariantMap{
            {QStringLiteral("email"), QStringLiteral("person%1.%2@example.com").arg(i).arg(a)}};
    const qint64 start = 1767225600000LL + qint64(i) * 86400000LL;
    return QVariantMap{
        {QStringLiteral("meetingDraftGuid"), guid},
        {QStringLiteral("title"), QStringLiteral("Planning session %1: roadmap and budget").arg(i)},
        {QStringLiteral("attendees"), attendees},
        {QStringLiteral("description"),
         QStringLiteral("Agenda:\n1. Review of last quarter\n2. Open issues and owners\n"
                        "3. Budget for the next release\nNotes from the previous meeting are "
                        "in the shared folder; please read them before we start. (%1)")
             .arg(i)},
        {QStringLiteral("timezone"), QStringLiteral("Europe/Oslo")},
        {QStringLiteral("start"), QString::number(start)},
        {QStringLiteral("end"), QString::number(start + 3600000)},
        {QStringLiteral("addAttendeePasscode"), i % 2 == 0},
        {QStringLiteral("recurrencePattern"),
         QVariantMap{{QStringLiteral("daysOfWeekMask"), 2 | 8},
                     {QStringLiteral("frequency"), 1},
                     {QStringLiteral("recurrenceType"), QStringLiteral("WEEKLY")}}},
        {QStringLiteral("advancedMeetingOptions"),
         QVariantMap{{QStringLiteral("publishMeeting"), true},
                     {QStringLiteral("encryptionType"), QStringLiteral("NO_ENCRYPTION")},
                     {QStringLiteral("videoBestFit"), false},
                     {QStringLiteral("moderatorLess"), true},
                     {QStringLiteral("disallowChat"), false},
                     {QStringLiteral("muteParticipantsOnEntry"), true},
                     {QStringLiteral("showAllAttendeesInMeetingInvite"), false},
                     {QStringLiteral("autoRecord"), false},
                     {QStringLiteral("isLargeMeeting"), false}}},
    };
}

void fillSignedInRecord() {
    TamberDataModel& m = *TamberDataModel::sharedData();
    TamberDataModel::resetForTesting();
    m.CID = QStringLiteral("3F2A9C0B17D4");
    m.username = QStringLiteral("ada@example.com");
    // A SAML account: the keychain is not part of this measurement.
    m.authenticationType = QStringLiteral("SAML");
    m.access_token = QStringLiteral("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0");
    m.expires_in = 43199;
    m.app_access_token = QStringLiteral("a1b2c3d4-e5f6-0718-293a-4b5c6d7e8f90");
    m.app_expires_in = 86399;
    m.userId = QStringLiteral("ff808181-5a1e-4c2b-0160-3c2f7a1b0001");
    m.firstName = QStringLiteral("Ada");
    m.lastName = QStringLiteral("Lovelace");
    m.email = QStringLiteral("ada@example.com");
    m.timezone = QStringLiteral("Europe/Oslo");
    m.numericId = qint64(4155550123LL);
    m.personalMeetingDescription =
        QStringLiteral("Join my meeting: https://velora.example/4155550123");
    m.publishMeeting = true;
    m.encryptionType = QStringLiteral("ENCRYPTED_OR_PSTN_ONLY");
    m.videoBestFit = QStringLiteral("0");
    m.calendar = QStringLiteral("velora_calendar");
    for (int i = 0; i < 50; ++i) {
        const QVariantMap draft = realisticDraft(i);
        m.meetingDrafts.insert(draft.value(QStringLiteral("meetingDraftGuid")).toString(), draft);
    }
}

void BM_SaveDataToBundle_50Drafts(benchmark::State& state) {
    // Never touch the real preferences of the person running the benchmark.
    QTemporaryDir config;
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    const bool hadPrevious = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());

    fillSignedInRecord();
    TamberDataModel::saveDataToBundle(); // first save creates the folder and file
    for (auto _ : state)
        TamberDataModel::saveDataToBundle();
    state.counters["file_bytes"] = double(QFileInfo(PreferencesStore::defaultPath()).size());

    TamberDataModel::resetForTesting();
    if (hadPrevious)
        qputenv("XDG_CONFIG_HOME", previous);
    else
        qunsetenv("XDG_CONFIG_HOME");
}
BENCHMARK(BM_SaveDataToBundle_50Drafts)->Unit(benchmark::kMicrosecond);

} // namespace
