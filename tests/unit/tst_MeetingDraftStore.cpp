#include "Models/MeetingDraftStore.h"
#include "Models/TamberDataModel.h"
#include "Platform/PreferencesStore.h"
#include "TestEnvironment.h"

#include <QObject>

namespace {

QVariantMap draft(const QString& guid, const QVariant& meetingId = {}) {
    QVariantMap d{{QStringLiteral("meetingDraftGuid"), guid},
                  {QStringLiteral("title"), QStringLiteral("Plan ") + guid}};
    if (meetingId.isValid()) {
        d.insert(QStringLiteral("numericMeetingId"), meetingId);
        d.insert(QStringLiteral("id"), QStringLiteral("svc-") + guid);
    }
    return d;
}

QVariantMap storedDrafts() {
    return PreferencesStore(PreferencesStore::defaultPath())
        .value(QStringLiteral("meetingDrafts"))
        .toMap();
}

} // namespace

class TestMeetingDraftStore : public QObject {
    Q_OBJECT

private slots:
    void init() {
        TamberDataModel::resetForTesting();
        PreferencesStore store(PreferencesStore::defaultPath());
        store.remove(QStringLiteral("meetingDrafts"));
        QVERIFY(store.flush());
    }

    // Each change reaches the file before the call returns (a kill right after loses nothing).
    void changesAreStoredAtOnce() {
        QVERIFY(MeetingDraftStore::put(draft(QStringLiteral("A"))));
        QVERIFY(MeetingDraftStore::put(draft(QStringLiteral("B"), 77)));
        QVERIFY(!MeetingDraftStore::put({{QStringLiteral("title"), QStringLiteral("no guid")}}));
        QCOMPARE(storedDrafts().keys(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));

        QVERIFY(MeetingDraftStore::remove(QStringLiteral("A")));
        QVERIFY(!MeetingDraftStore::remove(QStringLiteral("A")));
        QCOMPARE(storedDrafts().keys(), QStringList{QStringLiteral("B")});

        QCOMPARE(MeetingDraftStore::detachFrom({{QStringLiteral("numericMeetingId"), 77}}), 1);
        QVERIFY(!storedDrafts()
                     .value(QStringLiteral("B"))
                     .toMap()
                     .contains(QStringLiteral("numericMeetingId")));
    }

    void detachMatchesNormalisedIds_data() {
        QTest::addColumn<QVariant>("draftId");
        QTest::addColumn<QVariant>("cancelledId");
        QTest::addColumn<bool>("detached");
        QTest::newRow("same number") << QVariant(12345) << QVariant(12345) << true;
        QTest::newRow("number vs text")
            << QVariant(12345.0) << QVariant(QStringLiteral("12345")) << true;
        QTest::newRow("text vs number")
            << QVariant(QStringLiteral(" 12345")) << QVariant(12345LL) << true;
        QTest::newRow("other meeting") << QVariant(12346) << QVariant(12345) << false;
        QTest::newRow("draft without id") << QVariant() << QVariant(12345) << false;
        QTest::newRow("cancelled without id") << QVariant() << QVariant() << false;
        QTest::newRow("empty texts") << QVariant(QString()) << QVariant(QString()) << false;
    }
    void detachMatchesNormalisedIds() {
        QFETCH(QVariant, draftId);
        QFETCH(QVariant, cancelledId);
        QFETCH(bool, detached);
        QVERIFY(MeetingDraftStore::put(draft(QStringLiteral("D"), draftId)));
        QVERIFY(MeetingDraftStore::put(draft(QStringLiteral("other"), 99)));
        QVariantMap cancelled;
        if (cancelledId.isValid())
            cancelled.insert(QStringLiteral("numericMeetingId"), cancelledId);

        QCOMPARE(MeetingDraftStore::detachFrom(cancelled), detached ? 1 : 0);

        const QVariantMap d = TamberDataModel::sharedData()->meetingDrafts.value("D").toMap();
        QCOMPARE(d.value(QStringLiteral("title")).toString(), QStringLiteral("Plan D"));
        if (detached) {
            QVERIFY(!d.contains(QStringLiteral("numericMeetingId")));
            QVERIFY(!d.contains(QStringLiteral("id")));
            QCOMPARE(storedDrafts().value(QStringLiteral("D")).toMap(), d);
        } else if (draftId.isValid()) {
            QVERIFY(d.contains(QStringLiteral("id")));
        }
        QVERIFY(TamberDataModel::sharedData()->meetingDrafts.value("other").toMap().contains(
            QStringLiteral("id")));
    }
};

TAMBER_TEST_MAIN_CORE(TestMeetingDraftStore)
#include "tst_MeetingDraftStore.moc"
