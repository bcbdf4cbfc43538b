#include "Platform/NotificationCenter.h"
#include "TestEnvironment.h"

#include <QObject>

class tst_NotificationCenter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void deliversInOrderWithObject();
    void removalDuringDeliveryAndDestroyedObserver();
};

void tst_NotificationCenter::deliversInOrderWithObject() {
    NotificationCenter center;
    QObject a, b;
    QStringList seen;
    center.addObserver(&a, QStringLiteral("EDIT_MEETING_POPOVERREQUESTED"),
                       [&](const QVariant& o) { seen << QStringLiteral("a:") + o.toString(); });
    center.addObserver(&b, QStringLiteral("EDIT_MEETING_POPOVERREQUESTED"),
                       [&](const QVariant&) { seen << QStringLiteral("b"); });
    center.addObserver(&b, QStringLiteral("OTHER"), [&](const QVariant&) { seen << "x"; });
    center.post(QStringLiteral("EDIT_MEETING_POPOVERREQUESTED"), QStringLiteral("m1"));
    center.post(QStringLiteral("NOBODY_LISTENS"));
    QCOMPARE(seen, (QStringList{QStringLiteral("a:m1"), QStringLiteral("b")}));
}

void tst_NotificationCenter::removalDuringDeliveryAndDestroyedObserver() {
    NotificationCenter center;
    QObject first;
    int secondCalls = 0;
    {
        QObject second;
        center.addObserver(&first, QStringLiteral("N"),
                           [&](const QVariant&) { center.removeObserver(&second); });
        center.addObserver(&second, QStringLiteral("N"), [&](const QVariant&) { ++secondCalls; });
        center.post(QStringLiteral("N"));
        QCOMPARE(secondCalls, 0); // removed by an earlier handler of the same post
        center.addObserver(&second, QStringLiteral("N"), [&](const QVariant&) { ++secondCalls; });
    }
    // The destroyed observer is gone; posting must not call into freed state.
    center.removeObserver(&first);
    center.post(QStringLiteral("N"));
    QCOMPARE(secondCalls, 0);
    QVERIFY(!center.hasObservers(QStringLiteral("N")));
}

TAMBER_TEST_MAIN_CORE(tst_NotificationCenter)
#include "tst_NotificationCenter.moc"
