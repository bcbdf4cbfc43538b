#pragma once

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// The scheduled meetings of every user: validation of create/change bodies, series arithmetic
// (next occurrence, last occurrence, cancelled occurrences) and the list form the service
// answers with.
class SimMeetings {
public:
    struct Result {
        bool ok = false;
        QString error; // why a body or an occurrence was refused
        QString field;
        QJsonObject meeting; // list form
    };

    void clear();
    // Fixture form: "startDay" + "startTime" (wall clock of the meeting's zone) or
    // "startOffsetMinutes" (from now), "durationMinutes", and the service keys.
    bool addFromFixture(const QString& userId, const QJsonObject& spec, const QDateTime& now,
                        QString* error);

    QJsonArray list(const QString& userId, qint64 nowMs) const;
    QJsonObject find(const QString& userId, const QString& meetingId, qint64 nowMs) const;
    Result create(const QString& userId, const QJsonObject& body, qint64 nowMs);
    Result change(const QString& userId, const QString& meetingId, const QJsonObject& body,
                  qint64 nowMs);
    // Whole series (or single meeting) when originalStart is empty, else that one occurrence.
    Result cancel(const QString& userId, const QString& meetingId, const QString& originalStart,
                  const QString& originalEnd, qint64 nowMs);

    // Starts of every occurrence of a stored meeting (one element for a single meeting).
    static QList<qint64> occurrenceStarts(const QJsonObject& stored);
    static bool isRecurring(const QJsonObject& stored);

private:
    QJsonObject listForm(const QJsonObject& stored, qint64 nowMs) const;
    int indexOf(const QString& userId, const QString& meetingId) const;
    static QString validate(const QJsonObject& body, QString* field);
    static QJsonObject normalised(const QJsonObject& body);
    QJsonObject withNewIdentity(QJsonObject stored);

    QHash<QString, QList<QJsonObject>> m_byUser;
    qint64 m_nextId = 4100001;
};
