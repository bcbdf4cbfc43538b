#pragma once

#include "ServiceCall.h"

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <optional>

// One cancellation of a service meeting, from the user's click to the refreshed list. It does
// not live in the popover: the list's rows (and the popover over one of them) are rebuilt on
// every reload, and the menu may close while the request is in flight, yet the drafts must
// still be detached and the list told. The popover only listens to the two signals.
class MeetingCancellation : public QObject {
    Q_OBJECT
public:
    // The longest cancellation message, in UTF-16 code units.
    static constexpr qsizetype kMaxMessageLength = 1000;

    // Reports "init", checks the user token, then sends the DELETE for the whole meeting (or
    // series) or, with nextIfRecurring, for its next occurrence. The object deletes itself
    // once it has finished.
    static MeetingCancellation* start(const QVariantMap& meeting, const QString& message,
                                      bool nextIfRecurring);

    // The dialog is done with: reports "keep_meeting" and closes the confirmation.
    static void keepMeeting();

    // The one line the popover shows for a failure.
    static QString failureText(const std::optional<ServiceError>& error);

Q_SIGNALS:
    void succeeded();
    void failed(const QString& text);

private:
    MeetingCancellation(const QVariantMap& meeting, const QString& message, bool nextIfRecurring);

    void send();
    void succeed();
    void fail(const std::optional<ServiceError>& error);
    void updateMeetingDraftsAsPerDeletedMeeting();
    void letOthersKnowThatMeetingWasDeleted();
    QVariant meetingId() const;

    QVariantMap m_meeting;
    QString m_message;
    bool m_nextIfRecurring = false;
};
