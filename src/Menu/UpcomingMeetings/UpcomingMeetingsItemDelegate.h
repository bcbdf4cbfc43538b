#pragma once

#include <QFont>
#include <QHash>
#include <QIcon>
#include <QStaticText>
#include <QStyledItemDelegate>

struct MeetingRowPresentation;

// Paints the two kinds of rows of the upcoming-meetings list: the day header (34 pixels: room
// above the day's name, a light rule under it) and the meeting row (50 pixels: time span over
// title, status on the right, side bar for service meetings and drafts). A row whose options
// strip is open stays in place, white, with its texts cut short before the strip.
//
// Each show of the menu repaints every row on screen: the texts are laid out (cut and shaped)
// once and kept, so a repaint only draws them.
class UpcomingMeetingsItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit UpcomingMeetingsItemDelegate(QObject* parent = nullptr);

    static constexpr int kHeaderHeight = 34;
    static constexpr int kRowHeight = 50;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Kept laid-out texts; a bound keeps a long-running list from piling them up.
    static constexpr qsizetype kMaxKeptTexts = 512;
    qsizetype keptTextCount() const { return m_texts.size(); }

private:
    enum class Face { Title, Time, Status, Header };
    struct TextKey {
        Face face;
        int width; // cut to this many pixels
        QString text;
        bool operator==(const TextKey&) const = default;
        friend size_t qHash(const TextKey& key, size_t seed = 0) {
            return qHashMulti(seed, int(key.face), key.width, key.text);
        }
    };
    // `text` in `face`, cut with an ellipsis to `width`.
    const QStaticText& laidOut(Face face, const QString& text, int width) const;
    const QFont& font(Face face) const;
    // Draws `text` in `face` within `rect`, centred vertically; returns its width.
    qreal drawLine(QPainter* painter, Face face, const QString& text, const QRect& rect,
                   Qt::Alignment horizontal) const;

    void paintHeader(QPainter* painter, const QRect& rect, const QString& text) const;
    void paintMeeting(QPainter* painter, const QStyleOptionViewItem& option,
                      const MeetingRowPresentation& presentation, bool stripOpen) const;

    QFont m_titleFont;
    QFont m_timeFont;
    QFont m_statusFont;
    QFont m_headerFont;
    QIcon m_recurIcon;
    mutable QHash<TextKey, QStaticText> m_texts;
};
