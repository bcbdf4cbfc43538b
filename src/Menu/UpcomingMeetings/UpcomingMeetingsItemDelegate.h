#pragma once

#include <QFont>
#include <QIcon>
#include <QStyledItemDelegate>

struct MeetingRowPresentation;

// Paints the two kinds of rows of the upcoming-meetings list: the day header (20 pixels) and
// the meeting row (50 pixels: time span over title, status on the right, side bar for service
// meetings and drafts). A row whose options strip is open paints its content 100 pixels to the
// left; the strip widget covers the freed space.
class UpcomingMeetingsItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit UpcomingMeetingsItemDelegate(QObject* parent = nullptr);

    static constexpr int kHeaderHeight = 20;
    static constexpr int kRowHeight = 50;
    static constexpr int kStripShift = 100;

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
