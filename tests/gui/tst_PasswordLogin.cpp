#include "AbstractTamberWindowController/CustomTextField.h"
#include "AbstractTamberWindowController/NSTextFieldClickable.h"
#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "AbstractTamberWindowController/TamberImageView.h"
#include "Authentication/PasswordLogin/ApplicationOptionsPanel.h"
#include "Authentication/PasswordLogin/PasswordLoginWindowController.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Logging/Logging.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"
#include "Platform/NotificationCenter.h"
#include "Platform/PreferencesStore.h"
#include "RecordingUrlOpener.h"
#include "SignedInSimulator.h"
#include "TestEnvironment.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QUrl>
#include <memory>

namespace {

const QString kPasswordUser = QString::fromLatin1(VeloraSimulator::PasswordUser);
const QString kPassword = QString::fromLatin1(VeloraSimulator::PasswordUserPassword);

// Counts one notification name while it lives.
class Posted : public QObject {
public:
    explicit Posted(const QString& name) {
        NotificationCenter::defaultCenter().addObserver(this, name,
                                                        [this](const QVariant&) { ++count; });
    }
    int count = 0;
};

QString text(const QVariant& value) {
    return value.isValid() ? value.toString() : QString();
}

// Password grants the simulator received (the token endpoint also serves application tokens).
int passwordGrants(const VeloraSimulator& sim) {
    int count = 0;
    const QString token = QString::fromLatin1(VeloraSimulator::Endpoint::Token);
    for (const RecordedRequest& r : sim.requests(token)) {
        count += r.jsonBody().value(QStringLiteral("grant_type")).toString() ==
                 QLatin1String("password");
    }
    return count;
}

} // namespace

class tst_PasswordLogin : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void calendarChooserLeadsToAccountEntry();
    void accountEntryMessagesAndSingleLookup();
    void lookupFailuresShowPlatformTextOrAccountNotFound();
    void passwordBlockCancelAndWrongPassword();
    void successStoresTokenAndPostsOnce();
    void grantFailuresKeepTheWindowUsable();
    void userDetailsFailureSaysSignedInAndKeepsNoToken_data();
    void userDetailsFailureSaysSignedInAndKeepsNoToken();
    void calendarIsAskedOnlyWhileNoneIsStored();
    void samlProfileHandsOverToSingleSignOn();
    void optionsSheetChangesTheHostOfTheNextCall();
    void optionsSheetUploadCancelsAndReports();
    void linksAndQuit();
    void usageEventsOfTheWindow();
    void quitWaitsForItsUsageEvent_data();
    void quitWaitsForItsUsageEvent();
    void windowClosedDuringLookupIsHarmless();
    void windowClosedMidSignInKeepsNoToken_data();
    void windowClosedMidSignInKeepsNoToken();

private:
    // A fresh sign-in window, past the calendar chooser (Velora calendar).
    void openWindow(bool chooseCalendar = true);
    template <typename T> T* child(const char* name) const {
        T* widget = m_controller->window()->findChild<T*>(QString::fromLatin1(name));
        if (!widget) {
            qWarning("no widget %s", name);
        }
        return widget;
    }
    void typeAccountAndNext(const QString& account);
    void reachPasswordBlock();
    bool accountMessageShows(const QString& message) const;
    bool passwordMessageShows(const QString& message) const;
    bool lookupSettled() const;
    // With TAMBER_SCREENSHOT_DIR set, saves the window (and the options sheet when open) there.
    void snapshot(const QString& name) const;

    SignedInSimulator m_sim;
    std::unique_ptr<RecordingUrlOpener> m_browser;
    std::unique_ptr<PasswordLoginWindowController> m_controller;
    int m_terminations = 0;
};

void tst_PasswordLogin::initTestCase() {
    QVERIFY(m_sim.start());
    TamberDataModel::setKeychainAccountForTesting(QStringLiteral("tst_PasswordLogin"));
    PasswordLoginWindowController::setTerminateHandler([this] { ++m_terminations; });
}

void tst_PasswordLogin::init() {
    m_sim.resetRecord();
    ServiceCall::setTransferTimeoutMs(60 * 1000);
    m_browser = std::make_unique<RecordingUrlOpener>();
    m_terminations = 0;
}

void tst_PasswordLogin::cleanup() {
    m_controller.reset();
    m_browser.reset();
}

void tst_PasswordLogin::openWindow(bool chooseCalendar) {
    if (chooseCalendar) {
        TamberDataModel::sharedData()->calendar = QVariant();
    }
    m_controller = std::make_unique<PasswordLoginWindowController>();
    m_controller->loadAuthenticationUI();
    QVERIFY(QTest::qWaitForWindowExposed(m_controller->window()));
    if (chooseCalendar) {
        QTest::mouseClick(child<QRadioButton>("veloraCalendarOption"), Qt::LeftButton);
        QVERIFY(child<QWidget>("authenticationView")->isVisible());
    }
}

void tst_PasswordLogin::typeAccountAndNext(const QString& account) {
    auto* field = child<CustomTextField>("usernameOrEmailField");
    field->clear();
    QTest::keyClicks(field, account);
    QTest::mouseClick(child<QPushButton>("nextButton"), Qt::LeftButton);
}

void tst_PasswordLogin::reachPasswordBlock() {
    typeAccountAndNext(kPasswordUser);
    QTRY_VERIFY(child<QWidget>("passwordBlockView")->isVisible());
}

bool tst_PasswordLogin::accountMessageShows(const QString& message) const {
    auto* label = child<QLabel>("accountNotFoundLabel");
    return label->isVisible() && label->text() == message &&
           child<CustomTextField>("usernameOrEmailField")->showsErrorBorder();
}

bool tst_PasswordLogin::passwordMessageShows(const QString& message) const {
    auto* label = child<QLabel>("invalidPassword");
    return label->isVisible() && label->text() == message &&
           child<CustomTextField>("passwordField")->showsErrorBorder();
}

void tst_PasswordLogin::snapshot(const QString& name) const {
    const QString dir = qEnvironmentVariable("TAMBER_SCREENSHOT_DIR");
    if (dir.isEmpty()) {
        return;
    }
    QTest::qWait(40); // the layout settles as it would before the next frame
    const QString file = QStringLiteral("%1/signin-%2.png").arg(dir, name);
    ApplicationOptionsPanel* sheet = m_controller->applicationOptionsPanel();
    if (sheet && sheet->isVisible()) {
        // What the screen shows: the sheet over the window.
        const QRect area = m_controller->window()->frameGeometry().united(sheet->frameGeometry());
        sheet->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(file);
    } else {
        m_controller->window()->grab().save(file);
    }
}

bool tst_PasswordLogin::lookupSettled() const {
    return child<QPushButton>("nextButton")->isEnabled() &&
           !child<ProgressIndicator>("identifySecurityProfileProgress")->isVisible() &&
           !child<ProgressIndicator>("identifySecurityProfileProgress")->isAnimating() &&
           !child<CustomTextField>("usernameOrEmailField")->isReadOnly();
}

void tst_PasswordLogin::calendarChooserLeadsToAccountEntry() {
    const QStringList expected{QStringLiteral("velora_calendar"), QStringLiteral("apple_calendar"),
                               QStringLiteral("outlook_calendar")};
    const char* rows[] = {"veloraCalendarOption", "appleCalendarOption", "outlookCalendarOption"};
    for (int row = 0; row < 3; ++row) {
        TamberDataModel::sharedData()->calendar = QVariant();
        openWindow(false);
        // The window opens on the chooser; nothing of the sign-in shows yet.
        QVERIFY(child<QWidget>("chooseCalendarView")->isVisible());
        QVERIFY(!child<QWidget>("authenticationView")->isVisible());
        snapshot(QStringLiteral("1-calendar"));
        QTest::mouseClick(child<QRadioButton>(rows[row]), Qt::LeftButton);
        QCOMPARE(text(TamberDataModel::sharedData()->calendar), expected[row]);
        QVERIFY(!child<QWidget>("chooseCalendarView")->isVisible());
        QVERIFY(child<QWidget>("authenticationView")->isVisible());
        // Account entry: name field editable with the focus, Next and Quit, no password block.
        auto* field = child<CustomTextField>("usernameOrEmailField");
        QTRY_VERIFY(field->hasFocus());
        QVERIFY(!field->isReadOnly() && !field->hasLabelLook());
        QVERIFY(child<QPushButton>("nextButton")->isVisible());
        QVERIFY(child<QPushButton>("quitButton")->isVisible());
        QVERIFY(!child<QWidget>("passwordBlockView")->isVisible());
        QVERIFY(child<QWidget>("signUpView")->isVisible());
        QVERIFY(!child<QLabel>("accountNotFoundLabel")->isVisible());
        snapshot(QStringLiteral("2-account"));
    }
}

void tst_PasswordLogin::accountEntryMessagesAndSingleLookup() {
    openWindow();
    // Empty name: message, nothing sent.
    QTest::mouseClick(child<QPushButton>("nextButton"), Qt::LeftButton);
    QVERIFY(accountMessageShows(QStringLiteral("Provide a username")));
    QVERIFY(m_controller->initiatedFromNext());
    QCoreApplication::processEvents();
    // (Usage events may fetch an application token meanwhile; no lookup, no grant.)
    QCOMPARE(m_sim.sim().requestCount(VeloraSimulator::Endpoint::SecurityProfile), 0);
    QCOMPARE(passwordGrants(m_sim.sim()), 0);
    // Typing clears the message and the red border.
    QTest::keyClicks(child<CustomTextField>("usernameOrEmailField"), QStringLiteral("x"));
    QVERIFY(!child<QLabel>("accountNotFoundLabel")->isVisible());
    QVERIFY(!child<CustomTextField>("usernameOrEmailField")->showsErrorBorder());

    // A name of spaces is looked up as typed (and is not an account).
    typeAccountAndNext(QStringLiteral("   "));
    QVERIFY(!child<QPushButton>("nextButton")->isEnabled());
    QVERIFY(child<ProgressIndicator>("identifySecurityProfileProgress")->isAnimating());
    QVERIFY(child<CustomTextField>("usernameOrEmailField")->isReadOnly());
    QTRY_VERIFY(lookupSettled());
    QVERIFY(accountMessageShows(QStringLiteral("Account not found")));
    QCOMPARE(m_sim.sim().requestCount(VeloraSimulator::Endpoint::SecurityProfile), 1);
    QCOMPARE(m_sim.sim()
                 .lastRequest(VeloraSimulator::Endpoint::SecurityProfile)
                 .queryValue(QStringLiteral("user")),
             QStringLiteral("   "));
    typeAccountAndNext(QStringLiteral("nobody@example.com"));
    QTRY_VERIFY(lookupSettled());
    QVERIFY(accountMessageShows(QStringLiteral("Account not found")));
    snapshot(QStringLiteral("4-account-not-found"));

    // Social-login accounts cannot sign in here; the window stays in account entry.
    QVERIFY(m_sim.sim().injectFault(QString::fromLatin1(VeloraSimulator::Endpoint::SecurityProfile),
                                    Fault::delay(300).times(1)));
    typeAccountAndNext(QString::fromLatin1(VeloraSimulator::FbUser));
    QVERIFY(child<ProgressIndicator>("identifySecurityProfileProgress")->isVisible());
    QVERIFY(!accountMessageShows(QStringLiteral("Account not found")));
    snapshot(QStringLiteral("3-looking-up"));
    QTRY_VERIFY(lookupSettled());
    QVERIFY(accountMessageShows(QStringLiteral("Account not supported")));
    QCOMPARE(text(TamberDataModel::sharedData()->authenticationType), QStringLiteral("FB"));
    QVERIFY(child<QPushButton>("nextButton")->isVisible());
    QVERIFY(!child<QWidget>("passwordBlockView")->isVisible());

    // Next twice in quick succession (button and Return) starts one lookup.
    m_sim.sim().clearRequests();
    typeAccountAndNext(QString::fromLatin1(VeloraSimulator::FbUser));
    QTest::keyClick(child<CustomTextField>("usernameOrEmailField"), Qt::Key_Return);
    QTest::mouseClick(child<QPushButton>("nextButton"), Qt::LeftButton);
    QTRY_VERIFY(lookupSettled());
    QCOMPARE(m_sim.sim().requestCount(VeloraSimulator::Endpoint::SecurityProfile), 1);
}

void tst_PasswordLogin::lookupFailuresShowPlatformTextOrAccountNotFound() {
    openWindow();
    struct Case {
        QString endpoint; // empty: the API host below fails to connect
        Fault fault;
        int timeoutMs;
        QString message;
        QString host;
    };
    const QString token = QString::fromLatin1(VeloraSimulator::Endpoint::Token);
    const QString profile = QString::fromLatin1(VeloraSimulator::Endpoint::SecurityProfile);
    const QList<Case> cases{
        // No endpoint: the host refuses connections (nothing listens on port 1), has no
        // address, or no route leads to it.
        {QString(), Fault::refuse(), 60000, QStringLiteral("Could not connect to the server."),
         QStringLiteral("localhost:1")},
        {QString(), Fault::refuse(), 60000,
         QStringLiteral("A server with the specified hostname could not be found."),
         VeloraSimulator::unknownHost()},
        {QString(), Fault::refuse(), 60000,
         QStringLiteral("The Internet connection appears to be offline."),
         QStringLiteral("224.0.0.1:443")},
        {profile,
         Fault::closeMidBody(),
         60000,
         QStringLiteral("The network connection was lost."),
         {}},
        {token, Fault::delay(3000), 300, QStringLiteral("The request timed out."), {}},
        {profile, Fault::httpError(500), 60000, QStringLiteral("Account not found"), {}},
        {profile, Fault::garbage(), 60000, QStringLiteral("Account not found"), {}},
        {profile, Fault::empty(), 60000, QStringLiteral("Account not found"), {}},
        {token, Fault::httpError(401), 60000, QStringLiteral("Account not found"), {}},
    };
    for (const Case& c : cases) {
        m_sim.sim().clearFaults();
        if (c.endpoint.isEmpty()) {
            TamberDataModel::sharedData()->apiHost = c.host;
        } else {
            TamberDataModel::sharedData()->apiHost = m_sim.sim().apiHost();
            QVERIFY(m_sim.sim().injectFault(c.endpoint, c.fault));
        }
        ServiceCall::setTransferTimeoutMs(c.timeoutMs);
        typeAccountAndNext(kPasswordUser);
        // Whatever fails, the window comes back: spinner stopped, Next enabled, field editable.
        QTRY_VERIFY2_WITH_TIMEOUT(lookupSettled(), qPrintable(c.endpoint + c.message), 10000);
        QVERIFY2(accountMessageShows(c.message),
                 qPrintable(c.endpoint + QStringLiteral(": ") +
                            child<QLabel>("accountNotFoundLabel")->text()));
        QVERIFY(!child<QWidget>("passwordBlockView")->isVisible());
    }
    // And once the service answers again, the same window goes on normally.
    m_sim.sim().clearFaults();
    ServiceCall::setTransferTimeoutMs(60000);
    reachPasswordBlock();
}

void tst_PasswordLogin::passwordBlockCancelAndWrongPassword() {
    openWindow();
    reachPasswordBlock();
    auto* account = child<CustomTextField>("usernameOrEmailField");
    auto* password = child<CustomTextField>("passwordField");
    // Password entry: the name becomes a bold label; Next, Quit and sign-up are gone.
    QVERIFY(account->hasLabelLook());
    QVERIFY(account->isReadOnly());
    QVERIFY(account->font().bold());
    QCOMPARE(account->text(), kPasswordUser);
    QVERIFY(!child<QPushButton>("nextButton")->isVisible());
    QVERIFY(!child<QPushButton>("quitButton")->isVisible());
    QVERIFY(!child<QWidget>("signUpView")->isVisible());
    QTRY_VERIFY(password->hasFocus());
    snapshot(QStringLiteral("5-password"));
    // The field's own action right after Next was silent.
    QVERIFY(!child<QLabel>("invalidPassword")->isVisible());
    QVERIFY(!m_controller->initiatedFromNext());
    QCOMPARE(passwordGrants(m_sim.sim()), 0);

    // A Login the user really submits with no password asks for one.
    QTest::mouseClick(child<QPushButton>("loginButton"), Qt::LeftButton);
    QVERIFY(passwordMessageShows(QStringLiteral("Specify Password")));
    QCOMPARE(passwordGrants(m_sim.sim()), 0);
    // Typing clears it.
    QTest::keyClicks(password, QStringLiteral("wrong"));
    QVERIFY(!child<QLabel>("invalidPassword")->isVisible());

    // A wrong password: message, Login and Cancel back, the typed text kept.
    QVERIFY(m_sim.sim().injectFault(QString::fromLatin1(VeloraSimulator::Endpoint::Token),
                                    Fault::delay(300).times(1)));
    QTest::keyClick(password, Qt::Key_Return);
    QVERIFY(!child<QPushButton>("loginButton")->isEnabled());
    QVERIFY(!child<QPushButton>("cancelButton")->isEnabled());
    QVERIFY(password->isReadOnly());
    QVERIFY(child<ProgressIndicator>("passwordAuthenticationInProgress")->isAnimating());
    snapshot(QStringLiteral("6-signing-in"));
    QTRY_VERIFY(passwordMessageShows(QStringLiteral("Invalid Password")));
    QVERIFY(child<QPushButton>("loginButton")->isEnabled());
    QVERIFY(child<QPushButton>("cancelButton")->isEnabled());
    QVERIFY(!password->isReadOnly());
    QVERIFY(!child<ProgressIndicator>("passwordAuthenticationInProgress")->isVisible());
    QCOMPARE(password->text(), QStringLiteral("wrong"));
    snapshot(QStringLiteral("7-invalid-password"));
    QVERIFY(!TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token));
    QCOMPARE(passwordGrants(m_sim.sim()), 1);

    // Cancel: account entry with the same name, in the regular font, editable.
    QTest::mouseClick(child<QPushButton>("cancelButton"), Qt::LeftButton);
    QVERIFY(!child<QWidget>("passwordBlockView")->isVisible());
    QVERIFY(child<QPushButton>("nextButton")->isVisible());
    QVERIFY(child<QPushButton>("quitButton")->isVisible());
    QVERIFY(child<QWidget>("signUpView")->isVisible());
    QCOMPARE(account->text(), kPasswordUser);
    QVERIFY(!account->font().bold());
    QVERIFY(!account->hasLabelLook());
    QTRY_VERIFY(account->hasFocus());

    // Next again: a new password block with an empty field and no message.
    QTest::mouseClick(child<QPushButton>("nextButton"), Qt::LeftButton);
    QTRY_VERIFY(child<QWidget>("passwordBlockView")->isVisible());
    QVERIFY(password->text().isEmpty());
    QVERIFY(!child<QLabel>("invalidPassword")->isVisible());
}

void tst_PasswordLogin::successStoresTokenAndPostsOnce() {
    Posted success(QStringLiteral("PASSWORD_CONFIG_SUCCESSFUL"));
    LogSpy logs;
    openWindow();
    reachPasswordBlock();
    QTest::keyClicks(child<CustomTextField>("passwordField"), kPassword);
    QTest::mouseClick(child<QPushButton>("loginButton"), Qt::LeftButton);
    QTRY_COMPARE(success.count, 1);

    const TamberDataModel* model = TamberDataModel::sharedData();
    const QString token = text(model->access_token);
    QVERIFY(!token.isEmpty());
    const IssuedToken issued = m_sim.sim().tokenInfo(token);
    QCOMPARE(issued.kind, QStringLiteral("user"));
    QCOMPARE(issued.userId, m_sim.sim().userIdOf(kPasswordUser));
    QCOMPARE(text(model->username), kPasswordUser);
    QCOMPARE(text(model->userId), issued.userId);
    // The user's details came along before success was announced.
    QVERIFY(m_sim.sim().requestCount(VeloraSimulator::Endpoint::User) >= 1);
    QVERIFY(TamberDataModel::isPresent(model->email));
    // Done: spinner stopped, Cancel stays disabled while the window is about to close.
    QVERIFY(!child<ProgressIndicator>("passwordAuthenticationInProgress")->isAnimating());
    QVERIFY(!child<QPushButton>("cancelButton")->isEnabled());
    QVERIFY(!child<QLabel>("invalidPassword")->isVisible());
    QCoreApplication::processEvents();
    QCOMPARE(success.count, 1);

    // The password and the token never reach a log line.
    QVERIFY(logs.contains(Log::Info, QStringLiteral("PASSWORD BLOCK")));
    QVERIFY(logs.contains(Log::Debug, QStringLiteral("Login button action")));
    for (const LogSpy::Line& line : logs.lines()) {
        QVERIFY2(!line.message.contains(kPassword), qPrintable(line.message));
        QVERIFY2(!line.message.contains(token), qPrintable(line.message));
    }
    m_controller.reset();
    QVERIFY(logs.contains(Log::Verbose,
                          QStringLiteral("******** DEALLOC: <PasswordLoginWindowController: 0x"),
                          true));
}

void tst_PasswordLogin::grantFailuresKeepTheWindowUsable() {
    Posted success(QStringLiteral("PASSWORD_CONFIG_SUCCESSFUL"));
    LogSpy logs;
    openWindow();
    reachPasswordBlock();
    auto* password = child<CustomTextField>("passwordField");
    QTest::keyClicks(password, kPassword);

    // The grant's connection drops: the platform's text.
    QVERIFY(m_sim.sim().injectFault(QString::fromLatin1(VeloraSimulator::Endpoint::Token),
                                    Fault::closeMidBody()));
    QTest::mouseClick(child<QPushButton>("loginButton"), Qt::LeftButton);
    QTRY_VERIFY(passwordMessageShows(QStringLiteral("The network connection was lost.")));
    QVERIFY(child<QPushButton>("loginButton")->isEnabled());
    QVERIFY(child<QPushButton>("cancelButton")->isEnabled());
    QVERIFY(logs.contains(Log::Debug, QStringLiteral("In Password error block")));
    QCOMPARE(success.count, 0);

    // And with the service healthy again the same window signs in.
    m_sim.sim().clearFaults();
    QTest::mouseClick(child<QPushButton>("loginButton"), Qt::LeftButton);
    QTRY_COMPARE(success.count, 1);
}

void tst_PasswordLogin::windowClosedMidSignInKeepsNoToken_data() {
    QTest::addColumn<QString>("slowEndpoint");
    QTest::newRow("during the grant") << QString::fromLatin1(VeloraSimulator::Endpoint::Token);
    QTest::newRow("during the details") << QString::fromLatin1(VeloraSimulator::Endpoint::User);
}

// A window closed by the user while signing in leaves no token behind, in memory or stored,
// whenever the late answers come: the next click must open sign-in, not an empty menu.
void tst_PasswordLogin::windowClosedMidSignInKeepsNoToken() {
    QFETCH(QString, slowEndpoint);
    openWindow();
    reachPasswordBlock();
    QTest::keyClicks(child<CustomTextField>("passwordField"), kPassword);
    QVERIFY(m_sim.sim().injectFault(slowEndpoint, Fault::delay(800)));
    QTest::mouseClick(child<QPushButton>("loginButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.sim().requestCount(slowEndpoint) > 0, 15000);
    const int answered =
        m_sim.sim().requestCount(QString::fromLatin1(VeloraSimulator::Endpoint::User));
    m_controller.reset();

    // Both late answers have come and gone (the details are fetched only after a grant).
    QTest::qWait(1500);
    QCOMPARE(m_sim.sim().requestCount(QString::fromLatin1(VeloraSimulator::Endpoint::User)),
             answered);
    QVERIFY(!TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token));
    QVERIFY(!PreferencesStore(PreferencesStore::defaultPath())
                 .contains(QStringLiteral("access_token")));
}

void tst_PasswordLogin::userDetailsFailureSaysSignedInAndKeepsNoToken_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("503") << Fault::httpError(503)
                         << QStringLiteral("the service failed to process the request");
    QTest::newRow("connection cut")
        << Fault::closeMidBody() << QStringLiteral("the network connection was lost");
    QTest::newRow("garbage") << Fault::garbage()
                             << QStringLiteral("the service's reply could not be read");
}

void tst_PasswordLogin::userDetailsFailureSaysSignedInAndKeepsNoToken() {
    QFETCH(Fault, fault);
    QFETCH(QString, reason);
    Posted success(QStringLiteral("PASSWORD_CONFIG_SUCCESSFUL"));
    LogSpy logs;
    openWindow();
    reachPasswordBlock();
    QTest::keyClicks(child<CustomTextField>("passwordField"), kPassword);

    // The password is right, the user details fail: no "Invalid Password", and no token.
    QVERIFY(m_sim.sim().injectFault(QString::fromLatin1(VeloraSimulator::Endpoint::User), fault));
    QTest::mouseClick(child<QPushButton>("loginButton"), Qt::LeftButton);
    const QString message =
        QStringLiteral("Signed in, but your account details could not be loaded: %1. Try again.")
            .arg(reason);
    QTRY_VERIFY2(passwordMessageShows(message),
                 qPrintable(child<QLabel>("invalidPassword")->text()));
    snapshot(QStringLiteral("5-details-failed"));
    QVERIFY(!TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token));
    QVERIFY(!TamberDataModel::isPresent(TamberDataModel::sharedData()->userId));
    PreferencesStore store(PreferencesStore::defaultPath());
    QVERIFY(!store.contains(QStringLiteral("access_token")));
    QVERIFY(child<QPushButton>("loginButton")->isEnabled());
    QVERIFY(child<QPushButton>("cancelButton")->isEnabled());
    QVERIFY(!child<ProgressIndicator>("passwordAuthenticationInProgress")->isVisible());
    QVERIFY(logs.contains(Log::Error, QStringLiteral("error")));
    QCOMPARE(success.count, 0);

    // Trying again with the service healthy signs in, with the token kept this time.
    m_sim.sim().clearFaults();
    QTest::mouseClick(child<QPushButton>("loginButton"), Qt::LeftButton);
    QTRY_COMPARE(success.count, 1);
    QVERIFY(TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token));
}

void tst_PasswordLogin::calendarIsAskedOnlyWhileNoneIsStored() {
    const VeloraSimulator& sim = m_sim.sim();
    TamberDataModel::sharedData()->calendar = QStringLiteral("apple_calendar");
    const qsizetype before = sim.statsEvents().size();
    // Signing in again after a sign-out: straight to the account name, the choice kept.
    openWindow(false);
    QVERIFY(!child<QWidget>("chooseCalendarView")->isVisible());
    QVERIFY(child<QWidget>("authenticationView")->isVisible());
    QTRY_VERIFY(child<CustomTextField>("usernameOrEmailField")->hasFocus());
    reachPasswordBlock();
    QTest::keyClicks(child<CustomTextField>("passwordField"), kPassword);
    Posted success(QStringLiteral("PASSWORD_CONFIG_SUCCESSFUL"));
    QTest::mouseClick(child<QPushButton>("loginButton"), Qt::LeftButton);
    QTRY_COMPARE(success.count, 1);
    QCOMPARE(text(TamberDataModel::sharedData()->calendar), QStringLiteral("apple_calendar"));
    QTest::qWait(300); // a stray usage event would have reached the simulator by now
    const QJsonArray all = sim.statsEvents();
    for (qsizetype i = before; i < all.size(); ++i) {
        QVERIFY(all.at(i).toObject().value(QStringLiteral("event")).toString() !=
                QLatin1String("initial_calendar"));
    }
}

void tst_PasswordLogin::samlProfileHandsOverToSingleSignOn() {
    Posted saml(QStringLiteral("SAML_CONFIG_REQUESTED"));
    openWindow();
    typeAccountAndNext(QString::fromLatin1(VeloraSimulator::SamlUser));
    QTRY_COMPARE(saml.count, 1);
    const TamberDataModel* model = TamberDataModel::sharedData();
    QCOMPARE(text(model->authenticationType), QStringLiteral("SAML"));
    QCOMPARE(text(model->enterpriseId), QString::fromLatin1(VeloraSimulator::SamlEnterprise));
    QVERIFY(TamberDataModel::isPresent(model->idpURL));
    // No password block and no message: the controller takes over from here.
    QVERIFY(lookupSettled());
    QVERIFY(!child<QWidget>("passwordBlockView")->isVisible());
    QVERIFY(!child<QLabel>("accountNotFoundLabel")->isVisible());
    QCoreApplication::processEvents();
    QCOMPARE(saml.count, 1);
}

void tst_PasswordLogin::optionsSheetChangesTheHostOfTheNextCall() {
    TamberDataModel* model = TamberDataModel::sharedData();
    // Pointed at a port where nothing listens, as after a typo in an earlier run.
    model->apiHost = QStringLiteral("localhost:1");
    openWindow();
    ApplicationOptionsPanel* sheet = m_controller->applicationOptionsPanel();
    QVERIFY(sheet && !sheet->isVisible());

    // Nine clicks on the logo: nothing; the tenth opens the sheet (one turn later).
    auto* logo = child<TamberImageView>("logoImageView");
    quint64 t = 5'000'000;
    const auto click = [&] {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), logo->mapToGlobal(QPointF(5, 5)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        press.setTimestamp(t += 50);
        QCoreApplication::sendEvent(logo, &press);
    };
    for (int i = 0; i < 9; ++i) {
        click();
    }
    QCoreApplication::processEvents();
    QVERIFY(!sheet->isVisible());
    click();
    QTRY_VERIFY(sheet->isVisible());
    auto* host = sheet->findChild<CustomTextField*>(QStringLiteral("applicationServerField"));
    QVERIFY(host);
    QCOMPARE(host->text(), QStringLiteral("localhost:1")); // the host in use
    QCOMPARE(host->placeholderText(), BundleInfo::defaultApiHost());
    QVERIFY(!sheet->uploadSuccessful()->isVisible());

    // Every edit sets the host at once; an emptied field means the standard host.
    host->selectAll();
    QTest::keyClick(host, Qt::Key_Backspace);
    QCOMPARE(text(model->apiHost), BundleInfo::defaultApiHost());
    QTest::keyClicks(host, m_sim.sim().apiHost());
    QCOMPARE(text(model->apiHost), m_sim.sim().apiHost());
    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("closeOptionsButton")),
                      Qt::LeftButton);
    QTRY_VERIFY(!sheet->isVisible());
    QCOMPARE(text(model->apiHost), m_sim.sim().apiHost());

    // The next call goes to the new host.
    reachPasswordBlock();
    QCOMPARE(m_sim.sim().requestCount(VeloraSimulator::Endpoint::SecurityProfile), 1);

    // Closing the sheet with an empty field stores the standard host, so every address has a
    // host at once, not only the token request.
    m_controller->showApplicationServerOptions();
    QTRY_VERIFY(sheet->isVisible());
    host->clear();
    m_controller->closeApplicationServerOptions(sheet);
    QTRY_VERIFY(!sheet->isVisible());
    QCOMPARE(text(model->apiHost), BundleInfo::defaultApiHost());
    const QString standard = QStringLiteral("https://%1/").arg(BundleInfo::defaultApiHost());
    QVERIFY(TamberDataModel::validateOAuthTokenURL().startsWith(standard));
    const QUrl signUp(TamberDataModel::signUpURL());
    QVERIFY(!signUp.host().isEmpty() && !signUp.toString().contains(QStringLiteral("(null)")));
    TamberDataModel::loadDataFromBundle();
    QCOMPARE(text(model->apiHost), BundleInfo::defaultApiHost());
    // A later run still sees the host stored at the sheet's end.
    model->apiHost = QStringLiteral("api.private.example");
    m_controller->showApplicationServerOptions();
    QTRY_VERIFY(sheet->isVisible());
    QCOMPARE(host->text(), QStringLiteral("api.private.example"));
    snapshot(QStringLiteral("8-options"));
    m_controller->closeApplicationServerOptions(sheet);
    TamberDataModel::loadDataFromBundle();
    QCOMPARE(text(model->apiHost), QStringLiteral("api.private.example"));

    // Without a sender (the window being discarded) the gesture stops opening the sheet.
    m_controller->closeApplicationServerOptions();
    NotificationCenter::defaultCenter().post(QStringLiteral("SHOWAPPLICATIONSERVEROPTIONS"));
    QCoreApplication::processEvents();
    QVERIFY(!sheet->isVisible());
}

void tst_PasswordLogin::optionsSheetUploadCancelsAndReports() {
    // The upload operation itself is installed by the log-upload code; here a recording one.
    QList<QPointer<QObject>> uploads;
    QList<ApplicationOptionsPanel::LogUploadFinished> finishers;
    ApplicationOptionsPanel::setLogUploadStarter(
        [&](ApplicationOptionsPanel::LogUploadFinished finished) {
            uploads.append(new QObject);
            finishers.append(std::move(finished));
            return uploads.last().data();
        });
    openWindow();
    m_controller->showApplicationServerOptions();
    ApplicationOptionsPanel* sheet = m_controller->applicationOptionsPanel();
    QTRY_VERIFY(sheet->isVisible());
    auto* link = sheet->findChild<NSTextFieldClickable*>(QStringLiteral("uploadLogsButton"));
    QVERIFY(link);

    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(uploads.size(), 1);
    QVERIFY(sheet->uploadProgressIndicator()->isAnimating());
    QVERIFY(!sheet->uploadSuccessful()->isVisible());
    // A second press cancels the running upload and starts another.
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(uploads.size(), 2);
    QVERIFY(uploads[0].isNull());
    QCOMPARE(sheet->uploadConnection(), uploads[1].data());
    // Success: spinner stops, the success icon shows.
    finishers[1](false, {});
    QVERIFY(!sheet->uploadProgressIndicator()->isAnimating());
    QVERIFY(sheet->uploadSuccessful()->isVisible());
    QCOMPARE(sheet->uploadSuccessful()->property("failed").toBool(), false);
    QVERIFY(!sheet->uploadConnection());
    // Failure shows the failure icon.
    QTest::mouseClick(link, Qt::LeftButton);
    finishers[2](true, QStringLiteral("HTTP 500"));
    QCOMPARE(sheet->uploadSuccessful()->toolTip(), QStringLiteral("HTTP 500"));
    QCOMPARE(sheet->uploadSuccessful()->property("failed").toBool(), true);

    // Closing the sign-in window while an upload runs cancels it.
    QTest::mouseClick(link, Qt::LeftButton);
    QVERIFY(!uploads[3].isNull());
    m_controller.reset();
    QVERIFY(uploads[3].isNull());

    // The real upload, signed out: the newest log file goes out with an empty e-mail value.
    ApplicationOptionsPanel::setLogUploadStarter({});
    Logging::start();
    TLOG_ERROR(QStringLiteral("a line for the log file"));
    openWindow();
    m_controller->showApplicationServerOptions();
    sheet = m_controller->applicationOptionsPanel();
    QTRY_VERIFY(sheet->isVisible());
    link = sheet->findChild<NSTextFieldClickable*>(QStringLiteral("uploadLogsButton"));
    QTest::mouseClick(link, Qt::LeftButton);
    QTRY_VERIFY(!sheet->uploadProgressIndicator()->isAnimating());
    QCOMPARE(sheet->uploadSuccessful()->property("failed").toBool(), false);
    const RecordedRequest put = m_sim.sim().lastRequest(VeloraSimulator::Endpoint::LogUpload);
    QVERIFY(put.body.contains("a line for the log file"));
    QVERIFY(put.target.endsWith("&email="));

    // Escape ends the sheet and the upload it runs.
    m_sim.sim().injectFault(VeloraSimulator::Endpoint::LogUpload, Fault::delay(5000));
    QTest::mouseClick(link, Qt::LeftButton);
    QPointer<QObject> running = sheet->uploadConnection();
    QVERIFY(running);
    QTest::keyClick(sheet, Qt::Key_Escape);
    QTRY_VERIFY(!sheet->isVisible());
    QVERIFY(running.isNull());
    QVERIFY(!sheet->uploadProgressIndicator()->isAnimating());
}

void tst_PasswordLogin::linksAndQuit() {
    TamberDataModel::sharedData()->apiHost = QStringLiteral("api.private.example");
    openWindow();
    QTest::mouseClick(child<NSTextFieldClickable>("signUp"), Qt::LeftButton);
    QCOMPARE(m_browser->urls(),
             QList<QUrl>{QUrl(QStringLiteral("https://private.example/iframe/signup"))});
    TamberDataModel::sharedData()->apiHost = m_sim.sim().apiHost();
    reachPasswordBlock();
    TamberDataModel::sharedData()->apiHost = QStringLiteral("api.private.example");
    m_browser->clear();
    QTest::mouseClick(child<NSTextFieldClickable>("forgotPassword"), Qt::LeftButton);
    QCOMPARE(m_browser->urls(),
             QList<QUrl>{QUrl(QStringLiteral("https://private.example/forgot_password/"))});
    QTest::mouseClick(child<QPushButton>("cancelButton"), Qt::LeftButton);
    QCOMPARE(m_terminations, 0);
    QTest::mouseClick(child<QPushButton>("quitButton"), Qt::LeftButton);
    QTRY_COMPARE(m_terminations, 1);
}

void tst_PasswordLogin::usageEventsOfTheWindow() {
    const VeloraSimulator& sim = m_sim.sim();
    const qsizetype before = sim.statsEvents().size();
    TamberDataModel::sharedData()->calendar = QVariant();
    openWindow(false);
    QTest::mouseClick(child<QRadioButton>("outlookCalendarOption"), Qt::LeftButton);
    QTest::mouseClick(child<NSTextFieldClickable>("signUp"), Qt::LeftButton);
    reachPasswordBlock();
    QTest::mouseClick(child<NSTextFieldClickable>("forgotPassword"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("cancelButton"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("quitButton"), Qt::LeftButton);

    // Calendar choice, sign-up and Quit each send one event; the password-reset link none.
    QTRY_COMPARE_WITH_TIMEOUT(sim.statsEvents().size() - before, 3, 15000);
    QTest::qWait(200);
    QMap<QString, QJsonObject> events;
    const QJsonArray all = sim.statsEvents();
    for (qsizetype i = before; i < all.size(); ++i) {
        const QJsonObject event = all.at(i).toObject();
        events.insert(event.value(QStringLiteral("event")).toString(), event);
    }
    QCOMPARE(events.keys(),
             (QStringList{QStringLiteral("click_signup"), QStringLiteral("initial_calendar"),
                          QStringLiteral("quit")}));
    const auto data = [&](const char* name, const char* key) {
        return events.value(QString::fromLatin1(name))
            .value(QStringLiteral("data"))
            .toObject()
            .value(QString::fromLatin1(key))
            .toString();
    };
    QCOMPARE(data("quit", "screen"), QStringLiteral("PasswordLoginWindowController"));
    QCOMPARE(data("initial_calendar", "calendar"), QStringLiteral("outlook_calendar"));
    QTRY_COMPARE(m_terminations, 1);
}

void tst_PasswordLogin::quitWaitsForItsUsageEvent_data() {
    QTest::addColumn<int>("statsDelayMs");
    QTest::addColumn<int>("minWaitMs");
    QTest::addColumn<int>("maxWaitMs");
    QTest::newRow("answered") << 0 << 0 << 1900;
    QTest::newRow("slow service: 2 s at most") << 8000 << 1900 << 4000;
}

void tst_PasswordLogin::quitWaitsForItsUsageEvent() {
    QFETCH(int, statsDelayMs);
    QFETCH(int, minWaitMs);
    QFETCH(int, maxWaitMs);
    VeloraSimulator& sim = m_sim.sim();
    openWindow();
    if (statsDelayMs)
        sim.injectFault(VeloraSimulator::Endpoint::Stats, Fault::delay(statsDelayMs));
    bool quitReceived = false;
    QElapsedTimer clock;
    PasswordLoginWindowController::setTerminateHandler([&] {
        ++m_terminations;
        for (const QJsonValue& e : sim.statsEvents())
            quitReceived |= e.toObject().value(QStringLiteral("event")) == QLatin1String("quit");
    });
    clock.start();
    QTest::mouseClick(child<QPushButton>("quitButton"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_terminations, 1, 10000);
    const qint64 waited = clock.elapsed();
    PasswordLoginWindowController::setTerminateHandler([this] { ++m_terminations; });
    // The event reached the service before the process would end.
    QVERIFY(quitReceived);
    QVERIFY2(waited >= minWaitMs && waited <= maxWaitMs, qPrintable(QString::number(waited)));
}

void tst_PasswordLogin::windowClosedDuringLookupIsHarmless() {
    Posted saml(QStringLiteral("SAML_CONFIG_REQUESTED"));
    openWindow();
    QVERIFY(m_sim.sim().injectFault(QString::fromLatin1(VeloraSimulator::Endpoint::SecurityProfile),
                                    Fault::delay(300)));
    int profileReplies = 0;
    QObject watcher;
    connect(&ServiceCall::network(), &QNetworkAccessManager::finished, &watcher,
            [&](QNetworkReply* reply) {
                profileReplies += reply->url().path().contains(QStringLiteral("security_profile"));
            });
    typeAccountAndNext(QString::fromLatin1(VeloraSimulator::SamlUser));
    QTRY_COMPARE(m_sim.sim().requestCount(VeloraSimulator::Endpoint::SecurityProfile), 1);
    m_controller.reset(); // the application lost the front: the window is discarded
    QCOMPARE(profileReplies, 0);
    QTRY_COMPARE_WITH_TIMEOUT(profileReplies, 1, 10000);
    QCoreApplication::processEvents();
    QCOMPARE(saml.count, 0);
    // A new window after that works from the start.
    m_sim.sim().clearFaults();
    openWindow();
    reachPasswordBlock();
}

TAMBER_TEST_MAIN_GUI(tst_PasswordLogin)
#include "tst_PasswordLogin.moc"
