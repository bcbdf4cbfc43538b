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

using namespace Qt::StringLiterals;

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
    return QDir(folder).entryList({u"*.corrupt-*"_s}, QDir::AllEntries | QDir::System, QDir::Name);
}

// One save of the writer child: every draft carries the record's counter, so a record mixed
// from two saves, or cut short, is detectable.
void fillRecord(PreferencesStore& store, int counter) {
    store.setValue(u"counter"_s, counter);
    QVariantMap drafts;
    for (int i = 0; i < kDrafts; ++i) {
        drafts.insert(u"draft-%1"_s.arg(i),
                      QVariantMap{{u"counter"_s, counter},
                                  {u"title"_s, QString(200, QChar(u'a' + counter % 26))}});
    }
    store.setValue(u"meetingDrafts"_s, drafts);
}

bool isWholeRecord(const PreferencesStore& store) {
    if (store.loadStatus() != PreferencesStore::LoadStatus::Loaded)
        return false;
    const int counter = store.value(u"counter"_s).toInt();
    const QVariantMap drafts = store.value(u"meetingDrafts"_s).toMap();
    if (drafts.size() != kDrafts)
        return false;
    const QString title(200, QChar(u'a' + counter % 26));
    for (const QVariant& draft : drafts) {
        const QVariantMap d = draft.toMap();
        if (d.value(u"counter"_s).toInt() != counter || d.value(u"title"_s).toString() != title)
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

Q_DECLARE_METATYPE(PreferencesStore::LoadStatus)

class tst_PreferencesStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void roundTripKeepsTypesAndPrivacy() {
        // Missing folders are created private to the user.
        const QString nested = m_dir->filePath(u"new/deeper/prefs.json"_s);
        const QVariantMap draft{{u"topic"_s, u"Weekly ☕"_s},
                                {u"start"_s, qint64(1733500000123)},
                                {u"attendees"_s, QVariantList{u"a@example.com"_s, 3, true}}};
        {
            PreferencesStore store(nested);
            QCOMPARE(store.loadStatus(), PreferencesStore::LoadStatus::Missing);
            store.setValue(u"text"_s, u"x&y=\"z\"\n"_s);
            store.setValue(u"big"_s, qint64(9007199254740993)); // beyond a double
            store.setValue(u"ratio"_s, 0.25);
            store.setValue(u"flag"_s, false);
            store.setValue(u"meetingDrafts"_s, QVariantMap{{u"g1"_s, draft}});
            store.setValue(u"gone"_s, u"soon"_s);
            store.setValue(u"gone"_s, QVariant());
            QVERIFY(store.flush());
        }
        for (const auto& [made, mode] :
             {std::pair(u"new/deeper/prefs.json"_s, 0600), std::pair(u"new"_s, 0700),
              std::pair(u"new/deeper"_s, 0700)})
            QCOMPARE(modeOf(m_dir->filePath(made)), mode_t(mode));

        PreferencesStore loaded(nested);
        QCOMPARE(loaded.loadStatus(), PreferencesStore::LoadStatus::Loaded);
        QCOMPARE(loaded.value(u"text"_s).toString(), u"x&y=\"z\"\n"_s);
        QCOMPARE(loaded.value(u"big"_s).toLongLong(), qint64(9007199254740993));
        QCOMPARE(loaded.value(u"ratio"_s).toDouble(), 0.25);
        QCOMPARE(loaded.value(u"flag"_s).typeId(), int(QMetaType::Bool));
        QVERIFY(!loaded.contains(u"gone"_s));
        const QVariantMap drafts = loaded.value(u"meetingDrafts"_s).toMap();
        QCOMPARE(drafts.value(u"g1"_s).toMap(), draft);

        // A save that changes nothing replaces nothing.
        const ino_t inode = inodeOf(nested);
        QVERIFY(PreferencesStore(nested).flush());
        QCOMPARE(inodeOf(nested), inode);

        // A file someone made world-readable becomes private again at the next save, even one that
        // changes nothing.
        QVERIFY(QFile::setPermissions(nested, QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ReadGroup | QFile::ReadOther));
        QCOMPARE(modeOf(nested), mode_t(0644));
        QVERIFY(PreferencesStore(nested).flush());
        QCOMPARE(modeOf(nested), mode_t(0600));
        loaded.remove(u"flag"_s);
        QVERIFY(loaded.flush());
        QVERIFY(!PreferencesStore(nested).contains(u"flag"_s));
    }

    void unreadableStartsEmptyAndStoreRecovers_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("sparseSize");
        QTest::addColumn<int>("kind"); // 0: the file, 1: a folder in its place, 2: no file
        QTest::addColumn<PreferencesStore::LoadStatus>("status");
        using S = PreferencesStore::LoadStatus;
        const auto row = [](const char* name, S status, const QByteArray& content = {},
                            qint64 sparseSize = 0, int kind = 0) {
            QTest::newRow(name) << content << sparseSize << kind << status;
        };
        row("missing", S::Missing, {}, 0, 2);
        // An empty file is a valid empty record: nothing to keep aside.
        row("empty", S::Empty);
        row("blank", S::Empty, " \n\t\n");
        row("not JSON", S::KeptAside, "{\"username\": \"ann\", ");
        row("top-level list", S::KeptAside, "[1, 2, 3]");
        row("top-level null", S::KeptAside, "null");
        row("binary", S::KeptAside, QByteArray("\x00\xff\xfe{}", 5));
        row("100 MB", S::KeptAside, "{\"a\":1}", qint64(100) * 1024 * 1024);
        row("folder in its place", S::KeptAside, {}, 0, 1);
    }

    void unreadableStartsEmptyAndStoreRecovers() {
        QFETCH(QByteArray, content);
        QFETCH(qint64, sparseSize);
        QFETCH(int, kind);
        QFETCH(PreferencesStore::LoadStatus, status);
        if (kind == 1) {
            QVERIFY(QDir().mkpath(path()));
        } else if (kind == 0) {
            QVERIFY(writeFile(path(), content));
            if (sparseSize > 0)
                QVERIFY(QFile::resize(path(), sparseSize)); // sparse: no 100 MB actually written
        }

        PreferencesStore store(path());
        QCOMPARE(store.loadStatus(), status);
        QVERIFY(store.values().isEmpty());
        const bool keptAside = status == PreferencesStore::LoadStatus::KeptAside;
        const QStringList backups = backupsIn(m_dir->path());
        QCOMPARE(backups.size(), keptAside ? 1 : 0);
        QCOMPARE(QFileInfo::exists(path()), status == PreferencesStore::LoadStatus::Empty);
        if (keptAside) {
            QCOMPARE(m_dir->filePath(backups.first()), store.backupPath());
            QVERIFY(QRegularExpression(u"^prefs\\.json\\.corrupt-\\d{8}-\\d{6}$"_s)
                        .match(backups.first())
                        .hasMatch());
            if (kind == 0 && sparseSize == 0)
                QCOMPARE(readFile(store.backupPath()), content);
        }

        // The store works on: a save lands in a fresh file and loads back.
        store.setValue(u"username"_s, u"ann"_s);
        QVERIFY(store.flush());
        PreferencesStore again(path());
        QCOMPARE(again.loadStatus(), PreferencesStore::LoadStatus::Loaded);
        QCOMPARE(again.value(u"username"_s).toString(), u"ann"_s);
        QCOMPARE(backupsIn(m_dir->path()).size(), keptAside ? 1 : 0);
    }

    void backupsNeverOverwriteEachOther() {
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

    void refusesRecordTooLargeToLoadAgain() {
        PreferencesStore store(path());
        store.setValue(u"username"_s, u"ann"_s);
        QVERIFY(store.flush());
        const QByteArray before = readFile(path());

        store.setValue(u"huge"_s, QString(PreferencesStore::kMaxFileSize, u'x'));
        QVERIFY(!store.flush());
        // The file on disk is the last good record, not one the next start would throw away.
        QCOMPARE(readFile(path()), before);
        QCOMPARE(PreferencesStore(path()).loadStatus(), PreferencesStore::LoadStatus::Loaded);
    }

    void killDuringRepeatedSavesLeavesWholeRecord() {
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
            QVERIFY2(isWholeRecord(loaded), qPrintable(u"round %1"_s.arg(round)));
            const int counter = loaded.value(u"counter"_s).toInt();
            QVERIFY(counter >= firstCounter); // at least the save it reported is on disk
            lastCounter = counter / 1000;
            QCOMPARE(modeOf(path()), mode_t(0600));
        }
        // No child ever found a torn file to keep aside.
        QVERIFY(backupsIn(m_dir->path()).isEmpty());
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path() const { return m_dir->filePath(u"prefs.json"_s); }
};

TAMBER_TEST_MAIN_CORE(tst_PreferencesStore)
#include "tst_PreferencesStore.moc"
