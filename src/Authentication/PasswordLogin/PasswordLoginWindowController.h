#pragma once

#include "Models/ServiceCall.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class ApplicationOptionsPanel;
class CustomTextField;
class PasswordLoginWindow;
namespace Ui {
class PasswordLoginWindowController;
}

// The sign-in window: default-calendar choice, account name, security-profile lookup, then the
// password block (or a hand-over to single sign-on), and the hidden options sheet. It never
// closes itself: it posts "PASSWORD_CONFIG_SUCCESSFUL" or "SAML_CONFIG_REQUESTED" and the
// application controller closes it. Each sign-in gets a new controller.
class PasswordLoginWindowController : public QObject {
    Q_OBJECT
public:
    explicit PasswordLoginWindowController(QObject* parent = nullptr);
    ~PasswordLoginWindowController() override;

    // Shows the window in front and gives it the keyboard focus.
    void loadAuthenticationUI();
    QWidget* window() const;

    // Closes the options sheet. Without a sender (the window is being discarded) the controller
    // also stops listening for the ten-click gesture.
    void closeApplicationServerOptions(QObject* sender = nullptr);
    ApplicationOptionsPanel* applicationOptionsPanel() const;

    // Actions of the window's controls (public so that tests and the controller can drive them).
    void nextAction();
    void loginButtonAction();
    void cancelLoginButton();
    void quitAction();
    void launchSignUp();
    void forgotButtonAction();
    void selectDefaultCalendarOption(int row);
    void showApplicationServerOptions();

    bool initiatedFromNext() const { return m_initiatedFromNext; }

    // What Quit ends with; tests replace it. The default quits the application.
    static void setTerminateHandler(std::function<void()> handler);

    // The value stored for each row of the calendar chooser.
    static QString calendarValueForRow(int row);

Q_SIGNALS:
    // The user closed the window from its title bar: the controller is of no further use.
    void windowClosed();

private:
    void windowDidLoad();
    void enterPasswordEntryState();
    void controlTextDidChange(CustomTextField* field);
    void updateUsernameOrEmailFieldButtonStatus(CustomTextField* field, bool showError);
    void updatePasswordBlockUI(bool showError);
    void generateAccessTokenCompletionHandler();
    void generateAccessTokenErrorHandler();
    void userDetailsFailed(const std::optional<ServiceError>& error);
    void convertLabelToTextField(CustomTextField* field);
    void convertTextFieldToLable(CustomTextField* field);
    void didEndSheet();
    void setSpinner(QWidget* spinner, bool running);
    void applyStyle();

    std::unique_ptr<Ui::PasswordLoginWindowController> m_ui;
    QPointer<PasswordLoginWindow> m_window;
    QPointer<ApplicationOptionsPanel> m_applicationOptionsPanel;
    bool m_initiatedFromNext = false;
    // A grant or the user-details fetch after it is out: the token is not confirmed yet.
    bool m_signInPending = false;
};
