#include "Platform/PreferencesStore.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <memory>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int kDrafts = 300;

mode_t modeOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

ino_t inodeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList backupsIn(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*.corrupt-*")}, QDir::AllEntries | QDir::System,
                                  QDir::Name);
}

// One save of the writer child: every draft carries the record's counter, so a record mixed
// from two saves, or cut short, is detectable.
void fillRecord(PreferencesStore& store, int counter) {
    store.setValue(QStringLiteral("counter"), counter);
    QVariantMap drafts;
    for (int i = 0; i < kDrafts; ++i) {
        drafts.insert(
            QStringLiteral("draft-%1").arg(i),
            QVariantMap{{QStringLiteral("counter"), counter},
                        {QStringLiteral("title"), QString(200, QChar(u'a' + counter % 26))}});
    }
    store.setValue(QStringLiteral("meetingDrafts"), drafts);
}

bool isWholeRecord(const PreferencesStore& store) {
    if (store.loadStatus() != PreferencesStore::LoadStatus::Loaded)
        return false;
    const int counter = store.value(QStringLiteral("counter")).toInt();
    const QVariantMap drafts = store.value(QStringLiteral("meetingDrafts")).toMap();
    if (drafts.size() != kDrafts)
        return false;
    const QString title(200, QChar(u'a' + counter % 26));
    for (const QVariant& draft : drafts) {
        const QVariantMap d = draft.toMap();
        if (d.value(QStringLiteral("counter")).toInt() != counter ||
            d.value(QStringLiteral("title")).toString() != title)
            return false;
    }
    return true;
}

// Child side of the kill test: open, change and save the store over and over, one byte on the
// pipe after each completed save. Ends by itself if the test process goes away.
[[noreturn]] void saveForever(const QString& path, int progressFd, int firstCounter) {
    const pid_t parent = ::getppid();
    for (int i = firstCounter; i < firstCounter + 100000 && ::getppid() == parent; ++i) {
        PreferencesStore store(path);
        fillRecord(store, i);
        if (!store.flush())
            ::_exit(2);
        if (::write(progressFd, "x", 1) != 1)
            ::_exit(3);
    }
    ::_exit(0);
}

// Waits (bounded) until the child reports this many completed saves.
bool waitForSaves(int fd, int count) {
    for (int seen = 0; seen < count;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            return false;
        char byte;
        if (::read(fd, &byte, 1) != 1)
            return false;
        ++seen;
    }
    return true;
}

} // namespace

class tst_PreferencesStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void roundTripKeepsTypesAndPrivacy();
    void missingAndEmptyFilesStartEmpty();
    void unusableFileIsKeptAsideAndStoreRecovers_data();
    void unusableFileIsKeptAsideAndStoreRecovers();
    void backupsNeverOverwriteEachOther();
    void refusesRecordTooLargeToLoadAgain();
    void killDuringRepeatedSavesLeavesWholeRecord();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path() const { return m_dir->filePath(QStringLiteral("prefs.json")); }
};

void tst_PreferencesStore::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_PreferencesStore::roundTripKeepsTypesAndPrivacy() {
    // Missing folders are created private to the user.
    const QString nested = m_dir->filePath(QStringLiteral("new/deeper/prefs.json"));
    const QVariantMap draft{
        {QStringLiteral("topic"), QStringLiteral("Weekly ☕")},
        {QStringLiteral("start"), qint64(1733500000123)},
        {QStringLiteral("attendees"), QVariantList{QStringLiteral("a@example.com"), 3, true}}};
    {
        PreferencesStore store(nested);
        QCOMPARE(store.loadStatus(), PreferencesStore::LoadStatus::Missing);
        store.setValue(QStringLiteral("text"), QStringLiteral("x&y=\"z\"\n"));
        store.setValue(QStringLiteral("big"), qint64(9007199254740993)); // beyond a double
        store.setValue(QStringLiteral("ratio"), 0.25);
        store.setValue(QStringLiteral("flag"), false);
        store.setValue(QStringLiteral("meetingDrafts"), QVariantMap{{QStringLiteral("g1"), draft}});
        store.setValue(QStringLiteral("gone"), QStringLiteral("soon"));
        store.setValue(QStringLiteral("gone"), QVariant());
        QVERIFY(store.flush());
    }
    QCOMPARE(modeOf(nested), mode_t(0600));
    QCOMPARE(modeOf(m_dir->filePath(QStringLiteral("new"))), mode_t(0700));
    QCOMPARE(modeOf(m_dir->filePath(QStringLiteral("new/deeper"))), mode_t(0700));

    PreferencesStore loaded(nested);
    QCOMPARE(loaded.loadStatus(), PreferencesStore::LoadStatus::Loaded);
    QCOMPARE(loaded.value(QStringLiteral("text")).toString(), QStringLiteral("x&y=\"z\"\n"));
    QCOMPARE(loaded.value(QStringLiteral("big")).toLongLong(), qint64(9007199254740993));
    QCOMPARE(loaded.value(QStringLiteral("ratio")).toDouble(), 0.25);
    QCOMPARE(loaded.value(QStringLiteral("flag")).typeId(), int(QMetaType::Bool));
    QVERIFY(!loaded.contains(QStringLiteral("gone")));
    const QVariantMap drafts = loaded.value(QStringLiteral("meetingDrafts")).toMap();
    QCOMPARE(drafts.value(QStringLiteral("g1")).toMap(), draft);

    // A save that changes nothing replaces nothing.
    const ino_t inode = inodeOf(nested);
    QVERIFY(PreferencesStore(nested).flush());
    QCOMPARE(inodeOf(nested), inode);

    // A file someone made world-readable becomes private again at the next save, even one that
    // changes nothing.
    QVERIFY(QFile::setPermissions(nested, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                              QFile::ReadOther));
    QCOMPARE(modeOf(nested), mode_t(0644));
    QVERIFY(PreferencesStore(nested).flush());
    QCOMPARE(modeOf(nested), mode_t(0600));
    loaded.remove(QStringLiteral("flag"));
    QVERIFY(loaded.flush());
    QVERIFY(!PreferencesStore(nested).contains(QStringLiteral("flag")));
}

void tst_PreferencesStore::missingAndEmptyFilesStartEmpty() {
    PreferencesStore missing(path());
    QCOMPARE(missing.loadStatus(), PreferencesStore::LoadStatus::Missing);
    QVERIFY(missing.values().isEmpty());

    for (const QByteArray& bytes : {QByteArray(), QByteArray(" \n\t\n")}) {
        QVERIFY(writeFile(path(), bytes));
        PreferencesStore empty(path());
        QCOMPARE(empty.loadStatus(), PreferencesStore::LoadStatus::Empty);
        QVERIFY(empty.values().isEmpty());
        // An empty file is a valid empty record: nothing to keep aside.
        QVERIFY(QFile::exists(path()));
        QVERIFY(backupsIn(m_dir->path()).isEmpty());
    }
}

void tst_PreferencesStore::unusableFileIsKeptAsideAndStoreRecovers_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("sparseSize");
    QTest::addColumn<bool>("asFolder");
    QTest::newRow("not JSON") << QByteArray("{\"username\": \"ann\", ") << qint64(0) << false;
    QTest::newRow("top-level list") << QByteArray("[1, 2, 3]") << qint64(0) << false;
    QTest::newRow("top-level null") << QByteArray("null") << qint64(0) << false;
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe{}", 5) << qint64(0) << false;
    QTest::newRow("100 MB") << QByteArray("{\"a\":1}") << qint64(100) * 1024 * 1024 << false;
    QTest::newRow("folder in its place") << QByteArray() << qint64(0) << true;
}

void tst_PreferencesStore::unusableFileIsKeptAsideAndStoreRecovers() {
    QFETCH(QByteArray, content);
    QFETCH(qint64, sparseSize);
    QFETCH(bool, asFolder);
    if (asFolder) {
        QVERIFY(QDir().mkpath(path()));
    } else {
        QVERIFY(writeFile(path(), content));
        if (sparseSize > 0)
            QVERIFY(QFile::resize(path(), sparseSize)); // sparse: no 100 MB actually written
    }

    PreferencesStore store(path());
    QCOMPARE(store.loadStatus(), PreferencesStore::LoadStatus::KeptAside);
    QVERIFY(store.values().isEmpty());
    const QStringList backups = backupsIn(m_dir->path());
    QCOMPARE(backups.size(), 1);
    QCOMPARE(m_dir->filePath(backups.first()), store.backupPath());
    QVERIFY(QRegularExpression(QStringLiteral("^prefs\\.json\\.corrupt-\\d{8}-\\d{6}$"))
                .match(backups.first())
                .hasMatch());
    QVERIFY(!QFileInfo::exists(path()));
    if (!asFolder && sparseSize == 0)
        QCOMPARE(readFile(store.backupPath()), content);

    // The store works on: a save lands in a fresh file and loads back.
    store.setValue(QStringLiteral("username"), QStringLiteral("ann"));
    QVERIFY(store.flush());
    PreferencesStore again(path());
    QCOMPARE(again.loadStatus(), PreferencesStore::LoadStatus::Loaded);
    QCOMPARE(again.value(QStringLiteral("username")).toString(), QStringLiteral("ann"));
    QCOMPARE(backupsIn(m_dir->path()).size(), 1);
}

void tst_PreferencesStore::backupsNeverOverwriteEachOther() {
    // Several damaged files within one second each get their own backup.
    const QList<QByteArray> contents{"{broken 1", "{broken 2", "{broken 3"};
    for (const QByteArray& c : contents) {
        QVERIFY(writeFile(path(), c));
        PreferencesStore store(path());
        QCOMPARE(store.loadStatus(), PreferencesStore::LoadStatus::KeptAside);
    }
    const QStringList backups = backupsIn(m_dir->path());
    QCOMPARE(backups.size(), contents.size());
    QList<QByteArray> kept;
    for (const QString& name : backups)
        kept << readFile(m_dir->filePath(name));
    std::sort(kept.begin(), kept.end());
    QCOMPARE(kept, contents);
}

void tst_PreferencesStore::refusesRecordTooLargeToLoadAgain() {
    PreferencesStore store(path());
    store.setValue(QStringLiteral("username"), QStringLiteral("ann"));
    QVERIFY(store.flush());
    const QByteArray before = readFile(path());

    store.setValue(QStringLiteral("huge"), QString(PreferencesStore::kMaxFileSize, u'x'));
    QVERIFY(!store.flush());
    // The file on disk is the last good record, not one the next start would throw away.
    QCOMPARE(readFile(path()), before);
    QCOMPARE(PreferencesStore(path()).loadStatus(), PreferencesStore::LoadStatus::Loaded);
}

void tst_PreferencesStore::killDuringRepeatedSavesLeavesWholeRecord() {
    int lastCounter = -1;
    for (int round = 0; round < 24; ++round) {
        int fds[2];
        QVERIFY(::pipe(fds) == 0);
        const int firstCounter = (lastCounter + 1) * 1000;
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::close(fds[0]);
            saveForever(path(), fds[1], firstCounter);
        }
        ::close(fds[1]);
        // Whatever happens below, the child is killed and reaped before the next check.
        int status = 0;
        bool reaped = false;
        const auto killChild = [&] {
            if (std::exchange(reaped, true))
                return;
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            ::close(fds[0]);
        };
        const auto guard = qScopeGuard(killChild);
        QVERIFY2(waitForSaves(fds[0], 1), "the writer child made no progress");
        // Readers during the saves see whole records too. The number of reads varies the
        // moment of the kill across the child's save cycle.
        for (int read = 0; read < round % 7; ++read) {
            PreferencesStore concurrent(path());
            QVERIFY2(isWholeRecord(concurrent), "a reader saw a torn record");
        }
        killChild();
        QVERIFY2(WIFSIGNALED(status), "the writer child ended on its own (save failed?)");

        PreferencesStore loaded(path());
        QVERIFY2(isWholeRecord(loaded), qPrintable(QStringLiteral("round %1").arg(round)));
        const int counter = loaded.value(QStringLiteral("counter")).toInt();
        QVERIFY(counter >= firstCounter); // at least the save it reported is on disk
        lastCounter = counter / 1000;
        QCOMPARE(modeOf(path()), mode_t(0600));
    }
    // No child ever found a torn file to keep aside.
    QVERIFY(backupsIn(m_dir->path()).isEmpty());
}

TAMBER_TEST_MAIN_CORE(tst_PreferencesStore)
#include "tst_PreferencesStore.moc"
