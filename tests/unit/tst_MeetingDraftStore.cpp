#include "Models/MeetingDraftStore.h"
#include "Models/TamberDataModel.h"
#include "Platform/PreferencesStore.h"
#include "TestEnvironment.h"

#include <QObject>

using namespace Qt::StringLiterals;

namespace {

QVariantMap draft(const QString& guid, const QVariant& meetingId = {}) {
    QVariantMap d{{u"meetingDraftGuid"_s, guid}, {u"title"_s, u"Plan "_s + guid}};
    if (meetingId.isValid()) {
        d.insert(u"numericMeetingId"_s, meetingId);
        d.insert(u"id"_s, u"svc-"_s + guid);
    }
    return d;
}

QVariantMap storedDrafts() {
    return PreferencesStore(PreferencesStore::defaultPath()).value(u"meetingDrafts"_s).toMap();
}

} // namespace

class TestMeetingDraftStore : public QObject {
    Q_OBJECT

private slots:
    void init() {
        TamberDataModel::resetForTesting();
        PreferencesStore store(PreferencesStore::defaultPath());
        store.remove(u"meetingDrafts"_s);
        QVERIFY(store.flush());
    }

    // Each change reaches the file before the call returns (a kill right after loses nothing).
    void changesAreStoredAtOnce() {
        QVERIFY(MeetingDraftStore::put(draft(u"A"_s)));
        QVERIFY(MeetingDraftStore::put(draft(u"B"_s, 77)));
        QVERIFY(!MeetingDraftStore::put({{u"title"_s, u"no guid"_s}}));
        QCOMPARE(storedDrafts().keys(), (QStringList{u"A"_s, u"B"_s}));

        QVERIFY(MeetingDraftStore::remove(u"A"_s));
        QVERIFY(!MeetingDraftStore::remove(u"A"_s));
        QCOMPARE(storedDrafts().keys(), QStringList{u"B"_s});

        QCOMPARE(MeetingDraftStore::detachFrom({{u"numericMeetingId"_s, 77}}), 1);
        QVERIFY(!storedDrafts().value(u"B"_s).toMap().contains(u"numericMeetingId"_s));
    }

    void detachMatchesNormalisedIds_data() {
        QTest::addColumn<QVariant>("draftId");
        QTest::addColumn<QVariant>("cancelledId");
        QTest::addColumn<bool>("detached");
        QTest::newRow("same number") << QVariant(12345) << QVariant(12345) << true;
        QTest::newRow("number vs text") << QVariant(12345.0) << QVariant(u"12345"_s) << true;
        QTest::newRow("text vs number") << QVariant(u" 12345"_s) << QVariant(12345LL) << true;
        QTest::newRow("other meeting") << QVariant(12346) << QVariant(12345) << false;
        QTest::newRow("draft without id") << QVariant() << QVariant(12345) << false;
        QTest::newRow("cancelled without id") << QVariant() << QVariant() << false;
        QTest::newRow("empty texts") << QVariant(QString()) << QVariant(QString()) << false;
    }
    void detachMatchesNormalisedIds() {
        QFETCH(QVariant, draftId);
        QFETCH(QVariant, cancelledId);
        QFETCH(bool, detached);
        QVERIFY(MeetingDraftStore::put(draft(u"D"_s, draftId)));
        QVERIFY(MeetingDraftStore::put(draft(u"other"_s, 99)));
        QVariantMap cancelled;
        if (cancelledId.isValid())
            cancelled.insert(u"numericMeetingId"_s, cancelledId);

        QCOMPARE(MeetingDraftStore::detachFrom(cancelled), detached ? 1 : 0);

        const QVariantMap d = TamberDataModel::sharedData()->meetingDrafts.value("D").toMap();
        QCOMPARE(d.value(u"title"_s).toString(), u"Plan D"_s);
        if (detached) {
            QVERIFY(!d.contains(u"numericMeetingId"_s));
            QVERIFY(!d.contains(u"id"_s));
            QCOMPARE(storedDrafts().value(u"D"_s).toMap(), d);
        } else if (draftId.isValid()) {
            QVERIFY(d.contains(u"id"_s));
        }
        QVERIFY(
            TamberDataModel::sharedData()->meetingDrafts.value("other").toMap().contains(u"id"_s));
    }
};

TAMBER_TEST_MAIN_CORE(TestMeetingDraftStore)
#include "tst_MeetingDraftStore.moc"
