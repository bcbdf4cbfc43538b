#include "AdvancedMeetingOptions.h"

#include "Models/TamberDataModel.h"

namespace {

const QString kNoEncryption = QStringLiteral("NO_ENCRYPTION");
const QString kEncryptedOrPstn = QStringLiteral("ENCRYPTED_OR_PSTN_ONLY");
const QString kEncryptedOnly = QStringLiteral("ENCRYPTED_ONLY");

int flag(const QVariant& value) {
    return TamberDataModel::booleanReading(value) ? 1 : 0;
}

bool valueOr(int value, const QVariant& accountDefault) {
    return value == -1 ? TamberDataModel::booleanReading(accountDefault) : value != 0;
}

} // namespace

QString AdvancedMeetingOptions::States::encryptionType() const {
    if (!encrypt) {
        return kNoEncryption;
    }
    return telephoneColumn == 0 ? kEncryptedOrPstn : kEncryptedOnly;
}

QVariantMap AdvancedMeetingOptions::States::requestOptions(int publish) const {
    return {{QStringLiteral("publishMeeting"), publish},
            {QStringLiteral("encryptionType"), encryptionType()},
            {QStringLiteral("videoBestFit"), videoBestFit},
            {QStringLiteral("moderatorLess"), moderatorLess},
            {QStringLiteral("disallowChat"), disallowChat},
            {QStringLiteral("muteParticipantsOnEntry"), muteParticipantsOnEntry},
            {QStringLiteral("showAllAttendeesInMeetingInvite"), showAllAttendeesInMeetingInvite},
            {QStringLiteral("autoRecord"), autoRecord}};
}

QVariantMap AdvancedMeetingOptions::States::draftOptions() const {
    QVariantMap options = requestOptions(0);
    options.insert(QStringLiteral("publishMeeting"), publishMeeting);
    options.insert(QStringLiteral("isLargeMeeting"), isLargeMeeting);
    return options;
}

void AdvancedMeetingOptions::States::applyRecordOptions(const QVariantMap& options) {
    const std::pair<const char*, bool States::*> boxes[] = {
        {"publishMeeting", &States::publishMeeting},
        {"videoBestFit", &States::videoBestFit},
        {"moderatorLess", &States::moderatorLess},
        {"disallowChat", &States::disallowChat},
        {"muteParticipantsOnEntry", &States::muteParticipantsOnEntry},
        {"isLargeMeeting", &States::isLargeMeeting},
        {"showAllAttendeesInMeetingInvite", &States::showAllAttendeesInMeetingInvite},
        {"autoRecord", &States::autoRecord},
    };
    for (const auto& [key, box] : boxes) {
        const auto it = options.constFind(QLatin1String(key));
        if (it != options.constEnd()) {
            this->*box = TamberDataModel::booleanReading(*it);
        }
    }
    const auto type = options.constFind(QStringLiteral("encryptionType"));
    if (type != options.constEnd()) {
        readEncryption(type->toString(), &encrypt, &telephoneColumn);
    }
}

void AdvancedMeetingOptions::readEncryption(const QString& type, bool* encrypt, int* column) {
    *encrypt = type != kNoEncryption;
    *column = !*encrypt ? -1 : (type == kEncryptedOrPstn ? 0 : 1);
}

AdvancedMeetingOptions AdvancedMeetingOptions::fromMeeting(const QVariantMap& meeting) {
    const QVariantMap options = meeting.value(QStringLiteral("advancedMeetingOptions")).toMap();
    AdvancedMeetingOptions v;
    v.publishMeeting = flag(options.value(QStringLiteral("publishMeeting")));
    bool encrypt = false;
    readEncryption(options.value(QStringLiteral("encryptionType")).toString(), &encrypt,
                   &v.allowTelephone);
    v.encryptionType = encrypt ? 1 : 0;
    v.videoBestFit = flag(options.value(QStringLiteral("videoBestFit")));
    v.isModeratorLess = flag(options.value(QStringLiteral("moderatorLess")));
    v.disallowChat = flag(options.value(QStringLiteral("disallowChat")));
    v.muteParticipantsOnEntry = flag(options.value(QStringLiteral("muteParticipantsOnEntry")));
    v.showAllParticipantsInIcs =
        flag(options.value(QStringLiteral("showAllAttendeesInMeetingInvite")));
    v.enableAutoRecording = flag(options.value(QStringLiteral("autoRecord")));
    const QString large = QStringLiteral("isLargeMeeting");
    v.isLargeMeeting = flag(meeting.contains(large) ? meeting.value(large) : options.value(large));
    return v;
}

AdvancedMeetingOptions AdvancedMeetingOptions::fromStates(const States& s) {
    AdvancedMeetingOptions v;
    v.publishMeeting = s.publishMeeting;
    v.encryptionType = s.encrypt;
    v.allowTelephone = s.encrypt ? s.telephoneColumn : -1;
    v.videoBestFit = s.videoBestFit;
    v.showAllParticipantsInIcs = s.showAllAttendeesInMeetingInvite;
    v.isModeratorLess = s.moderatorLess;
    v.enableAutoRecording = s.autoRecord;
    v.disallowChat = s.disallowChat;
    v.muteParticipantsOnEntry = s.muteParticipantsOnEntry;
    v.isLargeMeeting = s.isLargeMeeting;
    return v;
}

AdvancedMeetingOptions::States AdvancedMeetingOptions::states(const TamberDataModel& a) const {
    States s;
    s.publishMeeting = valueOr(publishMeeting, a.publishMeeting);
    bool accountEncrypts = false;
    int accountColumn = -1;
    readEncryption(a.encryptionType.toString(), &accountEncrypts, &accountColumn);
    s.encrypt = encryptionType == -1 ? accountEncrypts : encryptionType != 0;
    // With encryption on, a radio pair always shows a choice: the account's when none is kept.
    s.telephoneColumn = !s.encrypt ? -1 : (allowTelephone != -1 ? allowTelephone : accountColumn);
    if (s.encrypt && s.telephoneColumn == -1) {
        s.telephoneColumn = 1;
    }
    s.videoBestFit = valueOr(videoBestFit, a.videoBestFit);
    s.moderatorLess = valueOr(isModeratorLess, a.isModeratorLess);
    s.disallowChat = valueOr(disallowChat, a.disallowChat);
    s.muteParticipantsOnEntry = valueOr(muteParticipantsOnEntry, a.muteParticipantsOnEntry);
    s.isLargeMeeting = valueOr(isLargeMeeting, a.isLargeMeeting);
    s.showAllAttendeesInMeetingInvite =
        valueOr(showAllParticipantsInIcs, a.showAllParticipantsInIcs);
    s.autoRecord = enableAutoRecording == -1 ? false : enableAutoRecording != 0;
    return s;
}
