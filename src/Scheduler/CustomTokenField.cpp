#include "CustomTokenField.h"

#include "SchedulerValidation.h"
#include "TokenFlowLayout.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QStringListModel>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kChipTextWidth = 230;

const char* const kFieldStyle = R"(
CustomTokenField { border: 1px solid #c5cad3; border-radius: 5px; background: #ffffff; }
CustomTokenField[tmbFocus="true"] { border: 1px solid #0c61fe; }
CustomTokenField[tmbError="true"] { border: 1px solid rgb(201, 0, 0); }
QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; border: none; }
QLineEdit#tokenEditor { border: none; background: transparent; padding: 2px 2px; }
QFrame#tokenChip { background: #e6eefe; border-radius: 9px; }
QFrame#tokenChip[tmbInvalid="true"] { background: #fde8e8; }
QFrame#tokenChip QLabel { color: #1d2330; padding: 1px 0px 1px 7px; }
QToolButton#tokenRemove { border: none; color: #5f6670; padding: 0px 5px 0px 2px; }
)";

// Separators of a typed or pasted list: commas, semicolons and blanks (line breaks, tabs).
const QRegularExpression& separators() {
    static const QRegularExpression pattern(QStringLiteral("[,;\\s]+"));
    return pattern;
}

} // namespace

CustomTokenField::CustomTokenField(QWidget* parent)
    : QFrame(parent) {
    setStyleSheet(QString::fromLatin1(kFieldStyle));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 3, 4, 3);
    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_container = new QWidget;
    m_flow = new TokenFlowLayout(m_container, 4);
    m_flow->setContentsMargins(0, 0, 0, 0);
    m_editor = new QLineEdit(m_container);
    m_editor->setObjectName(QStringLiteral("tokenEditor"));
    m_editor->setMinimumWidth(120);
    m_editor->installEventFilter(this);
    m_flow->addWidget(m_editor);
    m_scroll->setWidget(m_container);
    outer->addWidget(m_scroll);
    // Three rows of chips show at once; more scroll.
    setMinimumHeight(34);
    setMaximumHeight(88);
    setFocusProxy(m_editor);

    m_contacts = new QStringListModel(this);
    m_completer = new QCompleter(m_contacts, this);
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setFilterMode(Qt::MatchStartsWith);
    m_completer->setModelSorting(QCompleter::UnsortedModel);
    m_completer->setCompletionMode(QCompleter::PopupCompletion);
    m_completer->setMaxVisibleItems(8);
    m_editor->setCompleter(m_completer);
    connect(m_completer, qOverload<const QString&>(&QCompleter::activated), this,
            [this](const QString& chosen) {
                // After the completer has written its choice into the entry.
                QMetaObject::invokeMethod(
                    this,
                    [this, chosen] {
                        m_editor->clear();
                        addTokens({chosen});
                    },
                    Qt::QueuedConnection);
            });
    connect(m_editor, &QLineEdit::textEdited, this, &CustomTokenField::onEdited);
    connect(m_editor, &QLineEdit::returnPressed, this, &CustomTokenField::commitPending);
    restyle();
}

QString CustomTokenField::text() const {
    QStringList parts = m_tokens;
    if (!m_editor->text().isEmpty()) {
        parts.append(m_editor->text());
    }
    return parts.join(QLatin1Char(','));
}

void CustomTokenField::setTokens(const QStringList& tokens) {
    m_tokens = tokens;
    m_editor->clear();
    rebuildChips();
    Q_EMIT textChanged();
}

void CustomTokenField::setContacts(const QStringList& contacts) {
    m_contacts->setStringList(contacts);
}

QStringList CustomTokenField::completions(const QStringList& contacts, const QString& typed) {
    const QString prefix = typed.toLower();
    QStringList found;
    for (const QString& contact : contacts) {
        if (contact.toLower().startsWith(prefix)) {
            found.append(contact);
        }
    }
    return found;
}

void CustomTokenField::setState(bool error) {
    m_state = error;
    restyle();
}

void CustomTokenField::setReadOnly(bool readOnly) {
    m_readOnly = readOnly;
    m_editor->setReadOnly(readOnly);
    rebuildChips();
}

void CustomTokenField::commitPending() {
    if (m_completer->popup() && m_completer->popup()->isVisible()) {
        m_completer->popup()->hide();
    }
    const QString pending = m_editor->text();
    m_editor->clear();
    addTokens(pending.split(separators(), Qt::SkipEmptyParts));
}

void CustomTokenField::onEdited(const QString& text) {
    if (!text.contains(separators())) {
        Q_EMIT textChanged();
        return;
    }
    // Everything before the last separator becomes chips; what follows it is still typed.
    QStringList parts = text.split(separators());
    const QString rest = parts.takeLast();
    m_editor->setText(rest);
    parts.removeAll(QString());
    addTokens(parts);
    if (parts.isEmpty()) {
        Q_EMIT textChanged();
    }
}

void CustomTokenField::addTokens(const QStringList& parts) {
    if (parts.isEmpty()) {
        return;
    }
    m_tokens.append(parts);
    rebuildChips();
    Q_EMIT textChanged();
}

void CustomTokenField::removeToken(int index) {
    if (index < 0 || index >= m_tokens.size()) {
        return;
    }
    m_tokens.removeAt(index);
    rebuildChips();
    Q_EMIT textChanged();
}

QWidget* CustomTokenField::makeChip(int index) {
    const QString address = m_tokens[index];
    auto* chip = new QFrame(m_container);
    chip->setObjectName(QStringLiteral("tokenChip"));
    chip->setProperty("tmbInvalid", !SchedulerValidation::isValidEmail(address));
    chip->setToolTip(address);
    auto* row = new QHBoxLayout(chip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* label = new QLabel(chip);
    label->setTextFormat(Qt::PlainText);
    label->setText(label->fontMetrics().elidedText(address, Qt::ElideMiddle, kChipTextWidth));
    row->addWidget(label);
    if (!m_readOnly) {
        auto* remove = new QToolButton(chip);
        remove->setObjectName(QStringLiteral("tokenRemove"));
        remove->setText(QStringLiteral("\u00d7"));
        remove->setCursor(Qt::PointingHandCursor);
        remove->setFocusPolicy(Qt::NoFocus);
        connect(remove, &QToolButton::clicked, this,
                [this, chip] { removeToken(int(m_chips.indexOf(chip))); });
        row->addWidget(remove);
    } else {
        label->setStyleSheet(QStringLiteral("padding-right: 7px;"));
    }
    return chip;
}

void CustomTokenField::rebuildChips() {
    qDeleteAll(m_chips);
    m_chips.clear();
    for (int i = 0; i < m_tokens.size(); ++i) {
        QWidget* chip = makeChip(i);
        m_flow->insertWidget(i, chip);
        m_chips.append(chip);
    }
    m_container->updateGeometry();
    // Keep the entry in view: it follows the last chip.
    QMetaObject::invokeMethod(
        this, [this] { m_scroll->ensureWidgetVisible(m_editor); }, Qt::QueuedConnection);
}

bool CustomTokenField::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_editor &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        restyle();
        if (event->type() == QEvent::FocusOut && !m_readOnly &&
            !(m_completer->popup() && m_completer->popup()->isVisible())) {
            commitPending();
        }
    }
    if (watched == m_editor && event->type() == QEvent::KeyPress && !m_readOnly) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Backspace && m_editor->text().isEmpty() && !m_tokens.isEmpty()) {
            removeToken(int(m_tokens.size()) - 1);
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void CustomTokenField::mousePressEvent(QMouseEvent* event) {
    m_editor->setFocus(Qt::MouseFocusReason);
    QFrame::mousePressEvent(event);
}

void CustomTokenField::restyle() {
    setProperty("tmbError", m_state);
    setProperty("tmbFocus", m_editor && m_editor->hasFocus());
    style()->unpolish(this);
    style()->polish(this);
    update();
}
