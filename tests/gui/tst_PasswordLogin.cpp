#include "AbstractTamberWindowController/CustomTextField.h"
#include "AbstractTamberWindowController/NSTextFieldClickable.h"
#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "AbstractTamberWindowController/TamberImageView.h"
#include "Analytics/AnalyticsController.h"
#include "Authentication/PasswordLogin/ApplicationOptionsPanel.h"
#include "Authentication/PasswordLogin/PasswordLoginWindowController.h"
#include "GuiSuite.h"
#include "Logging/Logging.h"
#include "Models/ServiceCall.h"
#include "Platform/BundleInfo.h"
#include "Platform/PreferencesStore.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRadioButton>

using namespace Qt::StringLiterals;
using EP = VeloraSimulator::Endpoint;

namespace {

const QString kUser = QString::fromLatin1(VeloraSimulator::PasswordUser);
const QString kPassword = QString::fromLatin1(VeloraSimulator::PasswordUserPassword);

QString text(const QVariant& value) {
    return value.isValid() ? value.toString() : QString();
}

bool tokenKept() {
    return TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token) ||
           PreferencesStore(PreferencesStore::defaultPath()).contains(u"access_token"_s);
}

// Password grants the simulator received (the token endpoint also serves application tokens).
int passwordGrants(const VeloraSimulator& sim) {
    int count = 0;
    for (const RecordedRequest& r : sim.requests(EP::Token))
        count += r.jsonBody().value(u"grant_type"_s).toString() == "password"_L1;
    return count;
}

// The usage events after the first `from`: their names, or one field of the one named `name`.
QStringList eventsSince(const VeloraSimulator& sim, qsizetype from, const QString& name = {},
                        const QString& key = {}) {
    QStringList found;
    const QJsonArray all = sim.statsEvents();
    for (qsizetype i = from; i < all.size(); ++i)
        if (name.isEmpty() || all[i][u"event"_s] == name)
            found << (key.isEmpty() ? all[i][u"event"_s] : all[i][u"data"_s][key]).toString();
    return found;
}

} // namespace

class tst_PasswordLogin : public QObject {
    Q_OBJECT

    // A fresh sign-in window, past the calendar chooser (Velora calendar) unless told not to.
    void openWindow(bool chooseCalendar = true) {
        if (chooseCalendar)
            TamberDataModel::sharedData()->calendar = QVariant();
        m_controller = std::make_unique<PasswordLoginWindowController>();
        m_controller->loadAuthenticationUI();
        QVERIFY(QTest::qWaitForWindowExposed(m_controller->window()));
        if (chooseCalendar) {
            QTest::mouseClick(child<QRadioButton>("veloraCalendarOption"), Qt::LeftButton);
            QVERIFY(shows("authenticationView"));
            QCOMPARE(text(TamberDataModel::sharedData()->calendar), u"velora_calendar"_s);
        }
    }

    template <typename T = QWidget> T* child(const char* name) const {
        return GuiSuite::child<T>(m_controller->window(), name);
    }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }
    bool shows(const char* name) const { return child(name)->isVisible(); }
    CustomTextField* accountField() const { return child<CustomTextField>("usernameOrEmailField"); }
    CustomTextField* passwordField() const { return child<CustomTextField>("passwordField"); }
    void typeAccountAndNext(const QString& account) {
        accountField()->clear();
        QTest::keyClicks(accountField(), account);
        QTest::mouseClick(button("nextButton"), Qt::LeftButton);
    }

    void reachPasswordBlock() {
        typeAccountAndNext(kUser);
        QTRY_VERIFY(shows("passwordBlockView"));
    }

    void submitPassword(const QString& password = kPassword) {
        QTest::keyClicks(passwordField(), password);
        QTest::mouseClick(button("loginButton"), Qt::LeftButton);
    }
    bool accountMessageShows(const QString& message) const {
        auto* label = child<QLabel>("accountNotFoundLabel");
        return label->isVisible() && label->text() == message && accountField()->showsErrorBorder();
    }
    bool passwordMessageShows(const QString& message) const {
        auto* label = child<QLabel>("invalidPassword");
        return label->isVisible() && label->text() == message &&
               passwordField()->showsErrorBorder();
    }
    bool accountEntryShown() const {
        return shows("nextButton") && shows("quitButton") && shows("signUpView") &&
               !shows("passwordBlockView") && !accountField()->hasLabelLook();
    }
    bool lookupSettled() const {
        auto* spinner = child<ProgressIndicator>("identifySecurityProfileProgress");
        return button("nextButton")->isEnabled() && !spinner->isVisible() &&
               !spinner->isAnimating() && !accountField()->isReadOnly();
    }
    bool passwordBlockUsable() const {
        return button("loginButton")->isEnabled() && button("cancelButton")->isEnabled() &&
               !passwordField()->isReadOnly() && !shows("passwordAuthenticationInProgress");
    }

    void snapshot(const QString& name) const {
        ApplicationOptionsPanel* sheet = m_controller->applicationOptionsPanel();
        if (sheet && sheet->isVisible()) // what the screen shows: the sheet over the window
            MenuSession::snapshotScreen({m_controller->window(), sheet}, "signin-" + name);
        else
            MenuSession::snapshot(m_controller->window(), "signin-" + name);
    }

    SignedInSimulator m_sim;
    std::unique_ptr<RecordingUrlOpener> m_browser;
    std::unique_ptr<PasswordLoginWindowController> m_controller;
    int m_terminations = 0;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_sim.start());
        TamberDataModel::setKeychainAccountForTesting(u"tst_PasswordLogin"_s);
        PasswordLoginWindowController::setTerminateHandler([this] { ++m_terminations; });
    }

    void init() {
        m_sim.resetRecord();
        ServiceCall::setTransferTimeoutMs(60 * 1000);
        m_browser = std::make_unique<RecordingUrlOpener>();
        m_terminations = 0;
    }

    void cleanup() {
        m_controller.reset();
        m_browser.reset();
    }

    void accountEntryMessagesAndSingleLookup() {
        VeloraSimulator& sim = m_sim.sim();
        openWindow();
        // Empty name: message, nothing sent (usage events may fetch an application token).
        QTest::mouseClick(button("nextButton"), Qt::LeftButton);
        QVERIFY(accountMessageShows(u"Provide a username"_s) && m_controller->initiatedFromNext());
        QCoreApplication::processEvents();
        QCOMPARE(sim.requestCount(EP::SecurityProfile), 0);
        QCOMPARE(passwordGrants(sim), 0);
        QTest::keyClicks(accountField(), u"x"_s);
        QVERIFY(!shows("accountNotFoundLabel") && !accountField()->showsErrorBorder());

        // A name of spaces is looked up as typed (and is not an account).
        typeAccountAndNext(u"   "_s);
        QVERIFY(!button("nextButton")->isEnabled() && accountField()->isReadOnly());
        QVERIFY(child<ProgressIndicator>("identifySecurityProfileProgress")->isAnimating());
        QTRY_VERIFY(lookupSettled());
        QVERIFY(accountMessageShows(u"Account not found"_s));
        QCOMPARE(sim.requestCount(EP::SecurityProfile), 1);
        QCOMPARE(sim.lastRequest(EP::SecurityProfile).queryValue(u"user"_s), u"   "_s);
        snapshot(u"4-account-not-found"_s);

        // Social-login accounts cannot sign in here; the window stays in account entry.
        QVERIFY(sim.injectFault(EP::SecurityProfile, Fault::delay(300).times(1)));
        typeAccountAndNext(QString::fromLatin1(VeloraSimulator::FbUser));
        QVERIFY(shows("identifySecurityProfileProgress"));
        QVERIFY(!accountMessageShows(u"Account not found"_s));
        snapshot(u"3-looking-up"_s);
        QTRY_VERIFY(lookupSettled());
        QVERIFY(accountMessageShows(u"Account not supported"_s));
        QCOMPARE(text(TamberDataModel::sharedData()->authenticationType), u"FB"_s);
        QVERIFY(shows("nextButton") && !shows("passwordBlockView"));

        // Next twice in quick succession (button and Return) starts one lookup.
        sim.clearRequests();
        typeAccountAndNext(QString::fromLatin1(VeloraSimulator::FbUser));
        QTest::keyClick(accountField(), Qt::Key_Return);
        QTest::mouseClick(button("nextButton"), Qt::LeftButton);
        QTRY_VERIFY(lookupSettled());
        QCOMPARE(sim.requestCount(EP::SecurityProfile), 1);
    }

    void lookupFailuresShowPlatformTextOrAccountNotFound() {
        openWindow();
        struct Case {
            const char* endpoint; // nullptr: the host fails to connect
            Fault fault;
            QString message;
        };
        const QString notFound = u"Account not found"_s;
        // Transport failures show the platform's text; bad answers "Account not found".
        const QList<Case> cases{
            {nullptr, {}, u"Could not connect to the server."_s},
            {EP::SecurityProfile, Fault::closeMidBody(), u"The network connection was lost."_s},
            {EP::Token, Fault::delay(3000), u"The request timed out."_s},
            {EP::SecurityProfile, Fault::httpError(500), notFound},
            {EP::SecurityProfile, Fault::garbage(), notFound},
            {EP::Token, Fault::httpError(401), notFound},
        };
        for (const Case& c : cases) {
            m_sim.sim().clearFaults();
            TamberDataModel::sharedData()->apiHost =
                c.endpoint ? m_sim.sim().apiHost() : u"localhost:1"_s;
            if (c.endpoint)
                QVERIFY(m_sim.sim().injectFault(c.endpoint, c.fault));
            ServiceCall::setTransferTimeoutMs(c.fault.kind == Fault::Kind::Delay ? 300 : 60000);
            typeAccountAndNext(kUser);
            // Whatever fails, the window comes back: spinner stopped, Next enabled, editable.
            QTRY_VERIFY2_WITH_TIMEOUT(lookupSettled(), qPrintable(c.message), 10000);
            QVERIFY2(accountMessageShows(c.message),
                     qPrintable(child<QLabel>("accountNotFoundLabel")->text()));
            QVERIFY(!shows("passwordBlockView"));
        }
        // And once the service answers again, the same window goes on normally.
        m_sim.sim().clearFaults();
        ServiceCall::setTransferTimeoutMs(60000);
        reachPasswordBlock();
    }

    void passwordBlockCancelAndWrongPassword() {
        openWindow();
        reachPasswordBlock();
        // Password entry: the name becomes a bold label; Next, Quit and sign-up are gone.
        QVERIFY(accountField()->hasLabelLook() && accountField()->isReadOnly());
        QVERIFY(accountField()->font().bold());
        QCOMPARE(accountField()->text(), kUser);
        QVERIFY(!shows("nextButton") && !shows("quitButton") && !shows("signUpView"));
        QTRY_VERIFY(passwordField()->hasFocus());
        snapshot(u"5-password"_s);
        // The field's own action right after Next was silent.
        QVERIFY(!shows("invalidPassword") && !m_controller->initiatedFromNext());

        // A Login the user really submits with no password asks for one; typing clears it.
        QTest::mouseClick(button("loginButton"), Qt::LeftButton);
        QVERIFY(passwordMessageShows(u"Specify Password"_s));
        QCOMPARE(passwordGrants(m_sim.sim()), 0);
        QTest::keyClicks(passwordField(), u"wrong"_s);
        QVERIFY(!shows("invalidPassword"));

        // A wrong password: message, Login and Cancel back, the typed text kept.
        QVERIFY(m_sim.sim().injectFault(EP::Token, Fault::delay(300).times(1)));
        QTest::keyClick(passwordField(), Qt::Key_Return);
        QVERIFY(!button("loginButton")->isEnabled() && !button("cancelButton")->isEnabled());
        QVERIFY(passwordField()->isReadOnly());
        QVERIFY(child<ProgressIndicator>("passwordAuthenticationInProgress")->isAnimating());
        snapshot(u"6-signing-in"_s);
        QTRY_VERIFY(passwordMessageShows(u"Invalid Password"_s));
        QVERIFY(passwordBlockUsable());
        QCOMPARE(passwordField()->text(), u"wrong"_s);
        snapshot(u"7-invalid-password"_s);
        QVERIFY(!tokenKept());
        QCOMPARE(passwordGrants(m_sim.sim()), 1);

        // Cancel: account entry with the same name, in the regular font, editable.
        QTest::mouseClick(button("cancelButton"), Qt::LeftButton);
        QVERIFY(accountEntryShown());
        QCOMPARE(accountField()->text(), kUser);
        QVERIFY(!accountField()->font().bold());
        QTRY_VERIFY(accountField()->hasFocus());

        // Next again: a new password block with an empty field and no message.
        QTest::mouseClick(button("nextButton"), Qt::LeftButton);
        QTRY_VERIFY(shows("passwordBlockView"));
        QVERIFY(passwordField()->text().isEmpty() && !shows("invalidPassword"));
    }

    // Signing in again after a sign-out: straight to the account name, the stored calendar kept.
    void grantFailureThenSignInWithTheStoredCalendar() {
        const VeloraSimulator& sim = m_sim.sim();
        PostedNotifications success({u"PASSWORD_CONFIG_SUCCESSFUL"_s});
        LogSpy logs;
        TamberDataModel* model = TamberDataModel::sharedData();
        model->calendar = u"apple_calendar"_s;
        // Events of earlier steps still on their way would be counted as this one's.
        QTRY_COMPARE_WITH_TIMEOUT(AnalyticsController::pendingEvents(), 0, 15000);
        const qsizetype before = sim.statsEvents().size();
        openWindow(false);
        QVERIFY(!shows("chooseCalendarView") && shows("authenticationView"));
        QTRY_VERIFY(accountField()->hasFocus());
        reachPasswordBlock();

        // The grant's connection drops: the platform's text.
        QVERIFY(m_sim.sim().injectFault(EP::Token, Fault::closeMidBody()));
        submitPassword();
        QTRY_VERIFY(passwordMessageShows(u"The network connection was lost."_s));
        QVERIFY(passwordBlockUsable() && logs.contains(Log::Debug, u"In Password error block"_s));
        QVERIFY(success.names.isEmpty());

        // With the service healthy again the same window signs in, announced once.
        m_sim.sim().clearFaults();
        QTest::mouseClick(button("loginButton"), Qt::LeftButton);
        QTRY_COMPARE(success.names.size(), 1);
        const QString token = text(model->access_token);
        const IssuedToken issued = sim.tokenInfo(token);
        QCOMPARE(issued.kind, u"user"_s);
        QCOMPARE(issued.userId, sim.userIdOf(kUser));
        QCOMPARE(text(model->username), kUser);
        QCOMPARE(text(model->userId), issued.userId);
        QCOMPARE(text(model->calendar), u"apple_calendar"_s);
        // The user's details came along before success was announced.
        QVERIFY(sim.requestCount(EP::User) >= 1 && TamberDataModel::isPresent(model->email));
        // Done: spinner stopped, Cancel stays disabled while the window is about to close.
        QVERIFY(!child<ProgressIndicator>("passwordAuthenticationInProgress")->isAnimating());
        QVERIFY(!button("cancelButton")->isEnabled() && !shows("invalidPassword"));
        QTest::qWait(300); // a second announcement or a stray usage event would be here by now
        QCOMPARE(success.names.size(), 1);
        QVERIFY(!eventsSince(sim, before).contains(u"initial_calendar"_s));

        // The password and the token never reach a log line.
        QVERIFY(logs.contains(Log::Info, u"PASSWORD BLOCK"_s));
        QVERIFY(logs.contains(Log::Debug, u"Login button action"_s));
        for (const LogSpy::Line& line : logs.lines())
            QVERIFY2(!line.message.contains(kPassword) && !line.message.contains(token),
                     qPrintable(line.message));
        m_controller.reset();
        QVERIFY(logs.contains(Log::Verbose,
                              u"******** DEALLOC: <PasswordLoginWindowController: 0x"_s, true));
    }

    void userDetailsFailureSaysSignedInAndKeepsNoToken_data() {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("503") << Fault::httpError(503)
                             << u"the service failed to process the request"_s;
        QTest::newRow("connection cut")
            << Fault::closeMidBody() << u"the network connection was lost"_s;
        QTest::newRow("garbage") << Fault::garbage() << u"the service's reply could not be read"_s;
    }

    void userDetailsFailureSaysSignedInAndKeepsNoToken() {
        QFETCH(Fault, fault);
        QFETCH(QString, reason);
        PostedNotifications success({u"PASSWORD_CONFIG_SUCCESSFUL"_s});
        LogSpy logs;
        openWindow();
        reachPasswordBlock();
        // The password is right, the user details fail: no "Invalid Password", and no token.
        QVERIFY(m_sim.sim().injectFault(EP::User, fault));
        submitPassword();
        const QString message =
            u"Signed in, but your account details could not be loaded: %1. Try again."_s.arg(
                reason);
        QTRY_VERIFY2(passwordMessageShows(message),
                     qPrintable(child<QLabel>("invalidPassword")->text()));
        snapshot(u"5-details-failed"_s);
        QVERIFY(!tokenKept() && !TamberDataModel::isPresent(TamberDataModel::sharedData()->userId));
        QVERIFY(passwordBlockUsable() && logs.contains(Log::Error, u"error"_s));
        QVERIFY(success.names.isEmpty());

        // Trying again with the service healthy signs in, with the token kept this time.
        m_sim.sim().clearFaults();
        QTest::mouseClick(button("loginButton"), Qt::LeftButton);
        QTRY_COMPARE(success.names.size(), 1);
        QVERIFY(TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token));
    }

    void optionsSheetChangesTheHostOfTheNextCall() {
        TamberDataModel* model = TamberDataModel::sharedData();
        // Pointed at a port where nothing listens, as after a typo in an earlier run.
        model->apiHost = u"localhost:1"_s;
        openWindow();
        ApplicationOptionsPanel* sheet = m_controller->applicationOptionsPanel();
        QVERIFY(sheet && !sheet->isVisible());
        // The logo's gesture (its own suite counts the clicks) opens the sheet one turn later.
        QVERIFY(child<TamberImageView>("logoImageView"));
        NotificationCenter::defaultCenter().post(u"SHOWAPPLICATIONSERVEROPTIONS"_s);
        QTRY_VERIFY(sheet->isVisible());
        auto* host = sheet->findChild<CustomTextField*>(u"applicationServerField"_s);
        QCOMPARE(host->text(), u"localhost:1"_s); // the host in use
        QCOMPARE(host->placeholderText(), BundleInfo::defaultApiHost());
        QVERIFY(!sheet->uploadSuccessful()->isVisible());

        // Every edit sets the host at once; an emptied field means the standard host.
        host->selectAll();
        QTest::keyClick(host, Qt::Key_Backspace);
        QCOMPARE(text(model->apiHost), BundleInfo::defaultApiHost());
        QTest::keyClicks(host, m_sim.sim().apiHost());
        QCOMPARE(text(model->apiHost), m_sim.sim().apiHost());
        QTest::mouseClick(sheet->findChild<QPushButton*>(u"closeOptionsButton"_s), Qt::LeftButton);
        QTRY_VERIFY(!sheet->isVisible());
        QCOMPARE(text(model->apiHost), m_sim.sim().apiHost());
        reachPasswordBlock(); // the next call goes to the new host
        QCOMPARE(m_sim.sim().requestCount(EP::SecurityProfile), 1);

        // Closing the sheet with an empty field stores the standard host, so every address has
        // a host at once, not only the token request.
        m_controller->showApplicationServerOptions();
        QTRY_VERIFY(sheet->isVisible());
        host->clear();
        m_controller->closeApplicationServerOptions(sheet);
        QTRY_VERIFY(!sheet->isVisible());
        QCOMPARE(text(model->apiHost), BundleInfo::defaultApiHost());
        QVERIFY(TamberDataModel::validateOAuthTokenURL().startsWith(
            u"https://%1/"_s.arg(BundleInfo::defaultApiHost())));
        const QUrl signUp(TamberDataModel::signUpURL());
        QVERIFY(!signUp.host().isEmpty() && !signUp.toString().contains(u"(null)"_s));
        TamberDataModel::loadDataFromBundle();
        QCOMPARE(text(model->apiHost), BundleInfo::defaultApiHost());
        // A later run still sees the host stored at the sheet's end.
        model->apiHost = u"api.private.example"_s;
        m_controller->showApplicationServerOptions();
        QTRY_VERIFY(sheet->isVisible());
        QCOMPARE(host->text(), u"api.private.example"_s);
        snapshot(u"8-options"_s);
        m_controller->closeApplicationServerOptions(sheet);
        TamberDataModel::loadDataFromBundle();
        QCOMPARE(text(model->apiHost), u"api.private.example"_s);

        // Without a sender (the window being discarded) the gesture stops opening the sheet.
        m_controller->closeApplicationServerOptions();
        NotificationCenter::defaultCenter().post(u"SHOWAPPLICATIONSERVEROPTIONS"_s);
        QCoreApplication::processEvents();
        QVERIFY(!sheet->isVisible());
    }

    void optionsSheetUploadCancelsAndReports() {
        // A recording upload operation first, then the real one.
        QList<QPointer<QObject>> uploads;
        QList<ApplicationOptionsPanel::LogUploadFinished> finishers;
        ApplicationOptionsPanel::setLogUploadStarter(
            [&](ApplicationOptionsPanel::LogUploadFinished finished) {
                uploads.append(new QObject);
                finishers.append(std::move(finished));
                return uploads.last().data();
            });
        ApplicationOptionsPanel* sheet = nullptr;
        NSTextFieldClickable* link = nullptr;
        const auto openSheet = [&] {
            openWindow();
            m_controller->showApplicationServerOptions();
            sheet = m_controller->applicationOptionsPanel();
            link = sheet->findChild<NSTextFieldClickable*>(u"uploadLogsButton"_s);
            return QTest::qWaitFor([&] { return sheet->isVisible(); });
        };
        const auto result = [&] { return sheet->uploadSuccessful()->property("failed").toBool(); };
        QVERIFY(openSheet());
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(uploads.size(), 1);
        QVERIFY(sheet->uploadProgressIndicator()->isAnimating());
        QVERIFY(!sheet->uploadSuccessful()->isVisible());
        // A second press cancels the running upload and starts another.
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(uploads.size(), 2);
        QVERIFY(uploads[0].isNull());
        QCOMPARE(sheet->uploadConnection(), uploads[1].data());
        // Success: spinner stopped, the success icon shows; a failure shows the failure icon.
        finishers[1](false, {});
        QVERIFY(!sheet->uploadProgressIndicator()->isAnimating());
        QVERIFY(sheet->uploadSuccessful()->isVisible() && !result());
        QVERIFY(!sheet->uploadConnection());
        QTest::mouseClick(link, Qt::LeftButton);
        finishers[2](true, u"HTTP 500"_s);
        QCOMPARE(sheet->uploadSuccessful()->toolTip(), u"HTTP 500"_s);
        QVERIFY(result());
        // Closing the sign-in window while an upload runs cancels it.
        QTest::mouseClick(link, Qt::LeftButton);
        QVERIFY(!uploads[3].isNull());
        m_controller.reset();
        QVERIFY(uploads[3].isNull());

        // The real upload, signed out: the newest log file goes out with an empty e-mail value.
        ApplicationOptionsPanel::setLogUploadStarter({});
        Logging::start();
        TLOG_ERROR(u"a line for the log file"_s);
        QVERIFY(openSheet());
        QTest::mouseClick(link, Qt::LeftButton);
        QTRY_VERIFY(!sheet->uploadProgressIndicator()->isAnimating());
        QVERIFY(!result());
        const RecordedRequest put = m_sim.sim().lastRequest(EP::LogUpload);
        QVERIFY(put.body.contains("a line for the log file") && put.target.endsWith("&email="));

        // Escape ends the sheet and the upload it runs.
        m_sim.sim().injectFault(EP::LogUpload, Fault::delay(5000));
        QTest::mouseClick(link, Qt::LeftButton);
        QPointer<QObject> running = sheet->uploadConnection();
        QVERIFY(running);
        QTest::keyClick(sheet, Qt::Key_Escape);
        QTRY_VERIFY(!sheet->isVisible());
        QVERIFY(running.isNull() && !sheet->uploadProgressIndicator()->isAnimating());
    }

    void linksQuitAndTheirUsageEvents() {
        const VeloraSimulator& sim = m_sim.sim();
        // Events of earlier steps still on their way would be counted as this one's.
        QTRY_COMPARE_WITH_TIMEOUT(AnalyticsController::pendingEvents(), 0, 15000);
        const qsizetype before = sim.statsEvents().size();
        // The window opens on the calendar chooser (Outlook and Apple Calendar on macOS only).
        openWindow(false);
        QVERIFY(shows("chooseCalendarView") && !shows("authenticationView"));
        QVERIFY(!shows("appleCalendarOption") && !shows("outlookCalendarOption"));
        snapshot(u"1-calendar"_s);
        QTest::mouseClick(child<QRadioButton>("calendarFeedsOption"), Qt::LeftButton);
        QCOMPARE(text(TamberDataModel::sharedData()->calendar), u"ics_calendar"_s);
        QVERIFY(!shows("chooseCalendarView") && shows("authenticationView"));
        // Account entry: the name field editable with the focus, no message.
        QTRY_VERIFY(accountField()->hasFocus());
        QVERIFY(!accountField()->isReadOnly() && accountEntryShown());
        QVERIFY(!shows("accountNotFoundLabel"));
        snapshot(u"2-account"_s);
        QTest::mouseClick(child<NSTextFieldClickable>("signUp"), Qt::LeftButton);
        reachPasswordBlock();
        QTest::mouseClick(child<NSTextFieldClickable>("forgotPassword"), Qt::LeftButton);
        QCOMPARE(m_browser->urls(), (QList<QUrl>{QUrl(TamberDataModel::signUpURL()),
                                                 QUrl(TamberDataModel::forgotURL())}));
        QTest::mouseClick(button("cancelButton"), Qt::LeftButton);
        QCOMPARE(m_terminations, 0);
        QTest::mouseClick(button("quitButton"), Qt::LeftButton);
        QTRY_COMPARE(m_terminations, 1);

        // Calendar choice, sign-up and Quit each send one event; the password-reset link none.
        QTRY_COMPARE_WITH_TIMEOUT(sim.statsEvents().size() - before, 3, 15000);
        QTest::qWait(200);
        QStringList names = eventsSince(sim, before);
        names.sort();
        QCOMPARE(names, (QStringList{u"click_signup"_s, u"initial_calendar"_s, u"quit"_s}));
        QCOMPARE(eventsSince(sim, before, u"quit"_s, u"screen"_s),
                 QStringList{u"PasswordLoginWindowController"_s});
        QCOMPARE(eventsSince(sim, before, u"initial_calendar"_s, u"calendar"_s),
                 QStringList{u"ics_calendar"_s});
    }

    void quitWaitsForItsUsageEvent_data() {
        QTest::addColumn<int>("statsDelayMs");
        QTest::addColumn<int>("minWaitMs");
        QTest::addColumn<int>("maxWaitMs");
        QTest::newRow("answered") << 0 << 0 << 1900;
        QTest::newRow("slow service: 2 s at most") << 8000 << 1900 << 4000;
    }

    void quitWaitsForItsUsageEvent() {
        QFETCH(int, statsDelayMs);
        QFETCH(int, minWaitMs);
        QFETCH(int, maxWaitMs);
        VeloraSimulator& sim = m_sim.sim();
        openWindow();
        if (statsDelayMs)
            sim.injectFault(EP::Stats, Fault::delay(statsDelayMs));
        bool quitReceived = false;
        PasswordLoginWindowController::setTerminateHandler([&] {
            ++m_terminations;
            quitReceived = eventsSince(sim, 0).contains(u"quit"_s);
        });
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(button("quitButton"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_terminations, 1, 10000);
        const qint64 waited = clock.elapsed();
        PasswordLoginWindowController::setTerminateHandler([this] { ++m_terminations; });
        // The event reached the service before the process would end.
        QVERIFY(quitReceived);
        QVERIFY2(waited >= minWaitMs && waited <= maxWaitMs, qPrintable(QString::number(waited)));
    }

    void windowClosedDuringLookupThenSamlHandsOver() {
        PostedNotifications saml({u"SAML_CONFIG_REQUESTED"_s});
        openWindow();
        QVERIFY(m_sim.sim().injectFault(EP::SecurityProfile, Fault::delay(300)));
        int profileReplies = 0;
        QObject watcher;
        connect(&ServiceCall::network(), &QNetworkAccessManager::finished, &watcher,
                [&](QNetworkReply* reply) {
                    profileReplies += reply->url().path().contains(u"security_profile"_s);
                });
        typeAccountAndNext(QString::fromLatin1(VeloraSimulator::SamlUser));
        QTRY_COMPARE(m_sim.sim().requestCount(EP::SecurityProfile), 1);
        m_controller.reset(); // the application lost the front: the window is discarded
        QCOMPARE(profileReplies, 0);
        QTRY_COMPARE_WITH_TIMEOUT(profileReplies, 1, 10000);
        QCoreApplication::processEvents();
        QVERIFY(saml.names.isEmpty());

        // A new window after that works from the start: the single sign-on profile hands over
        // to the controller, with no password block and no message.
        m_sim.sim().clearFaults();
        openWindow();
        typeAccountAndNext(QString::fromLatin1(VeloraSimulator::SamlUser));
        QTRY_COMPARE(saml.names.size(), 1);
        const TamberDataModel* model = TamberDataModel::sharedData();
        QCOMPARE(text(model->authenticationType), u"SAML"_s);
        QCOMPARE(text(model->enterpriseId), QString::fromLatin1(VeloraSimulator::SamlEnterprise));
        QVERIFY(TamberDataModel::isPresent(model->idpURL));
        QVERIFY(lookupSettled() && !shows("passwordBlockView") && !shows("accountNotFoundLabel"));
        QCoreApplication::processEvents();
        QCOMPARE(saml.names.size(), 1);
    }

    // A window closed by the user while signing in leaves no token behind, in memory or stored,
    // whenever the late answers come: the next click must open sign-in, not an empty menu.
    void windowClosedMidSignInKeepsNoToken_data() {
        QTest::addColumn<QString>("slowEndpoint");
        QTest::newRow("during the grant") << QString::fromLatin1(EP::Token);
        QTest::newRow("during the details") << QString::fromLatin1(EP::User);
    }

    void windowClosedMidSignInKeepsNoToken() {
        QFETCH(QString, slowEndpoint);
        openWindow();
        reachPasswordBlock();
        QVERIFY(m_sim.sim().injectFault(slowEndpoint, Fault::delay(800)));
        submitPassword();
        QTRY_VERIFY_WITH_TIMEOUT(m_sim.sim().requestCount(slowEndpoint) > 0, 15000);
        const int answered = m_sim.sim().requestCount(EP::User);
        m_controller.reset();
        // Both late answers have come and gone (the details are fetched only after a grant).
        QTest::qWait(1500);
        QCOMPARE(m_sim.sim().requestCount(EP::User), answered);
        QVERIFY(!tokenKept());
    }
};

TAMBER_TEST_MAIN_GUI(tst_PasswordLogin)
#include "tst_PasswordLogin.moc"
