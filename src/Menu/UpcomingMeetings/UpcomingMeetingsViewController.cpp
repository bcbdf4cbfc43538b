#include "UpcomingMeetingsViewController.h"

#include "AbstractTamberWindowController/ObjectDescription.h"
#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "Analytics/AnalyticsController.h"
#include "Calendars/CalendarStore.h"
#include "Logging/Log.h"
#include "MeetingRowPresentation.h"
#include "Menu/MenuStyle.h"
#include "Models/TamberDataModel.h"
#include "Platform/NotificationCenter.h"
#include "Platform/UrlOpener.h"
#include "UpcomingMeetingsListModel.h"
#include "UpcomingMeetingsListView.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString kOutlookBundleId = QStringLiteral("com.microsoft.Outlook");

QString calendarChoice() {
    return TamberDataModel::sharedData()->calendar.toString();
}

QToolButton* cautionButton(const QString& name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(MenuStyle::image(QStringLiteral("cautionIcon")));
    button->setIconSize(QSize(18, 18));
    button->setAutoRaise(true);
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    button->hide();
    return button;
}

} // namespace

UpcomingMeetingsViewController::UpcomingMeetingsViewController(QWidget* parent)
    : QWidget(parent)
    , m_fetcher(new UpcomingMeetingsFetcher(this))
    , m_clock([] { return QDateTime::currentDateTimeUtc(); }) {
    setObjectName(QStringLiteral("upcomingMeetingsViewController"));
    buildView();

    connect(m_fetcher, &UpcomingMeetingsFetcher::fetchStarted, this,
            &UpcomingMeetingsViewController::fetchStarted);
    connect(m_fetcher, &UpcomingMeetingsFetcher::meetingsReady, this,
            &UpcomingMeetingsViewController::showMeetings);
    connect(m_fetcher, &UpcomingMeetingsFetcher::fetchFailed, this,
            &UpcomingMeetingsViewController::showFailure);
    connect(m_unifiedTableView, &UpcomingMeetingsListView::rowPressed, this,
            &UpcomingMeetingsViewController::rowPressed);

    CalendarStore* store = &calendarStore();
    connect(store, &CalendarStore::outlookReadStarted, this, [this] {
        m_launchingOutlookWarning->show();
        m_launchingOutlookWarning->repaint();
    });
    connect(store, &CalendarStore::outlookReadFinished, m_launchingOutlookWarning, &QWidget::hide);
    connect(store, &CalendarStore::scriptStarted, this, [this] {
        m_scheduleCautionButton->hide();
        m_unifiedProgressIndicator->show();
        m_unifiedProgressIndicator->startAnimation();
    });
    connect(store, &CalendarStore::scriptFinished, this, [this](bool succeeded) {
        m_unifiedProgressIndicator->stopAnimation();
        m_unifiedProgressIndicator->hide();
        if (!succeeded)
            m_scheduleCautionButton->show();
    });

    NotificationCenter::defaultCenter().addObserver(
        this, QStringLiteral("REFRESH_UPCOMING_MEETINGS"), [this](const QVariant&) {
            // Hidden (the menu closed, another tab shown), the page fetches when shown again.
            if (isVisible())
                m_fetcher->refreshUpcomingMeetings();
        });

    if (calendarChoice() == QLatin1String("outlook_calendar"))
        checkOutlookPresence();
}

UpcomingMeetingsViewController::~UpcomingMeetingsViewController() {
    NotificationCenter::defaultCenter().removeObserver(this);
    TLOG_VERBOSE(QStringLiteral("******** DEALLOC: %1").arg(objectDescription(this)));
}

CalendarStore& UpcomingMeetingsViewController::calendarStore() const {
    return m_fetcher->calendarStore();
}

void UpcomingMeetingsViewController::setClock(Clock clock) {
    m_clock = std::move(clock);
}

void UpcomingMeetingsViewController::buildView() {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xf3, 0xf4, 0xf7));
    setPalette(pal);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(8, 0, 8, 8);
    page->setSpacing(6);

    // The list area: the list or the empty state in one place, and under them the failure
    // notice, which takes the whole area when there is no list to keep.
    auto* listArea = new QWidget(this);
    auto* areaLayout = new QVBoxLayout(listArea);
    areaLayout->setContentsMargins(0, 0, 0, 0);
    areaLayout->setSpacing(0);
    m_listStack = new QWidget(listArea);
    auto* stack = new QGridLayout(m_listStack);
    stack->setContentsMargins(0, 0, 0, 0);
    m_unifiedTableView = new UpcomingMeetingsListView(m_listStack);
    stack->addWidget(m_unifiedTableView, 0, 0);
    stack->addWidget(buildEmptyState(m_listStack), 0, 0);
    areaLayout->addWidget(m_listStack, 1);
    areaLayout->addWidget(buildFailureNotice(listArea));
    page->addWidget(listArea, 1);

    m_launchingOutlookWarning = new QLabel(tr("Launching Microsoft Outlook…"), this);
    m_launchingOutlookWarning->setObjectName(QStringLiteral("launchingOutlookWarning"));
    m_launchingOutlookWarning->setStyleSheet(MenuStyle::fieldCaption());
    m_launchingOutlookWarning->setAlignment(Qt::AlignCenter);
    m_launchingOutlookWarning->hide();
    page->addWidget(m_launchingOutlookWarning);
    page->addWidget(buildBottomBar());
}

QWidget* UpcomingMeetingsViewController::buildEmptyState(QWidget* parent) {
    m_emptyState = new QWidget(parent);
    m_emptyState->setObjectName(QStringLiteral("emptyState"));
    auto* column = new QVBoxLayout(m_emptyState);
    column->addStretch(1);
    m_noMeetingsScheduled = new QLabel(tr("No upcoming meetings"), m_emptyState);
    m_noMeetingsScheduled->setObjectName(QStringLiteral("noMeetingsScheduled"));
    m_noMeetingsScheduled->setAlignment(Qt::AlignCenter);
    m_noMeetingsScheduled->setStyleSheet(QStringLiteral("color: #5f6670; font-size: 14px;"));
    column->addWidget(m_noMeetingsScheduled);
    column->addSpacing(12);
    m_emptyScheduleButton =
        MenuStyle::button(tr("Schedule Meeting"), QStringLiteral("emptyScheduleButton"),
                          MenuStyle::primaryButton(), m_emptyState);
    column->addWidget(m_emptyScheduleButton, 0, Qt::AlignHCenter);
    column->addStretch(1);
    connect(m_emptyScheduleButton, &QPushButton::clicked, this,
            &UpcomingMeetingsViewController::showScheduleMeetingButtonAction);
    m_emptyState->hide();
    return m_emptyState;
}

QWidget* UpcomingMeetingsViewController::buildFailureNotice(QWidget* parent) {
    m_failureNotice = new QWidget(parent);
    m_failureNotice->setObjectName(QStringLiteral("fetchFailureNotice"));
    auto* column = new QVBoxLayout(m_failureNotice);
    column->setContentsMargins(12, 8, 12, 8);
    column->setSpacing(8);
    column->addStretch(1);
    m_failureMessage = new QLabel(m_failureNotice);
    m_failureMessage->setObjectName(QStringLiteral("fetchFailureMessage"));
    m_failureMessage->setAlignment(Qt::AlignCenter);
    m_failureMessage->setWordWrap(true);
    m_failureMessage->setStyleSheet(QStringLiteral("color: #8a1c12; font-size: 13px;"));
    column->addWidget(m_failureMessage);
    m_retryFetchButton = MenuStyle::button(tr("Try again"), QStringLiteral("retryFetchButton"),
                                           MenuStyle::secondaryButton(), m_failureNotice);
    column->addWidget(m_retryFetchButton, 0, Qt::AlignHCenter);
    column->addStretch(1);
    connect(m_retryFetchButton, &QPushButton::clicked, this, [this] { fetchUpcomingMeetings(); });
    m_failureNotice->hide();
    return m_failureNotice;
}

QWidget* UpcomingMeetingsViewController::buildBottomBar() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 0, 4, 0);
    row->setSpacing(6);
    m_fetchMeetingProgressIndicator = new ProgressIndicator(bar);
    m_fetchMeetingProgressIndicator->setObjectName(QStringLiteral("fetchMeetingProgressIndicator"));
    m_fetchMeetingProgressIndicator->hide();
    m_cautionMessage = cautionButton(QStringLiteral("cautionMessage"), bar);
    m_scheduleCautionButton = cautionButton(QStringLiteral("scheduleCautionButton"), bar);
    m_unifiedProgressIndicator = new ProgressIndicator(bar);
    m_unifiedProgressIndicator->setObjectName(QStringLiteral("unifiedProgressIndicator"));
    m_unifiedProgressIndicator->hide();
    m_scheduleMeetingButton =
        MenuStyle::button(tr("Schedule Meeting"), QStringLiteral("scheduleMeetingButton"),
                          MenuStyle::primaryButton(), bar);
    row->addWidget(m_fetchMeetingProgressIndicator);
    row->addWidget(m_cautionMessage);
    row->addStretch(1);
    row->addWidget(m_scheduleCautionButton);
    row->addWidget(m_unifiedProgressIndicator);
    row->addWidget(m_scheduleMeetingButton);
    connect(m_scheduleMeetingButton, &QPushButton::clicked, this,
            &UpcomingMeetingsViewController::showScheduleMeetingButtonAction);
    return bar;
}

void UpcomingMeetingsViewController::fetchUpcomingMeetings(
    UpcomingMeetingsFetcher::SuccessCallback onSuccess,
    UpcomingMeetingsFetcher::ErrorCallback onError) {
    m_fetcher->fetchUpcomingMeetings(std::move(onSuccess), std::move(onError));
}

void UpcomingMeetingsViewController::fetchStarted() {
    m_fetchMeetingProgressIndicator->show();
    m_fetchMeetingProgressIndicator->startAnimation();
    m_launchingOutlookWarning->hide();
    m_cautionMessage->hide();
    m_failureNotice->hide();
    m_listStack->show();
    if (const std::optional<QString> title =
            UpcomingMeetingsFetcher::scheduleButtonTitle(TamberDataModel::sharedData()->calendar)) {
        m_scheduleMeetingButton->setText(*title);
        m_emptyScheduleButton->setText(*title);
    }
}

void UpcomingMeetingsViewController::showMeetings(const QList<DayBucket>& days) {
    m_fetchMeetingProgressIndicator->stopAnimation();
    m_fetchMeetingProgressIndicator->hide();
    m_unifiedTableView->meetingsModel()->setDays(days, m_clock().toMSecsSinceEpoch());
    const bool empty = days.isEmpty();
    m_failureNotice->hide();
    m_listStack->show();
    m_emptyState->setVisible(empty);
    m_unifiedTableView->setVisible(!empty);
    // The empty state carries its own Schedule button; one is enough on the page.
    m_scheduleMeetingButton->setVisible(!empty);
    // A fetch that got through shows the service is reachable again.
    m_scheduleMeetingButton->setEnabled(true);
}

void UpcomingMeetingsViewController::showFailure(const QString& description, bool connectivity,
                                                 const QString& message) {
    if (connectivity)
        m_scheduleMeetingButton->setEnabled(false);
    m_fetchMeetingProgressIndicator->stopAnimation();
    m_fetchMeetingProgressIndicator->hide();
    m_cautionMessage->setToolTip(description);
    m_cautionMessage->show();
    // The reason in plain words under the list that is kept; alone when there is none.
    m_failureMessage->setText(message);
    m_emptyState->hide();
    m_scheduleMeetingButton->show();
    m_listStack->setVisible(m_unifiedTableView->meetingsModel()->rowCount() > 0);
    m_failureNotice->show();
}

void UpcomingMeetingsViewController::rowPressed(int row) {
    const MeetingRecord* record = m_unifiedTableView->meetingsModel()->record(row);
    if (!record)
        return;
    switch (MeetingRowPresentation::clickAction(*record, m_clock().toMSecsSinceEpoch())) {
    case RowClick::ToggleStrip:
        m_unifiedTableView->toggleOptionsStrip(row);
        break;
    case RowClick::JoinNow:
        UrlOpener::open(MeetingRowPresentation::calendarJoinAddress(*record));
        break;
    case RowClick::None:
        break;
    }
    m_unifiedTableView->viewport()->update();
}

void UpcomingMeetingsViewController::showScheduleMeetingButtonAction() {
    AnalyticsController::sendSchedule(QStringLiteral("click"), std::nullopt);
    const QVariant calendar = TamberDataModel::sharedData()->calendar;
    const QString choice = calendar.toString();
    // Feeds are read-only: meetings for them are scheduled at the service.
    if (!TamberDataModel::isPresent(calendar) || choice == QLatin1String("velora_calendar") ||
        choice == QLatin1String("ics_calendar")) {
        NotificationCenter::defaultCenter().post(
            QStringLiteral("SCHEDULE_MEETING_POPOVERREQUESTED"));
    } else if (choice == QLatin1String("outlook_calendar")) {
        calendarStore().scheduleOutlookMeeting({}); // the store logs the failure
    } else if (choice == QLatin1String("apple_calendar")) {
        calendarStore().scheduleCalendarMeeting([this] {
            m_scheduleCautionButton->setToolTip(
                QStringLiteral("Please verify if Apple Calendar is configured and necessary "
                               "persmissions are provided to VeloraNetwork"));
        });
    }
}

void UpcomingMeetingsViewController::checkOutlookPresence() {
    const CalendarStore::AppLookup lookup = calendarStore().findApplication(kOutlookBundleId);
    switch (lookup.status) {
    case CalendarStore::AppLookup::Found:
        m_scheduleCautionButton->hide();
        TLOG_INFO(QStringLiteral("Found my app@: %1").arg(lookup.location));
        break;
    case CalendarStore::AppLookup::NotFound:
        m_scheduleCautionButton->setToolTip(
            QStringLiteral("Microsoft Outlook doesn't seem to be installed"));
        m_scheduleCautionButton->show();
        TLOG_INFO(QStringLiteral("App not found"));
        break;
    case CalendarStore::AppLookup::Failed:
        m_scheduleCautionButton->setToolTip(
            QStringLiteral("There was an error connecting to Microsoft Outlook"));
        m_scheduleCautionButton->show();
        TLOG_INFO(QStringLiteral("an error occurred: %1").arg(lookup.code));
        break;
    }
}
