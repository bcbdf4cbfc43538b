#include "Platform/BundleInfo.h"
#include "Platform/LoginItems.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

ino_t inodeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString entryPath(const QString& folder) {
    return folder + QLatin1Char('/') + BundleInfo::bundleIdentifier() + ".desktop";
}

} // namespace

class tst_LoginItems : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void writesOnlyWhenMissingOrDifferent() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"config/autostart"_s); // created on demand
        const QString path = entryPath(folder);
        QVERIFY(LoginItems::addApplication(u"/opt/tamber/tamber"_s, folder));
        const QByteArray first = readFile(path);
        QVERIFY(first.startsWith("[Desktop Entry]\n"));
        QVERIFY(first.contains("\nExec=\"/opt/tamber/tamber\"\n"));
        QVERIFY(first.contains("\nType=Application\n"));

        // Same entry: the file is left alone (an atomic rewrite would give a new inode).
        const ino_t inode = inodeOf(path);
        QVERIFY(LoginItems::addApplication(u"/opt/tamber/tamber"_s, folder));
        QCOMPARE(inodeOf(path), inode);

        // The application moved: the entry follows it.
        QVERIFY(LoginItems::addApplication(u"/usr/bin/tamber"_s, folder));
        QVERIFY(readFile(path).contains("\nExec=\"/usr/bin/tamber\"\n"));
        QVERIFY(!readFile(path).contains("/opt/tamber"));

        // A damaged entry is replaced by a whole one.
        {
            QFile damaged(path);
            QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
            damaged.write("[Desktop Entry]\nExec=");
        }
        QVERIFY(LoginItems::addApplication(u"/usr/bin/tamber"_s, folder));
        QVERIFY(readFile(path).contains("\nExec=\"/usr/bin/tamber\"\n"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QFileInfo(path).fileName()});
    }

    void entryStartsPathsWithAwkwardCharacters() {
        const QString gio = QStandardPaths::findExecutable(u"gio"_s);
        if (gio.isEmpty())
            QSKIP("gio (libglib2.0-bin) is not installed: no desktop-entry launcher to check with");
        // A program in a folder whose name needs every kind of quoting; when a desktop-entry
        // launcher runs the written entry, the program leaves a mark. ("%" is left out: GLib looks
        // for the program before it expands "%%", so no Exec line can start such a path there.)
        QTemporaryDir dir;
        const QString awkward = dir.filePath(u"My \"Apps\" $HOME `id` \\b o'k"_s);
        QVERIFY(QDir().mkpath(awkward));
        const QString program = awkward + u"/tamber"_s;
        const QString mark = dir.filePath(u"started"_s);
        {
            QFile script(program);
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write(u"#!/bin/sh\nprintf '%s' \"$0\" > '%1'\n"_s.arg(mark).toUtf8());
        }
        QVERIFY(
            QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        const QString folder = dir.filePath(u"autostart"_s);
        QVERIFY(LoginItems::addApplication(program, folder));
        QProcess launcher;
        launcher.start(gio, {u"launch"_s, entryPath(folder)});
        QVERIFY(launcher.waitForFinished(10000));
        QVERIFY2(launcher.exitCode() == 0, launcher.readAllStandardError().constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mark) && !readFile(mark).isEmpty(), 10000);
        QCOMPARE(QString::fromUtf8(readFile(mark)), program);
        // Strict readers (KDE) unescape the string value first, then the quoting: a backslash in
        // the path is written as four, a quote as two backslashes and the quote.
        QVERIFY(LoginItems::desktopEntryFor(u"/opt/a\\b\"c/tamber"_s)
                    .contains(u"Exec=\"/opt/a\\\\\\\\b\\\\\"c/tamber\"\n"_s));
        // Field codes cannot sneak in through the path.
        QVERIFY(LoginItems::desktopEntryFor(u"/opt/100%u/tamber"_s)
                    .contains(u"Exec=\"/opt/100%%u/tamber\"\n"_s));
    }

    void refusesWhatCannotWork() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"autostart"_s);
        // Paths an Exec line cannot carry, or that would run something else.
        for (const QString& exe : {QString(), u"tamber"_s, u"/opt/a\nb"_s, u"/opt/a\rb"_s}) {
            QVERIFY(!LoginItems::addApplication(exe, folder));
            QVERIFY(LoginItems::desktopEntryFor(exe).isEmpty());
        }
        QVERIFY(!QFile::exists(entryPath(folder)));

        // The autostart "folder" is a file: reported, nothing crashes, the file is untouched.
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("keep");
        blocker.close();
        QVERIFY(!LoginItems::addApplication(u"/usr/bin/tamber"_s, folder));
        QCOMPARE(readFile(folder), QByteArray("keep"));
    }

    void defaultEntryRunsThisExecutable() {
        // The test environment gives this process its own XDG_CONFIG_HOME.
        const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/autostart"_s;
        QCOMPARE(LoginItems::autostartFolder(), folder);
        QVERIFY(LoginItems::addApplication());
        const QByteArray entry = readFile(entryPath(folder));
        QVERIFY(entry.contains(
            u"\nExec=\"%1\"\n"_s.arg(QCoreApplication::applicationFilePath()).toUtf8()));
        QVERIFY(entry.contains(u"\nName=%1\n"_s.arg(BundleInfo::appName()).toUtf8()));
    }
};

TAMBER_TEST_MAIN_CORE(tst_LoginItems)
#include "tst_LoginItems.moc"
