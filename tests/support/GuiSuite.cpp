#include "GuiSuite.h"

#include "Platform/PreferencesStore.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QTest>

void GuiSuite::click(QAbstractButton* button) {
    QVERIFY(button && button->isVisible() && button->isEnabled());
    const bool marked = qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button);
    QTest::mouseClick(button, Qt::LeftButton, {},
                      marked ? QPoint(8, button->height() / 2) : button->rect().center());
}

QVariantMap GuiSuite::storedDrafts() {
    return PreferencesStore(PreferencesStore::defaultPath())
        .value(QStringLiteral("meetingDrafts"))
        .toMap();
}

QJsonObject GuiSuite::serviceMeeting(MenuSession& session, const QString& title) {
    for (const QJsonValue& m : session.sim().meetings(session.session().userId()))
        if (m[QStringLiteral("title")].toString() == title)
            return m.toObject();
    return {};
}

bool GuiSuite::showAndExpose(QWidget* widget) {
    widget->show();
    return QTest::qWaitForWindowExposed(widget);
}
