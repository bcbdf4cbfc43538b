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
    const QFontMetrics metrics = painter->fontMetrics();
    const int baseline = rect.bottom() - kHeaderBottomGap - metrics.descent();
    painter->drawText(QPoint(rect.left() + kTextLeft, baseline),
                      metrics.elidedText(text, Qt::ElideRight, rect.width() - 2 * kTextLeft));
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
    painter->setFont(m_timeFont);
    painter->setPen(kTimeColour);
    const QRect timeRect(kTextLeft, 4, qMin(250, textEnd) - kTextLeft, 17);
    const QString time =
        painter->fontMetrics().elidedText(p.timeSpan, Qt::ElideRight, timeRect.width());
    painter->drawText(timeRect, Qt::AlignLeft | Qt::AlignVCenter, time);
    if (p.recurring) {
        const int x = kTextLeft + painter->fontMetrics().horizontalAdvance(time) + 4;
        m_recurIcon.paint(painter, QRect(x, 6, 13, 13));
    }

    // Status on the right of the upper line.
    if (!p.status.isEmpty() && !stripOpen) {
        painter->setFont(m_statusFont);
        painter->setPen(kStatusColour);
        painter->drawText(QRect(190, 4, 70, 17), Qt::AlignRight | Qt::AlignVCenter, p.status);
    }

    // Lower line: the title, one line cut at the end.
    painter->setFont(m_titleFont);
    painter->setPen(kTitleColour);
    const QRect titleRect(kTextLeft, 19, qMin(259, textEnd) - kTextLeft, 26);
    painter->drawText(
        titleRect, Qt::AlignLeft | Qt::AlignVCenter,
        painter->fontMetrics().elidedText(p.title, Qt::ElideRight, titleRect.width()));
    painter->restore();

    painter->fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), kSeparator);
}
