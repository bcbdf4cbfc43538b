#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "AbstractTamberWindowController/TamberMenuView.h"
#include "GuiSuite.h"
#include "Logging/Logging.h"
#include "Menu/MenuViewController.h"
#include "Menu/Preferences/PreferencesView.h"
#include "Menu/Preferences/PreferencesViewController.h"
#include "Menu/Preferences/ProfilePicture.h"
#include "Models/LogUploader.h"
#include "Models/ServerTrust.h"
#include "Platform/BundleInfo.h"
#include "Platform/FeedUpdater.h"
#include "SimAssets.h"

#include <QBuffer>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QJsonDocument>
#include <QLineEdit>
#include <QListWidget>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QToolButton>

using namespace Qt::StringLiterals;
using EP = VeloraSimulator::Endpoint;

// The preferences page of the menu against the simulator: room defaults, refresh, calendar,
// picture, log upload, feedback, support and the update check.
class tst_Preferences : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_session.start());
        Logging::start();
        QCoreApplication::setApplicationVersion(u"1.0.0"_s);
    }

    void init() {
        m_session.begin(u"Draft"_s, 1, QTime(10, 0));
        TamberDataModel::sharedData()->profilePicture = u"default"_s;
        m_menu = std::make_unique<MenuViewController>();
        QVERIFY(GuiSuite::showAndExpose(m_menu.get()));
        m_menu->menuView()->updateActualRectInSuperViewIfRequired();
    }

    void cleanup() {
        m_menu.reset();
        m_session.end();
        Updater::setSharedForTesting(nullptr);
        for (const QString& file : std::exchange(m_files, {}))
            QFile::remove(file);
    }

    void centredSquare_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("square");
        QTest::newRow("wide") << QSize(180, 120) << QRect(30, 0, 120, 120);
        QTest::newRow("odd difference rounds down") << QSize(121, 120) << QRect(0, 0, 120, 120);
        QTest::newRow("tall") << QSize(5, 8) << QRect(0, 1, 5, 5);
        QTest::newRow("one by 5000") << QSize(1, 5000) << QRect(0, 2499, 1, 1);
        QTest::newRow("square") << QSize(64, 64) << QRect(0, 0, 64, 64);
    }

    void centredSquare() {
        QFETCH(QSize, size);
        QFETCH(QRect, square);
        QCOMPARE(ProfilePicture::centredSquare(size), square);
    }

    void roomDefaultsShownAndSent_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("shownColumn"); // -1: no cell selected
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("sent");
        QTest::newRow("encrypted only, unchanged") << "ENCRYPTED_ONLY" << 1 << ""
                                                   << "ENCRYPTED_ONLY";
        QTest::newRow("telephone allowed, unchanged") << "ENCRYPTED_OR_PSTN_ONLY" << 0 << ""
                                                      << "ENCRYPTED_OR_PSTN_ONLY";
        QTest::newRow("unknown type reads as encrypted only") << "SOMETHING" << 1 << ""
                                                              << "ENCRYPTED_ONLY";
        QTest::newRow("turned on selects telephone") << "NO_ENCRYPTION" << -1 << "toggle"
                                                     << "ENCRYPTED_OR_PSTN_ONLY";
        QTest::newRow("turned off") << "ENCRYPTED_ONLY" << 1 << "toggle"
                                    << "NO_ENCRYPTION";
        QTest::newRow("column 1 chosen") << "ENCRYPTED_OR_PSTN_ONLY" << 0 << "column1"
                                         << "ENCRYPTED_ONLY";
    }

    void roomDefaultsShownAndSent() {
        QFETCH(QString, stored);
        QFETCH(int, shownColumn);
        QFETCH(QString, action);
        QFETCH(QString, sent);
        QVERIFY(openPage());
        // Booleans as the service may send them: true, "1", 0, "false".
        nextRoomReply({{"encryptionType", stored},
                       {"publishMeeting", true},
                       {"videoBestFit", "1"},
                       {"isModeratorLess", 0},
                       {"disallowChat", "false"},
                       {"muteParticipantsOnEntry", false},
                       {"isLargeMeeting", 1},
                       {"showAllParticipantsInIcs", false}});
        selectTab(u"Settings"_s);
        PreferencesView* v = view();
        QTRY_VERIFY(v->updateRoomSettingsButton->isVisible());
        QVERIFY(!v->fetchRoomSettingsIndicator->isVisible() &&
                !v->errorInRoomSettings->isVisible());
        QCOMPARE(v->publishMeeting->isChecked(), true);
        QCOMPARE(v->cropVideo->isChecked(), true);
        QCOMPARE(v->moderatorLessMeeting->isChecked(), false);
        QCOMPARE(v->silentParticipationEntryMode->isChecked(), true);
        QCOMPARE(v->encryptMeeting->isChecked(), stored != "NO_ENCRYPTION");
        QCOMPARE(v->allowTelephone->checkedId(), shownColumn);
        QCOMPARE(v->allowTelephone->button(0)->isEnabled(), v->encryptMeeting->isChecked());
        if (stored == "ENCRYPTED_ONLY" && action.isEmpty())
            snapshot(u"preferences-settings"_s);

        if (action == "toggle")
            click(v->encryptMeeting);
        else if (action == "column1")
            click(v->allowTelephone->button(1));
        click(v->showParticipantNames);
        const qsizetype before = m_session.settledEventCount(u"udpate_settings"_s);
        click(v->updateRoomSettingsButton);
        QVERIFY(!v->updateRoomSettingsButton->isEnabled());
        QTRY_VERIFY(v->updateRoomSettingsButton->isEnabled());
        const QJsonObject body = m_session.sim().lastRequest(EP::RoomUpdate).jsonBody();
        QCOMPARE(body["encryptionType"].toString(), sent);
        QCOMPARE(body["publishMeeting"], QJsonValue(true));
        QCOMPARE(body["disallowChat"], QJsonValue(false));
        QCOMPARE(body["showAllParticipantsInIcs"], QJsonValue(true));
        QCOMPARE(body["isLargeMeeting"], QJsonValue(true));
        const auto events = m_session.awaitEvents(u"udpate_settings"_s, before, 2);
        QCOMPARE(events.size(), 2);
        QCOMPARE(events[1]["modifieddata"].toObject()["encryptionType"].toString(), sent);
    }

    void roomSettingsFailuresKeepTheControls() {
        QVERIFY(openPage());
        TamberDataModel::sharedData()->encryptionType = u"ENCRYPTED_OR_PSTN_ONLY"_s;
        m_session.sim().injectFault(
            EP::Room,
            Fault::httpError(503, {{"errorCode", "BUSY"}, {"message", "Rooms are being moved"}}));
        selectTab(u"Settings"_s);
        PreferencesView* v = view();
        QTRY_VERIFY(v->errorInRoomSettings->isVisible());
        QCOMPARE(v->errorInRoomSettings->toolTip(), u"Rooms are being moved"_s);
        QVERIFY(v->updateRoomSettingsButton->isVisible());
        QVERIFY(!v->fetchRoomSettingsIndicator->isVisible());
        // The stored telephone choice is shown again after the failed fetch.
        QCOMPARE(v->allowTelephone->checkedId(), 0);
        snapshot(u"preferences-settings-fetch-error"_s);

        // A refused update says why, next to the button, and leaves the user's choice alone.
        m_session.sim().injectFault(
            EP::RoomUpdate, Fault::httpError(400, {{"errorCode", "LOCKED"},
                                                   {"message", "Room defaults are locked"}}));
        click(v->muteParticipantsOnEntry);
        const bool chosen = v->muteParticipantsOnEntry->isChecked();
        click(v->updateRoomSettingsButton);
        QTRY_VERIFY(v->roomSettingsMessage->isVisible());
        QCOMPARE(v->roomSettingsMessage->text(), u"Room defaults are locked"_s);
        QVERIFY(v->updateRoomSettingsButton->isEnabled());
        QCOMPARE(v->muteParticipantsOnEntry->isChecked(), chosen);
        const auto updates = m_session.awaitEvents(u"udpate_settings"_s, 0, 2);
        QCOMPARE(updates.value(1)["status"].toString(), u"error"_s);

        // Releasing the page while an update and an upload are on their way: the upload ends, the
        // late reply touches nothing.
        m_session.sim().injectFault(EP::RoomUpdate, Fault::delay(300));
        m_session.sim().injectFault(EP::LogUpload, Fault::delay(2000));
        click(v->updateRoomSettingsButton);
        selectTab(u"Support"_s);
        click(v->uploadLogData);
        QPointer<QObject> upload = PreferencesViewController::runningUpload();
        QVERIFY(upload);
        m_menu->updateUpcomingMeetings();
        QTRY_VERIFY(!m_menu->preferencesViewController());
        QVERIFY(upload.isNull() && !PreferencesViewController::runningUpload());
        QTRY_COMPARE(m_session.sim().requestCount(EP::RoomUpdate), 2);
        QTest::qWait(400);
    }

    void refreshAndCalendar() {
        PreferencesViewController* page = openPage();
        QVERIFY(page);
        PreferencesView* v = view();
        QCOMPARE(v->name->text(), u"Ada Lovelace"_s);
        QCOMPARE(v->meetingID->text(), u"7305551001"_s);
        QCOMPARE(v->appVersion->text(), u"1.0.0"_s);

        // Refresh reads the service's profile.
        TamberDataModel::sharedData()->firstName = u"Old"_s;
        page->updateProfileDetails();
        click(v->refreshSettingsButton);
        QVERIFY(!v->refreshSettingsButton->isEnabled());
        QTRY_VERIFY(v->refreshSettingsButton->isEnabled());
        const QJsonObject user =
            m_session.sim().account(VeloraSimulator::PasswordUser)["user"].toObject();
        QCOMPARE(v->name->text(), user["firstName"].toString() + " " + user["lastName"].toString());
        QVERIFY(!v->refreshMessage->isVisible());

        // A failed refresh says so and keeps the stored profile.
        m_session.sim().injectFault(
            EP::User, Fault::httpError(500, {{"message", "Profile service is down"}}));
        click(v->refreshSettingsButton);
        QTRY_VERIFY(v->refreshMessage->isVisible());
        QCOMPARE(v->refreshMessage->text(), u"Profile service is down"_s);
        QVERIFY(v->refreshSettingsButton->isEnabled());
        // The profile fill after the refresh fetches the picture again, under the same spinner.
        QTRY_VERIFY(!v->refreshAggregatedUserSettingsIndicator->isAnimating());
        QCOMPARE(v->name->text(), user["firstName"].toString() + " " + user["lastName"].toString());
        const auto refreshes = m_session.awaitEvents(u"refresh_settings"_s, 0, 4);
        QCOMPARE(refreshes.last()["status"].toString(), u"error"_s);

        // The stored calendar is shown; a change is saved at once. Here only the service calendar
        // and feeds are offered; a Mac's value shows the first item and stays stored.
        QCOMPARE(v->calender->count(), 2);
        TamberDataModel::sharedData()->calendar = u"ics_calendar"_s;
        page->updateProfileDetails();
        QCOMPARE(v->calender->currentData().toInt(), 4);
        TamberDataModel::sharedData()->calendar = u"apple_calendar"_s;
        page->updateProfileDetails();
        QCOMPARE(v->calender->currentData().toInt(), 1);
        QCOMPARE(TamberDataModel::sharedData()->calendar.toString(), u"apple_calendar"_s);
        v->calender->setCurrentIndex(v->calender->findData(4));
        emit v->calender->activated(v->calender->currentIndex());
        TamberDataModel::sharedData()->calendar = QVariant();
        TamberDataModel::loadDataFromBundle();
        QCOMPARE(TamberDataModel::sharedData()->calendar.toString(), u"ics_calendar"_s);
        const auto changes = m_session.awaitEvents(u"change_calendar"_s, 0);
        QCOMPARE(changes.value(0)["calendar"].toString(), u"ics_calendar"_s);
    }

    void picture_data() {
        QTest::addColumn<QByteArray>("body"); // empty: the simulator's own picture
        QTest::addColumn<bool>("shown");
        QTest::newRow("non-square picture") << QByteArray() << true;
        QImage thin(1, 5000, QImage::Format_RGB32);
        thin.fill(Qt::darkGreen);
        QByteArray png;
        {
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            thin.save(&buffer, "PNG");
        }
        QTest::newRow("1x5000") << png << true;
        QTest::newRow("not an image") << QByteArray("<html>nope</html>") << false;
        QTest::newRow("50 MB") << QByteArray(50 * 1024 * 1024, 'x') << false;
    }

    void picture() {
        QFETCH(QByteArray, body);
        QFETCH(bool, shown);
        if (!body.isEmpty())
            m_session.sim().injectFault(EP::ProfilePicture, Fault::replyWith(200, body));
        TamberDataModel::sharedData()->profilePicture = u"avatars/1001.png"_s;
        QVERIFY(openPage());
        PreferencesView* v = view();
        const QImage placeholder = v->profilePicture->pixmap().toImage();
        QVERIFY(v->refreshAggregatedUserSettingsIndicator->isAnimating());
        QTRY_VERIFY_WITH_TIMEOUT(!v->refreshAggregatedUserSettingsIndicator->isAnimating(), 20000);
        QCOMPARE(m_session.sim().lastRequest(EP::ProfilePicture).path,
                 u"/z1/webapp-assets/avatars/1001.png"_s);
        const QImage image = v->profilePicture->pixmap().toImage();
        QCOMPARE(image != placeholder, shown);
        if (!shown)
            return;
        if (body.isEmpty()) {
            QCOMPARE(v->profilePicture->property("pictureSource").toSize(),
                     QSize(SimAssets::kPictureHeight, SimAssets::kPictureHeight));
            // Round: the corners are clear; cropped: no orange band at the left edge of the circle.
            QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
            const QColor left = image.pixelColor(2, image.height() / 2);
            QVERIFY2(left.blue() > left.red(), qPrintable(left.name()));
            snapshot(u"preferences-profile"_s);
        }
    }

    void uploadFromPage_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("failed");
        QTest::newRow("accepted") << 200 << false;
        QTest::newRow("refused with 500") << 500 << true;
    }

    void uploadFromPage() {
        QFETCH(int, status);
        QFETCH(bool, failed);
        const QByteArray content = QByteArray("first line\n").repeated(1024 * 1024 / 11 + 1);
        QVERIFY(!writeLogFile(u" 2"_s, content).isEmpty());
        TamberDataModel::sharedData()->email = u"ada+logs@example.com"_s;
        if (status != 200)
            m_session.sim().injectFault(EP::LogUpload, Fault::httpErrorRaw(status, "no\n"));
        QVERIFY(openPage());
        selectTab(u"Support"_s);
        PreferencesView* v = view();
        ServerTrust::renewNetwork(); // a new connection, so a TLS handshake the upload answers
        click(v->uploadLogData);
        QVERIFY(!v->uploadLogData->isEnabled() && v->uploadLogIndicator->isAnimating());
        QTRY_VERIFY(v->uploadLogData->isEnabled());
        QVERIFY(!v->uploadLogIndicator->isAnimating() && v->uploadSuccessful->isVisible());
        QCOMPARE(v->uploadSuccessful->property("failed").toBool(), failed);

        const RecordedRequest put = m_session.sim().lastRequest(EP::LogUpload);
        QCOMPARE(put.method, QByteArray("PUT"));
        QCOMPARE(put.header("content-type"), QByteArray("application/octet-stream"));
        QCOMPARE(put.body, content);
        QCOMPARE(put.queryValue("type"), u"tamber"_s);
        QVERIFY(put.target.contains("filename=" + BundleInfo::bundleIdentifier().toUtf8() +
                                    "_2099-01-01_00-00%202.log&"));
        QVERIFY(put.target.endsWith("&email=ada%2Blogs%40example.com"));
        const qint64 sent = put.queryValue("timestamp").toLongLong();
        QVERIFY(qAbs(sent - QDateTime::currentSecsSinceEpoch()) < 60);
        const auto events = m_session.awaitEvents(u"submit_log"_s, 0, 3);
        QStringList statuses;
        for (const QJsonObject& e : events)
            statuses << e["status"].toString();
        QVERIFY2(statuses.contains("authentication_challenge"), qPrintable(statuses.join(',')));
        QCOMPARE(statuses.first(), u"init"_s);
        QCOMPARE(statuses.last(), failed ? u"error"_s : u"success"_s);
        if (failed) {
            QVERIFY(v->supportMessage->isVisible() && v->supportMessage->text().contains("500"));
        }
        snapshot(failed ? u"preferences-upload-failed"_s : u"preferences-upload-done"_s);
    }

    // The uploader with files the logger would not write itself: missing, or past the roll size
    // with a space in the name; and endpoints that fail in transit.
    void uploaderSendsAnyFileWithItsNameEncoded() {
        struct Case {
            const char* name;
            QString path;
            std::optional<Fault> fault;
            bool failed;
            QString reason;
        };
        const QByteArray big(1024 * 1024 + 300, 'L');
        const QString spaced = writeLogFile(u" 7"_s, big);
        TamberDataModel::sharedData()->email = QVariant();
        const QList<Case> cases{
            {"missing file", QString(), std::nullopt, true, u"No log file to upload yet"_s},
            {"roll size, space in name", spaced, std::nullopt, false, QString()},
            {"connection closed mid-body", spaced, Fault::closeMidBody(), true, QString()},
            {"refused connection", spaced, Fault::refuse(), true, QString()},
        };
        LogSpy log;
        for (const Case& c : cases) {
            m_session.sim().clearFaults();
            m_session.sim().clearRequests();
            if (c.fault)
                m_session.sim().injectFault(EP::LogUpload, *c.fault);
            LogUploader upload(c.path);
            QSignalSpy finished(&upload, &LogUploader::finished);
            upload.start();
            QVERIFY2(finished.isEmpty(), c.name); // never from within start()
            QVERIFY2(finished.wait(20000), c.name);
            QCOMPARE(finished.first().at(0).toBool(), c.failed);
            if (!c.reason.isEmpty())
                QCOMPARE(finished.first().at(1).toString(), c.reason);
            if (!c.failed) {
                const RecordedRequest put = m_session.sim().lastRequest(EP::LogUpload);
                QCOMPARE(put.body.size(), big.size());
                QCOMPARE(put.queryValue("filename"), QFileInfo(spaced).fileName());
                // Signed out: the key is there, its value empty.
                QVERIFY(put.target.endsWith("&email="));
            }
        }
        // The log names the file and its size; its content would copy the log into itself.
        QVERIFY(log.contains(Log::Debug, u"Content to be uploaded: %1 bytes"_s.arg(big.size())));
        for (const QString& line : log.messages(Log::Debug))
            QVERIFY(!line.contains(u"LLLLLLLL"_s));
    }

    void feedbackAndSupportAddresses() {
        QVERIFY(openPage());
        selectTab(u"Support"_s);
        PreferencesView* v = view();
        click(v->giveUsFeedback);
        click(v->contactSupport);
        const QList<QUrl> opened = m_session.browser().urls();
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[0].toString(QUrl::FullyEncoded),
                 "mailto:?to=" + QUrl::toPercentEncoding(BundleInfo::supportMailbox()) +
                     "&subject=" +
                     QUrl::toPercentEncoding(BundleInfo::appName() + " app feedback") + "&body=");
        QCOMPARE(opened[1], QUrl("https://" + BundleInfo::webHost() + "/support/contact"));
        QVERIFY(!v->supportMessage->isVisible());
        QCOMPARE(m_session.awaitEvents(u"provide_feedback"_s, 0).size(), 1);
        QCOMPARE(m_session.awaitEvents(u"contact_support"_s, 0).size(), 1);

        // A desktop without mail program or browser gets a line that says so.
        m_session.browser().setSucceeds(false);
        click(v->giveUsFeedback);
        QVERIFY(v->supportMessage->isVisible());
        QVERIFY(v->supportMessage->text().contains(BundleInfo::supportMailbox()));
        click(v->contactSupport);
        QVERIFY(v->supportMessage->text().contains("/support/contact"));
    }

    void updateAnswers_data() {
        QTest::addColumn<QString>("latest"); // empty: no feed configured
        QTest::addColumn<bool>("broken");
        QTest::addColumn<QString>("answer");
        QTest::newRow("newer") << "1.10.0" << false << "Tamber 1.10.0 is available";
        QTest::newRow("same") << "1.0" << false << "Tamber is up to date (version 1.0.0)";
        QTest::newRow("no feed") << "" << false
                                 << "Updates of Tamber come from your system's package manager.";
        QTest::newRow("broken feed")
            << "2.0.0" << true << "Could not check for updates: the update feed could not be read";
    }

    void updateAnswers() {
        QFETCH(QString, latest);
        QFETCH(bool, broken);
        QFETCH(QString, answer);
        const QString feed =
            latest.isEmpty() ? QString() : m_session.sim().baseUrl() + "/tamber/appcast.xml";
        FeedUpdater updater([feed] { return feed; }, [] { return u"1.0.0"_s; });
        Updater::setSharedForTesting(&updater);
        m_session.sim().setLatestRelease(latest);
        if (broken)
            m_session.sim().injectFault(EP::UpdateFeed, Fault::garbage());
        QVERIFY(openPage());
        PreferencesView* v = view();
        click(v->checkForUpdates);
        QTRY_VERIFY(v->checkForUpdates->isEnabled());
        QCOMPARE(v->updateMessage->text(), answer);
        QCOMPARE(v->downloadUpdate->isVisible(), answer.endsWith("available"));
        QCOMPARE(m_session.awaitEvents(u"check_for_updates"_s, 0).size(), 1);
        if (v->downloadUpdate->isVisible()) {
            snapshot(u"preferences-update-available"_s);
            click(v->downloadUpdate);
            QCOMPARE(m_session.browser().urls().value(0),
                     QUrl(m_session.sim().baseUrl() + "/download/tamber?version=1.10.0"));
        }
    }

    // The feed list: a refused address says why, a file feed shows when it was read, a missing one
    // its error, and Remove takes the selected feed away.
    void calendarFeedList() {
        QTemporaryDir dir;
        QFile ics(dir.filePath("team.ics"));
        QVERIFY(ics.open(QIODevice::WriteOnly));
        ics.write("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//T//EN\nEND:VCALENDAR\n");
        ics.close();
        QVERIFY(openPage());
        selectTab(u"Feeds"_s);
        auto* address = view()->findChild<QLineEdit*>(u"calendarFeedAddress"_s);
        auto* list = view()->findChild<QListWidget*>(u"calendarFeedList"_s);
        auto* error = view()->findChild<QLabel*>(u"calendarFeedError"_s);
        auto add = [&](const QString& text) {
            address->setText(text);
            click(view()->findChild<QPushButton*>(u"addCalendarFeed"_s));
        };
        add(u"http://calendar.example/<b>cal</b>.ics"_s);
        QVERIFY(error->isVisible());
        QCOMPARE(error->text(), u"Only secure (https) feed addresses are read."_s);
        QCOMPARE(list->count(), 0);

        add(ics.fileName());
        add(dir.filePath("gone.ics"));
        QVERIFY(!error->isVisible());
        QTRY_VERIFY(list->count() == 2 && list->item(0)->text().contains("Read today at") &&
                    list->item(1)->text().contains("The file could not be read"));
        QVERIFY(list->item(0)->text().startsWith(ics.fileName() + '\n'));
        snapshot(u"preferences-feeds"_s);

        list->setCurrentRow(1);
        click(view()->findChild<QPushButton*>(u"removeCalendarFeed"_s));
        QCOMPARE(list->count(), 1);
        QCOMPARE(TamberDataModel::sharedData()->calendarFeeds.toStringList(),
                 QStringList{ics.fileName()});
        list->setCurrentRow(0);
        click(view()->findChild<QPushButton*>(u"removeCalendarFeed"_s));
        QCOMPARE(list->count(), 0);
    }

private:
    PreferencesViewController* openPage() {
        QTest::mouseClick(m_menu->tabButton(MenuViewController::PreferencesTab), Qt::LeftButton);
        if (!QTest::qWaitFor([this] { return m_menu->preferencesViewController() != nullptr; }))
            return nullptr;
        QCoreApplication::processEvents(); // the profile fill is queued
        return m_menu->preferencesViewController();
    }

    PreferencesView* view() { return m_menu->preferencesViewController()->view(); }
    void selectTab(const QString& label) {
        for (int i = 0; i < view()->count(); ++i) {
            if (view()->tabText(i) == label)
                view()->setCurrentIndex(i);
        }
    }

    void click(QAbstractButton* button) { GuiSuite::click(button); }
    void snapshot(const QString& name) { MenuSession::snapshot(m_menu.get(), name); }
    // Makes the next room reply the simulator's own room with `changes`.
    void nextRoomReply(const QJsonObject& changes) {
        QJsonObject room = m_session.sim().room(m_session.session().userId());
        for (auto it = changes.begin(); it != changes.end(); ++it)
            room.insert(it.key(), it.value());
        m_session.sim().injectFault(EP::Room,
                                    Fault::replyWith(200, QJsonDocument(room).toJson()).times(1));
    }

    QString writeLogFile(const QString& suffix, const QByteArray& content) {
        // Named as the logger names its files, dated in the future so that it is the newest one.
        const QString path =
            QDir(Logging::logsDirectory())
                .filePath(BundleInfo::bundleIdentifier() + "_2099-01-01_00-00" + suffix + ".log");
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() ||
            !file.commit())
            return {};
        m_files << path;
        return path;
    }

    MenuSession m_session;
    std::unique_ptr<MenuViewController> m_menu;
    QStringList m_files;
};

TAMBER_TEST_MAIN_GUI(tst_Preferences)
#include "tst_Preferences.moc"
