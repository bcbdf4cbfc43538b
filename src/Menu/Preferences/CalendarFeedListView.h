#pragma once

#include "Calendars/CalendarFeeds.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The subscribed calendar feeds in the preferences: each address with when it was last read
// and what went wrong, an address field with Add, and Remove for the selected feed.
class CalendarFeedListView : public QWidget {
    Q_OBJECT
public:
    explicit CalendarFeedListView(CalendarFeeds& feeds, QWidget* parent = nullptr);

    // "Read today at 9:41 AM", "Never read", "Reading…", then the last error on its own line.
    static QString statusText(const CalendarFeeds::Status& status, const QDateTime& now);

private:
    void showFeeds();
    void add();
    void removeSelected();

    CalendarFeeds& m_feeds;
    QListWidget* m_list = nullptr;
    QLineEdit* m_address = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QLabel* m_error = nullptr;
};
