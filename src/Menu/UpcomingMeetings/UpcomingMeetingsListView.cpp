#include "UpcomingMeetingsListView.h"

#include "EditOptionsView.h"
#include "UpcomingMeetingsItemDelegate.h"
#include "UpcomingMeetingsListModel.h"

#include <QCoreApplication>
#include <QCursor>
#include <QHoverEvent>
#include <QMouseEvent>
#include <QScrollBar>

UpcomingMeetingsListView::UpcomingMeetingsListView(QWidget* parent)
    : QListView(parent)
    , m_model(new UpcomingMeetingsListModel(this))
    , m_delegate(new UpcomingMeetingsItemDelegate(this)) {
    setObjectName(QStringLiteral("unifiedTableView"));
    setModel(m_model);
    setItemDelegate(m_delegate);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(20);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(QStringLiteral(
        "QListView { background: transparent; }"
        "QScrollBar:vertical { width: 8px; background: transparent; margin: 2px 1px; }"
        "QScrollBar::handle:vertical { background: rgba(0,0,0,60); border-radius: 3px;"
        " min-height: 24px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));
    // Every reload discards an open strip, also one that keeps the rows.
    connect(m_model, &UpcomingMeetingsListModel::aboutToReload, this,
            &UpcomingMeetingsListView::closeOptionsStrip);
    connect(m_model, &QAbstractItemModel::modelReset, this,
            &UpcomingMeetingsListView::rehoverUnderPointer);
}

// A reset forgets the hovered row; a refresh under a resting pointer should not un-highlight it.
void UpcomingMeetingsListView::rehoverUnderPointer() {
    const QPoint at = viewport()->mapFromGlobal(QCursor::pos());
    if (!viewport()->rect().contains(at))
        return;
    QHoverEvent hover(QEvent::HoverMove, at, viewport()->mapToGlobal(at), at);
    QCoreApplication::sendEvent(viewport(), &hover);
}

QRect UpcomingMeetingsListView::stripRect(int row) const {
    // Flush with the row's right edge: no band of the row shows beside the strip.
    const QRect rowRect = visualRect(m_model->index(row));
    const bool draft = m_editOptions && m_editOptions->isDraft();
    const int width = EditOptionsView::stripWidth(draft);
    return {rowRect.right() + 1 - width, rowRect.top(), width, EditOptionsView::kHeight};
}

void UpcomingMeetingsListView::toggleOptionsStrip(int row) {
    const MeetingRecord* record = m_model->record(row);
    if (!record)
        return;
    if (m_model->stripRow() == row) {
        closeOptionsStrip();
        return;
    }
    closeOptionsStrip();
    m_editOptions = new EditOptionsView(record->toVariantMap(), viewport());
    m_model->setStripRow(row);
    placeStrip();
    m_editOptions->show();
}

void UpcomingMeetingsListView::closeOptionsStrip() {
    if (m_editOptions)
        m_editOptions->deleteLater();
    m_editOptions = nullptr;
    m_model->setStripRow(-1);
}

void UpcomingMeetingsListView::placeStrip() {
    if (m_editOptions && m_model->stripRow() >= 0)
        m_editOptions->setGeometry(stripRect(m_model->stripRow()));
}

void UpcomingMeetingsListView::mousePressEvent(QMouseEvent* event) {
    QListView::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
        Q_EMIT rowPressed(index.row());
}

void UpcomingMeetingsListView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is a press like any other (show, then hide).
    mousePressEvent(event);
}

void UpcomingMeetingsListView::scrollContentsBy(int dx, int dy) {
    QListView::scrollContentsBy(dx, dy);
    placeStrip();
}

void UpcomingMeetingsListView::updateGeometries() {
    QListView::updateGeometries();
    placeStrip();
}
