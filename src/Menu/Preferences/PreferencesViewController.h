#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The preferences tab. For now it shows the signed-in account with Sign out and Quit; profile,
// room defaults, default calendar and support join it later.
class PreferencesViewController : public QWidget {
    Q_OBJECT
public:
    explicit PreferencesViewController(QWidget* parent = nullptr);
    ~PreferencesViewController() override;

    // Fills the account lines from the account record.
    void updateAccountDetails();

    QPushButton* signOutButton() const { return m_signOut; }
    QPushButton* quitButton() const { return m_quit; }

private:
    QLabel* m_userName = nullptr;
    QLabel* m_userDetail = nullptr;
    QPushButton* m_signOut = nullptr;
    QPushButton* m_quit = nullptr;
};
