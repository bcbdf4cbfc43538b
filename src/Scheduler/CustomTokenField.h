#pragma once

#include <QFrame>
#include <QStringList>

class QCompleter;
class QLineEdit;
class QScrollArea;
class QStringListModel;
class TokenFlowLayout;

// Attendee addresses as chips. Comma, Enter (or the blanks of a pasted list) end a chip;
// Backspace in an empty entry removes the last one; typing offers the contacts that begin with
// the typed text. Like CustomTextField it has an error state drawn as a red border.
class CustomTokenField : public QFrame {
    Q_OBJECT
    Q_PROPERTY(bool state READ state WRITE setState)
public:
    explicit CustomTokenField(QWidget* parent = nullptr);

    // The chips and the text still being typed, separated by ",".
    QString text() const;
    QStringList tokens() const { return m_tokens; }
    void setTokens(const QStringList& tokens);
    QLineEdit* editor() const { return m_editor; }

    void setContacts(const QStringList& contacts);
    // The contacts whose lower-cased text begins with the lower-cased `typed`, in contact order.
    static QStringList completions(const QStringList& contacts, const QString& typed);
    QCompleter* completer() const { return m_completer; }

    bool state() const { return m_state; }
    void setState(bool error);
    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_readOnly; }

    // Ends the chip being typed.
    void commitPending();

Q_SIGNALS:
    // Any change of chips or typed text.
    void textChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void onEdited(const QString& text);
    void addTokens(const QStringList& parts);
    void removeToken(int index);
    void rebuildChips();
    QWidget* makeChip(int index);
    void restyle();

    QStringList m_tokens;
    QList<QWidget*> m_chips;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_container = nullptr;
    TokenFlowLayout* m_flow = nullptr;
    QLineEdit* m_editor = nullptr;
    QCompleter* m_completer = nullptr;
    QStringListModel* m_contacts = nullptr;
    bool m_state = false;
    bool m_readOnly = false;
};
