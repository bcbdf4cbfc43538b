#pragma once

#include <QFont>
#include <QIcon>
#include <QStyledItemDelegate>

struct MeetingRowPresentation;

// Paints the two kinds of rows of the upcoming-meetings list: the day header (34 pixels: room
// above the day's name, a light rule under it) and the meeting row (50 pixels: time span over
// title, status on the right, side bar for service meetings and drafts). A row whose options
// strip is open stays in place, white, with its texts cut short before the strip.
class UpcomingMeetingsItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit UpcomingMeetingsItemDelegate(QObject* parent = nullptr);

    static constexpr int kHeaderHeight = 34;
    static constexpr int kRowHeight = 50;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void paintHeader(QPainter* painter, const QRect& rect, const QString& text) const;
    void paintMeeting(QPainter* painter, const QStyleOptionViewItem& option,
                      const MeetingRowPresentation& presentation, bool stripOpen) const;

    QFont m_titleFont;
    QFont m_timeFont;
    QFont m_statusFont;
    QFont m_headerFont;
    QIcon m_recurIcon;
};
