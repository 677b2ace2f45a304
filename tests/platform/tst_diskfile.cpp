// Saving over real files in a temporary folder keeps what the file is
// besides its bytes, and a failure at any step leaves either the old file or
// a named copy of the new content. Steps fail through the FileOps seam.
#include "diskfile.h"
#include "fileops.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

const QByteArray kOld = "the old content, longer than the new";
const QByteArray kNew = "new content";

// What a save must keep.
struct Identity {
    uid_t owner = 0;
    gid_t group = 0;
    mode_t mode = 0;
    QMap<QByteArray, QByteArray> attributes;

    bool operator==(const Identity &) const = default;
};

Identity identityOf(const QByteArray &path)
{
    Identity id;
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return id;
    id.owner = st.st_uid;
    id.group = st.st_gid;
    id.mode = st.st_mode & 07777;
    char names[4096];
    const ssize_t n = ::listxattr(path.constData(), names, sizeof names);
    for (const QByteArray &name : QByteArray(names, n > 0 ? n : 0).split('\0')) {
        char value[4096];
        const ssize_t size = name.isEmpty() ? -1 : ::getxattr(path.constData(), name.constData(), value, sizeof value);
        if (size >= 0)
            id.attributes.insert(name, QByteArray(value, size));
    }
    return id;
}

ino_t inodeOf(const QByteArray &path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 ? st.st_ino : 0;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A POSIX access control list in the kernel's own attribute form: owner rw,
// user `user` r, group r, mask r, others nothing.
QByteArray accessControlList(uint32_t user)
{
    QByteArray acl;
    const auto put32 = [&](uint32_t v) { acl.append(reinterpret_cast<const char *>(&v), 4); };
    const auto entry = [&](uint16_t tag, uint16_t perm, uint32_t id) {
        acl.append(reinterpret_cast<const char *>(&tag), 2);
        acl.append(reinterpret_cast<const char *>(&perm), 2);
        put32(id);
    };
    put32(2); // version
    entry(0x01, 6, uint32_t(-1));
    entry(0x02, 4, user);
    entry(0x04, 4, uint32_t(-1));
    entry(0x10, 4, uint32_t(-1));
    entry(0x20, 0, uint32_t(-1));
    return acl;
}

// Real file operations, of which the test may make one fail, refuse new
// files in one folder, and see what the replacement carries at its rename.
class ScriptedOps : public FileOps
{
public:
    QByteArray failing;  // the call to fail, "" for none
    int failingCall = 0; // which call of it (1-based); 0 fails every call
    int error = 0;
    QByteArray refusedFolder; // no new file is made in here
    QList<QByteArray> created;
    std::optional<Identity> atRename;

    int open(const char *path, int flags, mode_t mode) override
    {
        if ((flags & O_CREAT) && !refusedFolder.isEmpty() && QByteArray(path).startsWith(refusedFolder + '/'))
            return refuse(EACCES);
        if (fails("open"))
            return -1;
        const int fd = FileOps::open(path, flags, mode);
        if (fd >= 0 && (flags & O_CREAT))
            created.append(path);
        return fd;
    }
    ssize_t pwrite(int fd, const void *buffer, size_t size, off_t offset) override
    {
        return fails("pwrite") ? -1 : FileOps::pwrite(fd, buffer, size, offset);
    }
    int fsync(int fd) override { return fails("fsync") ? -1 : FileOps::fsync(fd); }
    int ftruncate(int fd, off_t length) override
    {
        return fails("ftruncate") ? -1 : FileOps::ftruncate(fd, length);
    }
    int fchown(int fd, uid_t owner, gid_t group) override
    {
        return fails("fchown") ? -1 : FileOps::fchown(fd, owner, group);
    }
    int rename(const char *from, const char *to) override
    {
        atRename = identityOf(from);
        return fails("rename") ? -1 : FileOps::rename(from, to);
    }

private:
    int refuse(int e)
    {
        errno = e;
        return -1;
    }
    bool fails(const QByteArray &call)
    {
        const int n = ++m_calls[call];
        if (call != failing || (failingCall != 0 && n != failingCall))
            return false;
        errno = error;
        return true;
    }
    QMap<QByteArray, int> m_calls;
};

} // namespace

class tst_DiskFile : public QObject
{
    Q_OBJECT
private slots:
    void saveKeepsIdentity_data();
    void saveKeepsIdentity();
    void failedStepLeavesOldFileOrNamedCopy_data();
    void failedStepLeavesOldFileOrNamedCopy();
};

void tst_DiskFile::saveKeepsIdentity_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("inPlace");
    QTest::newRow("owned by nobody") << "nobody" << false;
    QTest::newRow("setuid, setgid and sticky") << "mode 7755" << false;
    QTest::newRow("a user attribute") << "attribute" << false;
    QTest::newRow("an access control list") << "acl" << false;
    QTest::newRow("a second hard link") << "hard link" << true;
    QTest::newRow("a folder that admits no new file") << "refusing folder" << true;
    QTest::newRow("an owner the saver may not hand out") << "owner refused" << true;
}

void tst_DiskFile::saveKeepsIdentity()
{
    QFETCH(QString, setup);
    QFETCH(bool, inPlace);
    QTemporaryDir dir;
    QTemporaryDir userTemp;
    const QString target = dir.filePath(QStringLiteral("t.bin"));
    const QByteArray path = QFile::encodeName(target);
    {
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(kOld) == kOld.size());
    }
    ScriptedOps ops;
    const bool root = geteuid() == 0;
    if (setup == u"nobody" || setup == u"owner refused") {
        if (!root)
            QSKIP("only root may give a file to another owner");
        QVERIFY(::chown(path.constData(), 65534, 65534) == 0);
        if (setup == u"owner refused") {
            ops.failing = "fchown";
            ops.error = EPERM;
        }
    } else if (setup == u"mode 7755") {
        QVERIFY(::chmod(path.constData(), 07755) == 0);
    } else if (setup == u"attribute") {
        if (::setxattr(path.constData(), "user.veltrano", "blue", 4, 0) != 0)
            QSKIP(qPrintable(QStringLiteral("no user attributes here: %1").arg(std::strerror(errno))));
    } else if (setup == u"acl") {
        const QByteArray acl = accessControlList(65534);
        if (::setxattr(path.constData(), "system.posix_acl_access", acl.constData(), size_t(acl.size()), 0) != 0)
            QSKIP(qPrintable(QStringLiteral("no access control lists here: %1").arg(std::strerror(errno))));
    } else if (setup == u"hard link") {
        QVERIFY(::link(path.constData(), QFile::encodeName(dir.filePath(QStringLiteral("other.bin"))).constData()) == 0);
    } else if (setup == u"refusing folder") {
        ops.refusedFolder = QFile::encodeName(dir.path());
    }
    const QStringList entries = entriesOf(dir.path());
    const Identity before = identityOf(path);
    const ino_t inode = inodeOf(path);
    const QByteArray savedTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(userTemp.path()));

    const QString result = DiskFile::writeWhole(target, reinterpret_cast<const uint8_t *>(kNew.constData()),
                                                kNew.size(), &ops);
    qputenv("TMPDIR", savedTemp);
    QCOMPARE(result, QString());
    QCOMPARE(readFile(target), kNew);
    QCOMPARE(identityOf(path), before);
    QCOMPARE(inodeOf(path) == inode, inPlace);
    if (!inPlace) {
        // The replacement carried the identity before it took the old one's place.
        QVERIFY(ops.atRename.has_value());
        QCOMPARE(*ops.atRename, before);
    }
    if (setup == u"hard link")
        QCOMPARE(readFile(dir.filePath(QStringLiteral("other.bin"))), kNew);
    if (setup == u"refusing folder") {
        QCOMPARE(ops.created.size(), 1);
        QVERIFY(ops.created.first().startsWith(QFile::encodeName(userTemp.path()) + '/'));
    }
    // Neither the copy nor the replacement is left behind.
    QCOMPARE(entriesOf(dir.path()), entries);
    QCOMPARE(entriesOf(userTemp.path()), QStringList());
}

void tst_DiskFile::failedStepLeavesOldFileOrNamedCopy_data()
{
    QTest::addColumn<bool>("linked");
    QTest::addColumn<QByteArray>("call");
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("copyNamed");
    QTest::newRow("replacement: disk full while writing") << false << QByteArray("pwrite") << 1 << ENOSPC << false;
    QTest::newRow("replacement: flush fails") << false << QByteArray("fsync") << 1 << EIO << false;
    QTest::newRow("replacement: rename refused") << false << QByteArray("rename") << 1 << EBUSY << false;
    QTest::newRow("in place: the copy cannot be written") << true << QByteArray("pwrite") << 1 << ENOSPC << false;
    QTest::newRow("in place: the copy cannot be flushed") << true << QByteArray("fsync") << 1 << EIO << false;
    QTest::newRow("in place: overwriting the file fails") << true << QByteArray("pwrite") << 2 << ENOSPC << true;
    QTest::newRow("in place: cutting the file fails") << true << QByteArray("ftruncate") << 1 << EIO << true;
    QTest::newRow("in place: flushing the file fails") << true << QByteArray("fsync") << 2 << EIO << true;
}

void tst_DiskFile::failedStepLeavesOldFileOrNamedCopy()
{
    QFETCH(bool, linked);
    QFETCH(QByteArray, call);
    QFETCH(int, which);
    QFETCH(int, error);
    QFETCH(bool, copyNamed);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("t.bin"));
    {
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(kOld) == kOld.size());
    }
    if (linked)
        QVERIFY(::link(QFile::encodeName(target).constData(),
                       QFile::encodeName(dir.filePath(QStringLiteral("other.bin"))).constData()) == 0);
    const QStringList entries = entriesOf(dir.path());
    ScriptedOps ops;
    ops.failing = call;
    ops.failingCall = which;
    ops.error = error;

    const QString result = DiskFile::writeWhole(target, reinterpret_cast<const uint8_t *>(kNew.constData()),
                                                kNew.size(), &ops);
    QVERIFY2(result.startsWith(QString::fromLocal8Bit(std::strerror(error))), qPrintable(result));
    const QString marker = QStringLiteral("; the new content is kept in ");
    QCOMPARE(result.contains(marker), copyNamed);
    if (copyNamed) {
        const QString copy = result.mid(result.indexOf(marker) + marker.size());
        QCOMPARE(readFile(copy), kNew);
        QCOMPARE(entriesOf(dir.path()).size(), entries.size() + 1);
    } else {
        QCOMPARE(readFile(target), kOld);
        QCOMPARE(entriesOf(dir.path()), entries);
    }
}

QTEST_GUILESS_MAIN(tst_DiskFile)
#include "tst_diskfile.moc"
