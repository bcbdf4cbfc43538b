#include "UpcomingMeetingsItemDelegate.h"

#include "EditOptionsView.h"
#include "Menu/MenuStyle.h"
#include "UpcomingMeetingsListModel.h"

#include <QPainter>

namespace {

QFont helveticaNeue(int pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont font;
    font.setFamilies({QStringLiteral("Helvetica Neue"), QStringLiteral("Helvetica"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// The day's name: a quieter face than the titles, so the meetings stay what the eye reads.
QFont headerFont() {
    return helveticaNeue(14, QFont::DemiBold);
}

const QColor kTitleColour(66, 66, 66);
const QColor kTimeColour(0x80, 0x86, 0x90);
const QColor kStatusColour(99, 99, 99, 128);
const QColor kServiceBar(250, 165, 0);
const QColor kDraftBar(99, 99, 99, 128);
const QColor kSeparator(0xe1, 0xe4, 0xe9);
const QColor kHeaderColour(0x5f, 0x66, 0x70);
// Between the day's name (descenders included) and its rule.
constexpr int kHeaderBottomGap = 5;

// Left edge of the texts: clear of the 5-pixel side bar.
constexpr int kTextLeft = 12;

} // namespace

UpcomingMeetingsItemDelegate::UpcomingMeetingsItemDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
    , m_titleFont(helveticaNeue(16))
    , m_timeFont(helveticaNeue(12))
    , m_statusFont(helveticaNeue(12))
    , m_headerFont(headerFont())
    , m_recurIcon(MenuStyle::image(QStringLiteral("recurIcon"))) {}

const QFont& UpcomingMeetingsItemDelegate::font(Face face) const {
    switch (face) {
    case Face::Title:
        return m_titleFont;
    case Face::Time:
        return m_timeFont;
    case Face::Status:
        return m_statusFont;
    case Face::Header:
        break;
    }
    return m_headerFont;
}

const QStaticText& UpcomingMeetingsItemDelegate::laidOut(Face face, const QString& text,
                                                         int width) const {
    TextKey key{face, width, text};
    if (const auto it = m_texts.constFind(key); it != m_texts.cend())
        return *it;
    if (m_texts.size() >= kMaxKeptTexts)
        m_texts.clear();
    const QFont& f = font(face);
    QStaticText laid(QFontMetrics(f).elidedText(text, Qt::ElideRight, width));
    laid.setTextFormat(Qt::PlainText); // a title "<b>1:1</b>" shows as typed
    laid.setPerformanceHint(QStaticText::AggressiveCaching);
    laid.prepare(QTransform(), f);
    return *m_texts.insert(std::move(key), std::move(laid));
}

qreal UpcomingMeetingsItemDelegate::drawLine(QPainter* painter, Face face, const QString& text,
                                             const QRect& rect, Qt::Alignment horizontal) const {
    const QStaticText& laid = laidOut(face, text, rect.width());
    const QSizeF size = laid.size();
    const qreal x = horizontal & Qt::AlignRight ? rect.x() + rect.width() - size.width() : rect.x();
    const qreal y = rect.y() + (rect.height() - QFontMetricsF(font(face)).height()) / 2;
    painter->setFont(font(face));
    painter->drawStaticText(QPointF(x, y), laid);
    return size.width();
}

QSize UpcomingMeetingsItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                             const QModelIndex& index) const {
    const bool header = index.data(UpcomingMeetingsListModel::IsHeaderRole).toBool();
    return {option.rect.width(), header ? kHeaderHeight : kRowHeight};
}

void UpcomingMeetingsItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    const auto* model = qobject_cast<const UpcomingMeetingsListModel*>(index.model());
    if (!model)
        return;
    const int row = index.row();
    if (model->isHeader(row)) {
        paintHeader(painter, option.rect, model->headerText(row));
        return;
    }
    if (const MeetingRowPresentation* presentation = model->presentation(row))
        paintMeeting(painter, option, *presentation, model->stripRow() == row);
}

void UpcomingMeetingsItemDelegate::paintHeader(QPainter* painter, const QRect& rect,
                                               const QString& text) const {
    painter->save();
    painter->setClipRect(rect);
    // Room above the name, set off from the row before it; a light rule under it, as between
    // the meetings.
    painter->fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), kSeparator);
    painter->setFont(m_headerFont);
    painter->setPen(kHeaderColour);
    const QFontMetrics metrics(m_headerFont);
    const int baseline = rect.bottom() - kHeaderBottomGap - metrics.descent();
    painter->drawStaticText(QPointF(rect.left() + kTextLeft, baseline - metrics.ascent()),
                            laidOut(Face::Header, text, rect.width() - 2 * kTextLeft));
    painter->restore();
}

void UpcomingMeetingsItemDelegate::paintMeeting(QPainter* painter,
                                                const QStyleOptionViewItem& option,
                                                const MeetingRowPresentation& p,
                                                bool stripOpen) const {
    const QRect& rect = option.rect;
    const bool hovered = option.state & QStyle::State_MouseOver;
    painter->save();
    painter->setClipRect(rect);
    if (hovered || stripOpen)
        painter->fillRect(rect, Qt::white);
    painter->translate(rect.left(), rect.top());
    // The strip covers the right end: the texts end before it, the title cut with an ellipsis.
    const int textEnd =
        stripOpen ? rect.width() - EditOptionsView::stripWidth(p.draft) - 6 : rect.width();

    if (p.serviceMeeting)
        painter->fillRect(QRect(0, 5, 5, kRowHeight - 10), kServiceBar);
    if (p.draft) {
        if (hovered)
            painter->fillRect(QRect(0, 0, rect.width(), kRowHeight - 1), Qt::white);
        painter->fillRect(QRect(0, 5, 5, kRowHeight - 10), kDraftBar);
    }

    // Upper line: the time span, then the recurrence mark right after it.
    painter->setPen(kTimeColour);
    const QRect timeRect(kTextLeft, 4, qMin(250, textEnd) - kTextLeft, 17);
    const qreal timeWidth = drawLine(painter, Face::Time, p.timeSpan, timeRect, Qt::AlignLeft);
    if (p.recurring) {
        const int x = kTextLeft + qRound(timeWidth) + 4;
        m_recurIcon.paint(painter, QRect(x, 6, 13, 13));
    }

    // Status on the right of the upper line.
    if (!p.status.isEmpty() && !stripOpen) {
        painter->setPen(kStatusColour);
        drawLine(painter, Face::Status, p.status, QRect(190, 4, 70, 17), Qt::AlignRight);
    }

    // Lower line: the title, one line cut at the end.
    painter->setPen(kTitleColour);
    const QRect titleRect(kTextLeft, 19, qMin(259, textEnd) - kTextLeft, 26);
    drawLine(painter, Face::Title, p.title, titleRect, Qt::AlignLeft);
    painter->restore();

    painter->fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), kSeparator);
}
