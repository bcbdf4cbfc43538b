#include "UpcomingMeetingsListModel.h"

#include "Logging/Log.h"

#include <QTextDocument>

namespace {

// Tooltips take text that looks like markup as markup; a title ("<b>1:1</b>" from a calendar
// feed) must show as typed.
QString plainToolTip(const QString& text) {
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style=\"white-space:pre-wrap\">%1</p>").arg(text.toHtmlEscaped());
}

} // namespace

UpcomingMeetingsListModel::UpcomingMeetingsListModel(QObject* parent)
    : QAbstractListModel(parent) {}

void UpcomingMeetingsListModel::setDays(const QList<DayBucket>& days, qint64 nowMs,
                                        const QTimeZone& localZone) {
    Q_EMIT aboutToReload();
    if (days == m_days && localZone == m_localZone && !m_rows.empty()) {
        setStripRow(-1);
        refreshTimes(nowMs);
        TLOG_DEBUG(QStringLiteral("Returning number of rows in table  %1").arg(m_rows.size()));
        return;
    }
    beginResetModel();
    m_days = days;
    m_nowMs = nowMs;
    m_localZone = localZone;
    m_rows.clear();
    m_stripRow = -1;
    m_rows.reserve(size_t(MeetingAggregator::rowCount(m_days)));
    for (int b = 0; b < m_days.size(); ++b) {
        const DayBucket& day = std::as_const(m_days)[b];
        Row header;
        header.bucket = b;
        header.headerText = MeetingRowPresentation::dayHeaderText(day.day);
        m_rows.push_back(std::move(header));
        for (int m = 0; m < day.meetings.size(); ++m)
            m_rows.push_back(Row{b, m, {}, {}});
    }
    endResetModel();
    TLOG_DEBUG(QStringLiteral("Returning number of rows in table  %1").arg(m_rows.size()));
}

void UpcomingMeetingsListModel::refreshTimes(qint64 nowMs) {
    m_nowMs = nowMs;
    for (size_t r = 0; r < m_rows.size(); ++r) {
        std::optional<MeetingRowPresentation>& shown = m_rows[r].presentation;
        if (!shown)
            continue; // worked out with the new time when first asked for
        const MeetingRecord& meeting = *record(int(r));
        const QString status = MeetingRowPresentation::statusText(meeting, nowMs);
        const RowClick click = MeetingRowPresentation::clickAction(meeting, nowMs);
        if (status == shown->status && click == shown->click)
            continue;
        shown->status = status;
        shown->click = click;
        Q_EMIT dataChanged(index(int(r)), index(int(r)));
    }
}

int UpcomingMeetingsListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

bool UpcomingMeetingsListModel::isHeader(int row) const {
    return row >= 0 && size_t(row) < m_rows.size() && m_rows[size_t(row)].meeting < 0;
}

const UpcomingMeetingsListModel::Row* UpcomingMeetingsListModel::meetingRow(int row) const {
    if (row < 0 || size_t(row) >= m_rows.size() || m_rows[size_t(row)].meeting < 0)
        return nullptr;
    return &m_rows[size_t(row)];
}

const MeetingRowPresentation* UpcomingMeetingsListModel::presentation(int row) const {
    const Row* r = meetingRow(row);
    if (!r)
        return nullptr;
    if (!r->presentation)
        r->presentation = MeetingRowPresentation::present(*record(row), m_nowMs, m_localZone);
    return &*r->presentation;
}

const MeetingRecord* UpcomingMeetingsListModel::record(int row) const {
    const Row* r = meetingRow(row);
    return r ? &m_days.at(r->bucket).meetings.at(r->meeting) : nullptr;
}

QString UpcomingMeetingsListModel::headerText(int row) const {
    return isHeader(row) ? m_rows[size_t(row)].headerText : QString();
}

QVariant UpcomingMeetingsListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= m_rows.size())
        return {};
    const Row& row = m_rows[size_t(index.row())];
    const bool header = row.meeting < 0;
    switch (role) {
    case Qt::DisplayRole:
        return header ? row.headerText : presentation(index.row())->title;
    case Qt::ToolTipRole:
        return header ? QVariant() : QVariant(plainToolTip(presentation(index.row())->toolTip));
    case IsHeaderRole:
        return header;
    default:
        return {};
    }
}

void UpcomingMeetingsListModel::setStripRow(int row) {
    if (row == m_stripRow)
        return;
    const int previous = m_stripRow;
    m_stripRow = row;
    for (int r : {previous, row}) {
        if (r >= 0 && size_t(r) < m_rows.size())
            Q_EMIT dataChanged(index(r), index(r));
    }
}
