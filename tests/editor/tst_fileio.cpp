// Loading and saving real files in a temporary folder: every byte arrives,
// failures change nothing, and a save never leaves a mixed or partial file.
#include "fileio.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {
QByteArray store(const ByteStore &s)
{
    return QByteArray(reinterpret_cast<const char *>(s.data()), s.size());
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

ByteStore storeOf(const QByteArray &bytes)
{
    ByteStore s;
    if (!s.allocate(bytes.size()))
        qFatal("allocation failed");
    if (!bytes.isEmpty())
        memcpy(s.data(), bytes.constData(), bytes.size());
    return s;
}
} // namespace

class tst_FileIO : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void failedLoadKeepsBuffer_data();
    void failedLoadKeepsBuffer();
    void loadCreatesNothingAndReadsReadOnly();
    void saveReplacesWholeFileKeepingPermissions();
    void failedSaveLeavesTargetAndFolder();
    void saveThroughALinkWritesItsTarget();
    void readOnlyFileStaysReadOnly();
    void tooLargeFileIsRefused();
    void pseudoFilesLoadToTheirEnd_data();
    void pseudoFilesLoadToTheirEnd();
    void saveRefusesWhatIsNotARegularFile_data();
    void saveRefusesWhatIsNotARegularFile();
};

void tst_FileIO::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("one page, 1600 bytes") << QByteArray(1600, 'x');
    QTest::newRow("one byte over a page, 1601 bytes") << QByteArray(1601, '\x7f');
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    QTest::newRow("every byte value") << all;
    QByteArray random(3 * 1024 * 1024 + 7, Qt::Uninitialized);
    QRandomGenerator gen(42);
    for (char &c : random)
        c = char(gen.generate());
    QTest::newRow("3 MB of random bytes") << random;
}

void tst_FileIO::roundTrip()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.bin"));
    const QString out = dir.filePath(QStringLiteral("out with spaces & ü.bin"));
    QVERIFY(writeFile(in, bytes));
    ByteStore buffer;
    QCOMPARE(FileIO::load(in, buffer), QString());
    QCOMPARE(buffer.size(), bytes.size());
    QCOMPARE(store(buffer), bytes);
    QCOMPARE(FileIO::save(out, buffer), QString());
    QCOMPARE(readFile(out), bytes);
}

void tst_FileIO::failedLoadKeepsBuffer_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing file") << QStringLiteral("nothing-here.bin");
    QTest::newRow("a folder chosen as a file") << QStringLiteral("sub");
    QTest::newRow("a path into a missing folder") << QStringLiteral("gone/x.bin");
    QTest::newRow("a wildcard pattern") << QStringLiteral("*.*");
    QTest::newRow("empty name") << QString();
    QTest::newRow("a named pipe") << QStringLiteral("pipe");
    QTest::newRow("a device") << QStringLiteral("/dev/zero");
    if (geteuid() != 0)
        QTest::newRow("a file without read permission") << QStringLiteral("secret.bin");
}

void tst_FileIO::failedLoadKeepsBuffer()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    const QString secret = dir.filePath(QStringLiteral("secret.bin"));
    QVERIFY(writeFile(secret, "hidden"));
    QFile::setPermissions(secret, QFileDevice::WriteOwner);
    QVERIFY(mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe"))).constData(), 0600) == 0);
    ByteStore buffer = storeOf("previous content");
    const QString path = name.isEmpty() || name.startsWith(QLatin1Char('/')) ? name : dir.filePath(name);
    QVERIFY(!FileIO::load(path, buffer).isEmpty());
    QCOMPARE(store(buffer), QByteArray("previous content"));
}

void tst_FileIO::loadCreatesNothingAndReadsReadOnly()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("new.bin"));
    ByteStore buffer;
    QVERIFY(!FileIO::load(missing, buffer).isEmpty());
    QVERIFY(!QFile::exists(missing));

    const QString readOnly = dir.filePath(QStringLiteral("ro.bin"));
    QVERIFY(writeFile(readOnly, "read me"));
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner));
    QCOMPARE(FileIO::load(readOnly, buffer), QString());
    QCOMPARE(store(buffer), QByteArray("read me"));
}

void tst_FileIO::saveReplacesWholeFileKeepingPermissions()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("t.bin"));
    QVERIFY(writeFile(target, QByteArray(5000, 'o')));
    const auto perms = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
        | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(target, perms));
    QCOMPARE(FileIO::save(target, storeOf("short")), QString());
    // The old tail is gone: the file is exactly the buffer.
    QCOMPARE(readFile(target), QByteArray("short"));
    QCOMPARE(QFile::permissions(target) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
             perms);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("t.bin")});
}

void tst_FileIO::failedSaveLeavesTargetAndFolder()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    QVERIFY(!FileIO::save(dir.filePath(QStringLiteral("sub")), storeOf("x")).isEmpty());
    QVERIFY(!FileIO::save(dir.filePath(QStringLiteral("gone/x.bin")), storeOf("x")).isEmpty());
    QVERIFY(!FileIO::save(QString(), storeOf("x")).isEmpty());
    if (geteuid() == 0)
        QSKIP("root writes into a read-only folder; the permission case needs an ordinary user");
    const QString locked = dir.filePath(QStringLiteral("locked"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("locked")));
    const QString target = locked + QStringLiteral("/t.bin");
    QVERIFY(writeFile(target, "old"));
    QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QVERIFY(!FileIO::save(target, storeOf("new content")).isEmpty());
    QCOMPARE(readFile(target), QByteArray("old"));
    QCOMPARE(QDir(locked).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("t.bin")});
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void tst_FileIO::saveThroughALinkWritesItsTarget()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("real.bin"));
    const QString link = dir.filePath(QStringLiteral("link.bin"));
    QVERIFY(writeFile(target, "old"));
    QVERIFY(QFile::link(target, link));
    QCOMPARE(FileIO::save(link, storeOf("new")), QString());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readFile(target), QByteArray("new"));
}

void tst_FileIO::readOnlyFileStaysReadOnly()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("ro.bin"));
    QVERIFY(writeFile(target, "old"));
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QVERIFY(QFile::setPermissions(target, readOnly));
    const QString result = FileIO::save(target, storeOf("new"));
    if (geteuid() == 0) {
        // Root may write it; the file must not come back writable.
        QCOMPARE(result, QString());
        QCOMPARE(readFile(target), QByteArray("new"));
    } else {
        QVERIFY(!result.isEmpty());
        QCOMPARE(readFile(target), QByteArray("old"));
    }
    QCOMPARE(QFile::permissions(target) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
             readOnly);
}

void tst_FileIO::tooLargeFileIsRefused()
{
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.bin"));
    QFile f(big);
    QVERIFY(f.open(QIODevice::WriteOnly));
    // A sparse file: 2^31 bytes of length, no blocks on disk.
    if (!f.resize(qint64(1) << 31))
        QSKIP("this file system cannot hold a sparse 2 GiB file");
    f.close();
    ByteStore buffer = storeOf("kept");
    QCOMPARE(FileIO::load(big, buffer), QStringLiteral("larger than 2 GiB"));
    QCOMPARE(store(buffer), QByteArray("kept"));
}

void tst_FileIO::pseudoFilesLoadToTheirEnd_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("part");
    // Both report a size of 0; the kernel makes their content as they are read.
    QTest::newRow("/proc/version") << QStringLiteral("/proc/version") << QByteArray("Linux version");
    QTest::newRow("/proc/self/maps, several reads")
        << QStringLiteral("/proc/self/maps") << QByteArray("[stack]");
}

void tst_FileIO::pseudoFilesLoadToTheirEnd()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, part);
    if (!QFile::exists(path))
        QSKIP("no /proc on this system");
    QCOMPARE(QFileInfo(path).size(), 0);
    ByteStore buffer;
    QCOMPARE(FileIO::load(path, buffer), QString());
    const QByteArray loaded = store(buffer);
    QVERIFY(loaded.contains(part));
    QVERIFY(loaded.endsWith('\n'));
    if (path == u"/proc/version")
        QCOMPARE(loaded, readFile(path));
}

void tst_FileIO::saveRefusesWhatIsNotARegularFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("named pipe") << QStringLiteral("pipe");
    QTest::newRow("character device") << QStringLiteral("device");
    QTest::newRow("link to a character device") << QStringLiteral("link to device");
}

void tst_FileIO::saveRefusesWhatIsNotARegularFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QByteArray node = QFile::encodeName(dir.filePath(QStringLiteral("node")));
    if (kind == u"pipe") {
        QVERIFY(mkfifo(node.constData(), 0600) == 0);
    } else if (mknod(node.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
        QSKIP("making a device node needs root (CI runs as root)");
    }
    QString target = QFile::decodeName(node);
    if (kind.startsWith(u"link")) {
        target = dir.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(QFile::decodeName(node), target));
    }
    struct stat before;
    QVERIFY(lstat(node.constData(), &before) == 0);
    const QStringList entries = QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden);

    QCOMPARE(FileIO::save(target, storeOf(QByteArray(1000, 'x'))), QStringLiteral("not a regular file"));
    struct stat after;
    QVERIFY(lstat(node.constData(), &after) == 0);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_rdev, before.st_rdev);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden), entries);
    QCOMPARE(QFileInfo(target).isSymLink(), kind.startsWith(u"link"));
}

QTEST_GUILESS_MAIN(tst_FileIO)
#include "tst_fileio.moc"
