#include "Platform/NotificationCenter.h"
#include "TestEnvironment.h"

#include <QObject>

using namespace Qt::StringLiterals;

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
    center.addObserver(&a, u"EDIT_MEETING_POPOVERREQUESTED"_s,
                       [&](const QVariant& o) { seen << u"a:"_s + o.toString(); });
    center.addObserver(&b, u"EDIT_MEETING_POPOVERREQUESTED"_s,
                       [&](const QVariant&) { seen << u"b"_s; });
    center.addObserver(&b, u"OTHER"_s, [&](const QVariant&) { seen << "x"; });
    center.post(u"EDIT_MEETING_POPOVERREQUESTED"_s, u"m1"_s);
    center.post(u"NOBODY_LISTENS"_s);
    QCOMPARE(seen, (QStringList{u"a:m1"_s, u"b"_s}));
}

void tst_NotificationCenter::removalDuringDeliveryAndDestroyedObserver() {
    NotificationCenter center;
    QObject first;
    int secondCalls = 0;
    {
        QObject second;
        center.addObserver(&first, u"N"_s,
                           [&](const QVariant&) { center.removeObserver(&second); });
        center.addObserver(&second, u"N"_s, [&](const QVariant&) { ++secondCalls; });
        center.post(u"N"_s);
        QCOMPARE(secondCalls, 0); // removed by an earlier handler of the same post
        center.addObserver(&second, u"N"_s, [&](const QVariant&) { ++secondCalls; });
    }
    // The destroyed observer is gone; posting must not call into freed state.
    center.removeObserver(&first);
    center.post(u"N"_s);
    QCOMPARE(secondCalls, 0);
    QVERIFY(!center.hasObservers(u"N"_s));
}

TAMBER_TEST_MAIN_CORE(tst_NotificationCenter)
#include "tst_NotificationCenter.moc"
