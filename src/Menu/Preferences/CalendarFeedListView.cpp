#include "CalendarFeedListView.h"

#include "Menu/MenuStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

CalendarFeedListView::CalendarFeedListView(CalendarFeeds& feeds, QWidget* parent)
    : QWidget(parent)
    , m_feeds(feeds) {
    setObjectName(QStringLiteral("calendarFeeds"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 10, 6, 6);
    layout->setSpacing(6);
    auto* hint = new QLabel(tr("With \"Calendar feeds\" as the default calendar, meetings of these "
                               "iCalendar feeds are listed (https or webcal address, or an .ics "
                               "file)."),
                            this);
    hint->setWordWrap(true);
    hint->setStyleSheet(MenuStyle::fieldCaption());
    layout->addWidget(hint);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("calendarFeedList"));
    m_list->setWordWrap(true);
    m_list->setTextElideMode(Qt::ElideMiddle);
    m_list->setStyleSheet(QStringLiteral("QListWidget { font-size: 12px; color: #1d2330; }"
                                         "QListWidget::item { padding: 4px 2px; }"));
    layout->addWidget(m_list, 1);

    auto* row = new QHBoxLayout;
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("calendarFeedAddress"));
    m_address->setPlaceholderText(tr("webcal://… or /path/to/calendar.ics"));
    m_add = MenuStyle::button(tr("Add"), QStringLiteral("addCalendarFeed"),
                              MenuStyle::secondaryButton(), this);
    m_remove = MenuStyle::button(tr("Remove"), QStringLiteral("removeCalendarFeed"),
                                 MenuStyle::secondaryButton(), this);
    row->addWidget(m_address, 1);
    row->addWidget(m_add);
    row->addWidget(m_remove);
    layout->addLayout(row);
    m_error = MenuStyle::errorLine(QStringLiteral("calendarFeedError"), this);
    layout->addWidget(m_error);

    connect(m_add, &QPushButton::clicked, this, &CalendarFeedListView::add);
    connect(m_address, &QLineEdit::returnPressed, this, &CalendarFeedListView::add);
    connect(m_remove, &QPushButton::clicked, this, &CalendarFeedListView::removeSelected);
    connect(m_list, &QListWidget::currentRowChanged, this,
            [this](int row) { m_remove->setEnabled(row >= 0); });
    connect(&m_feeds, &CalendarFeeds::statusChanged, this, &CalendarFeedListView::showFeeds);
    showFeeds();
}

QString CalendarFeedListView::statusText(const CalendarFeeds::Status& status,
                                         const QDateTime& now) {
    QString line;
    if (status.reading) {
        line = tr("Reading…");
    } else if (!status.lastRead.isValid()) {
        line = tr("Never read");
    } else {
        const QDateTime at = status.lastRead.toLocalTime();
        const QString time = QLocale().toString(at.time(), QLocale::ShortFormat);
        line = at.date() == now.toLocalTime().date()
                   ? tr("Read today at %1").arg(time)
                   : tr("Read %1 at %2")
                         .arg(QLocale().toString(at.date(), QLocale::ShortFormat), time);
    }
    if (!status.error.isEmpty())
        line += u'\n' + status.error;
    return line;
}

void CalendarFeedListView::showFeeds() {
    const QString selected =
        m_list->currentItem() ? m_list->currentItem()->data(Qt::UserRole).toString() : QString();
    m_list->clear();
    const QDateTime now = QDateTime::currentDateTime();
    for (const CalendarFeeds::Status& status : m_feeds.statuses()) {
        // Items show plain text: an address or an error is never taken as markup.
        auto* item = new QListWidgetItem(status.address + u'\n' + statusText(status, now), m_list);
        item->setData(Qt::UserRole, status.address);
        item->setToolTip(QStringLiteral("<p>%1</p>").arg(status.address.toHtmlEscaped()));
        if (!status.error.isEmpty())
            item->setForeground(QColor(0xb3, 0x26, 0x1e));
        if (status.address == selected)
            m_list->setCurrentItem(item);
    }
    m_remove->setEnabled(m_list->currentRow() >= 0);
}

void CalendarFeedListView::add() {
    const QString error = m_feeds.addFeed(m_address->text());
    m_error->setText(error);
    m_error->setVisible(!error.isEmpty());
    if (error.isEmpty())
        m_address->clear();
}

void CalendarFeedListView::removeSelected() {
    if (QListWidgetItem* item = m_list->currentItem())
        m_feeds.removeFeed(item->data(Qt::UserRole).toString());
}
