#pragma once

#include <QHash>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QString>

// Looks shared by the menu's pages, and its named images (resources/images/menu).
namespace MenuStyle {

inline QString imagePath(const QString& name) {
    return QStringLiteral(":/images/menu/%1.svg").arg(name);
}

// One icon per name for the whole run: a new QIcon would parse its SVG again and leave another
// set of rendered pixmaps in the pixmap cache each time a menu opens.
inline QIcon image(const QString& name) {
    static QHash<QString, QIcon> icons;
    auto it = icons.find(name);
    if (it == icons.end())
        it = icons.insert(name, QIcon(imagePath(name)));
    return *it;
}

// Filled product-blue button: the page's main action.
inline QString primaryButton() {
    return QStringLiteral(R"(
QPushButton {
    border: none; border-radius: 5px; padding: 7px 16px;
    background: #0c61fe; color: #ffffff; font-weight: 600;
}
QPushButton:hover { background: #2a74ff; }
QPushButton:pressed { background: #0a52d6; }
QPushButton:disabled { background: #a9c3f5; color: #eef3fd; }
)");
}

// Filled red button: an action that cannot be undone (cancelling a meeting, deleting a draft).
inline QString destructiveButton() {
    return QStringLiteral(R"(
QPushButton {
    border: none; border-radius: 5px; padding: 7px 16px;
    background: #d93025; color: #ffffff; font-weight: 600;
}
QPushButton:hover { background: #e8453a; }
QPushButton:pressed { background: #b3261e; }
QPushButton:disabled { background: #f0b4af; color: #fdf0ef; }
)");
}

// One line naming a record (a meeting's or draft's title), cut with an ellipsis to `width`.
inline QLabel* recordTitle(const QString& title, int width, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setStyleSheet(QStringLiteral("color: #1d2330; font-size: 13px;"));
    const QString line = title.simplified();
    label->setText(label->fontMetrics().elidedText(line, Qt::ElideRight, width));
    if (label->text() != line)
        label->setToolTip(line);
    return label;
}

// Outlined button: secondary actions.
inline QString secondaryButton() {
    return QStringLiteral(R"(
QPushButton {
    border: 1px solid #c5cad3; border-radius: 5px; padding: 6px 14px;
    background: #ffffff; color: #1d2330;
}
QPushButton:hover { background: #f2f5fa; }
QPushButton:pressed { background: #e4e9f2; }
QPushButton:focus { border-color: #0c61fe; }
QPushButton:disabled { color: #a0a6b0; }
)");
}

inline QString pageTitle() {
    return QStringLiteral("color: #424242; font-size: 16px; font-weight: 600;");
}

inline QString fieldCaption() {
    return QStringLiteral("color: #5f6670; font-size: 12px;");
}

inline QString errorLabel() {
    return QStringLiteral("color: #c91c1c; font-size: 11px;");
}

// A page's button in one of the looks above (primaryButton(), secondaryButton()).
inline QPushButton* button(const QString& text, const QString& name, const QString& look,
                           QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setStyleSheet(look);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

// A hidden, wrapping error line; service messages are shown as they came, never as markup.
inline QLabel* errorLine(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setStyleSheet(errorLabel());
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->hide();
    return label;
}

inline QLabel* titleLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(pageTitle());
    return label;
}

} // namespace MenuStyle
