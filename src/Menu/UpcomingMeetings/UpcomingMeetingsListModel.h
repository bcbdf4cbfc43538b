#pragma once

#include "MeetingRowPresentation.h"
#include "Models/MeetingAggregator.h"

#include <QAbstractListModel>
#include <QList>
#include <QTimeZone>
#include <optional>
#include <vector>

// The rows of the upcoming-meetings list: per day a header row, then one row per meeting.
// What a meeting row shows is worked out the first time the row is asked for (a list of
// thousands paints a screenful), then kept until the next reload.
class UpcomingMeetingsListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Roles {
        IsHeaderRole = Qt::UserRole + 1, // bool
    };

    explicit UpcomingMeetingsListModel(QObject* parent = nullptr);

    // Replaces every row. nowMs decides "Completed" and what a click does. The same days again
    // keep the rows (no reset, so no repaint of the whole list): only rows whose status or click
    // changed with nowMs report a change.
    void setDays(const QList<DayBucket>& days, qint64 nowMs,
                 const QTimeZone& localZone = QTimeZone::systemTimeZone());
    const QList<DayBucket>& days() const { return m_days; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    bool isHeader(int row) const;
    // Meeting rows only; nullptr for headers and rows out of range.
    const MeetingRowPresentation* presentation(int row) const;
    const MeetingRecord* record(int row) const;
    QString headerText(int row) const;

    // The row whose options strip is open (its content slides aside), or -1.
    int stripRow() const { return m_stripRow; }
    void setStripRow(int row);

Q_SIGNALS:
    // Every setDays, whether or not the rows changed, before they do.
    void aboutToReload();

private:
    struct Row {
        int bucket = -1;
        int meeting = -1; // -1: the bucket's header
        QString headerText;
        mutable std::optional<MeetingRowPresentation> presentation;
    };
    const Row* meetingRow(int row) const;
    void refreshTimes(qint64 nowMs);

    QList<DayBucket> m_days;
    qint64 m_nowMs = 0;
    QTimeZone m_localZone;
    std::vector<Row> m_rows;
    int m_stripRow = -1;
};
