#include "MenuSession.h"

#include "Menu/UpcomingMeetings/UpcomingMeetingsListModel.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListView.h"
#include "Models/TamberDataModel.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QScreen>
#include <QTest>
#include <QWidget>

bool MenuSession::start() {
    return m_session.start();
}

void MenuSession::begin(const QString& draftTitle, int daysAhead, const QTime& at) {
    m_session.sim().loadDefaultFixture();
    m_session.signIn();
    TamberDataModel* record = TamberDataModel::sharedData();
    record->firstName = QStringLiteral("Ada");
    record->lastName = QStringLiteral("Lovelace");
    record->email = QStringLiteral("ada@example.com");
    record->numericId = QStringLiteral("7305551001");
    record->moderatorPasscode = QStringLiteral("2468");
    record->calendar = QStringLiteral("velora_calendar");
    const qint64 start = QDateTime(QDate::currentDate().addDays(daysAhead), at).toMSecsSinceEpoch();
    const QString guid = QStringLiteral("draft-1");
    record->meetingDrafts = {
        {guid, QVariantMap{{QStringLiteral("title"), draftTitle},
                           {QStringLiteral("meetingDraftGuid"), guid},
                           {QStringLiteral("start"), QString::number(start)},
                           {QStringLiteral("end"), QString::number(start + 3600 * 1000)}}}};
    m_browser = std::make_unique<RecordingUrlOpener>();
}

void MenuSession::end() {
    m_browser.reset();
}

QList<QJsonObject> MenuSession::eventsNamed(const QString& event) const {
    QList<QJsonObject> found;
    for (const QJsonValue& envelope : m_session.sim().statsEvents()) {
        if (envelope[QStringLiteral("event")].toString() == event)
            found << envelope[QStringLiteral("data")].toObject();
    }
    return found;
}

QList<QJsonObject> MenuSession::awaitEvents(const QString& event, qsizetype before,
                                            qsizetype count) {
    // The caller compares what arrived; a timeout shows there as too few events.
    (void)QTest::qWaitFor([&] { return eventsNamed(event).size() >= before + count; }, 15000);
    return eventsNamed(event).mid(before);
}

void MenuSession::snapshot(QWidget* widget, const QString& name) {
    const QString dir = qEnvironmentVariable("TAMBER_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QCoreApplication::processEvents();
    widget->grab().save(QStringLiteral("%1/%2.png").arg(dir, name));
}

void MenuSession::snapshotScreen(const QList<QWidget*>& windows, const QString& name) {
    const QString dir = qEnvironmentVariable("TAMBER_SCREENSHOT_DIR");
    if (dir.isEmpty() || windows.isEmpty())
        return;
    QTest::qWait(40); // the windows settle as they would before the next frame
    QRect area;
    for (QWidget* window : windows)
        area = area.united(window->frameGeometry());
    windows.first()
        ->screen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .save(QStringLiteral("%1/%2.png").arg(dir, name));
}

int MenuSession::rowOf(const UpcomingMeetingsListView* list, const QString& title) {
    const UpcomingMeetingsListModel* rows = list ? list->meetingsModel() : nullptr;
    for (int row = 0; rows && row < rows->rowCount(); ++row) {
        const MeetingRecord* r = rows->record(row);
        if (r && r->value(QStringLiteral("title")).toString() == title)
            return row;
    }
    return -1;
}

void MenuSession::pressRow(UpcomingMeetingsListView* list, int row) {
    const QModelIndex index = list->meetingsModel()->index(row);
    list->scrollTo(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(40, list->visualRect(index).center().y()));
}
