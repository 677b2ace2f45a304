// Saving changed pages in place and as a copy: every step of a save fails or
// is cut short by a crash in turn, and the file must afterwards hold exactly
// its old bytes or exactly its new ones.
#include "pagesave.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <map>
#include <set>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

Q_DECLARE_METATYPE(ByteChanges)

namespace {

struct SimulatedCrash {};

// What a crash takes with it.
enum class Loss {
    Nothing,             // the process stopped; every call made reached the disk
    Unflushed,           // power failed: writes since a file's last fsync are lost, and names
                         // created in a folder that was not flushed since
    EveryOtherUnflushed, // power failed and the disk kept every second unflushed write
};

// The real operations, with one call made to fail or to crash. After a crash
// every call fails without effect, as nothing runs after a real one.
class FaultyOps : public PageFileOps {
public:
    int crashAt = 0;
    QByteArray crashOnWriteTo; // or crash at a write to this file...
    int writesBeforeCrash = 0; // ...after letting this many through
    Loss loss = Loss::Nothing;
    int failAt = 0;
    int failWith = ENOSPC;
    int64_t maxIo = 1000; // short reads and writes, so a journal takes many steps
    int copyRangeError = 0; // for hole search too: a system with neither

    QByteArray triggeredCall;
    QStringList violations;

    int open(const QByteArray &path, OpenMode mode, uint32_t createMode) override
    {
        if (const int r = step("open"))
            return r;
        const int fd = m_real.open(path, mode, createMode);
        if (fd >= 0)
            m_paths[fd] = path;
        if (fd >= 0 && mode == CreateNew)
            m_created.insert(path);
        return fd;
    }
    int close(int fd) override
    {
        m_paths.erase(fd);
        // Descriptors are closed on the way out of a crash too, and a
        // destructor cannot throw: closing never crashes.
        const int r = m_crashed ? 0 : step("close", false);
        m_real.close(fd);
        return r;
    }
    int64_t pread(int fd, void *buf, int64_t len, int64_t offset) override
    {
        return at("pread", [&] { return m_real.pread(fd, buf, capped(len), offset); });
    }
    int64_t pwrite(int fd, const void *buf, int64_t len, int64_t offset) override
    {
        if (!crashOnWriteTo.isEmpty() && m_paths[fd] == crashOnWriteTo && writesBeforeCrash-- == 0)
            crash();
        if (const int r = step("pwrite"))
            return r;
        remember(fd, offset, capped(len));
        return m_real.pwrite(fd, buf, capped(len), offset);
    }
    int fsync(int fd) override
    {
        if (const int r = step("fsync"))
            return r;
        const int r = m_real.fsync(fd);
        const QByteArray path = m_paths[fd];
        m_unflushed.erase(path);
        std::erase_if(m_created, [&](const QByteArray &p) { return p.left(p.lastIndexOf('/')) == path; });
        return r;
    }
    int ftruncate(int fd, int64_t length) override
    {
        if (const int r = step("ftruncate"))
            return r;
        remember(fd, length, std::numeric_limits<int64_t>::max() / 2);
        return m_real.ftruncate(fd, length);
    }
    int fchmod(int fd, uint32_t mode) override { return at("fchmod", [&] { return m_real.fchmod(fd, mode); }); }
    int fstat(int fd, FileStat &out) override { return at("fstat", [&] { return m_real.fstat(fd, out); }); }
    int stat(const QByteArray &path, FileStat &out) override
    {
        return at("stat", [&] { return m_real.stat(path, out); });
    }
    int rename(const QByteArray &from, const QByteArray &to) override
    {
        if (const int r = step("rename"))
            return r;
        if (m_unflushed.count(from))
            violations << QStringLiteral("%1 was renamed before it was flushed").arg(QString::fromLocal8Bit(from));
        m_created.erase(from);
        return m_real.rename(from, to);
    }
    int unlink(const QByteArray &path) override
    {
        if (const int r = step("unlink"))
            return r;
        m_unflushed.erase(path);
        m_created.erase(path);
        return m_real.unlink(path);
    }
    int64_t seek(int fd, int64_t offset, Seek which) override
    {
        if (const int r = step("seek"))
            return r;
        return copyRangeError ? -copyRangeError : m_real.seek(fd, offset, which);
    }
    int64_t copyFileRange(int in, int64_t inOffset, int out, int64_t outOffset, int64_t len) override
    {
        if (const int r = step("copyFileRange"))
            return r;
        if (copyRangeError)
            return -copyRangeError;
        remember(out, outOffset, capped(len));
        return m_real.copyFileRange(in, inOffset, out, outOffset, capped(len));
    }

private:
    struct Undo {
        int64_t offset;
        QByteArray bytes;
        int64_t size;
    };

    // Runs `call` unless this step fails or crashes.
    template<typename Call>
    auto at(const char *name, Call call) -> decltype(call())
    {
        if (const int r = step(name))
            return r;
        return call();
    }

    int step(const char *name, bool mayCrash = true)
    {
        if (m_crashed)
            return -EIO;
        ++m_calls;
        if (m_calls == crashAt && !mayCrash)
            ++crashAt; // at the next call that can
        else if (m_calls == crashAt)
            crash();
        if (m_calls == failAt) {
            triggeredCall = name;
            return -failWith;
        }
        return 0;
    }

    int64_t capped(int64_t len) const { return maxIo > 0 ? std::min(len, maxIo) : len; }

    // Keeps what a write is about to replace, to take it back at a power loss.
    void remember(int fd, int64_t offset, int64_t len)
    {
        FileStat st;
        m_real.fstat(fd, st);
        QByteArray old(std::max<int64_t>(0, std::min(len, st.id.size - offset)), '\0');
        if (!old.isEmpty())
            m_real.pread(fd, old.data(), old.size(), offset);
        m_unflushed[m_paths[fd]].push_back({offset, old, st.id.size});
    }

    [[noreturn]] void crash()
    {
        m_crashed = true;
        triggeredCall = "crash";
        if (loss != Loss::Nothing) {
            for (auto &[path, undos] : m_unflushed) {
                const int fd = m_real.open(path, ReadWrite, 0);
                for (int64_t i = int64_t(undos.size()) - 1; fd >= 0 && i >= 0; --i) {
                    if (loss == Loss::EveryOtherUnflushed && i % 2 == 1)
                        continue;
                    m_real.ftruncate(fd, undos[i].size);
                    m_real.pwrite(fd, undos[i].bytes.constData(), undos[i].bytes.size(), undos[i].offset);
                }
                if (fd >= 0)
                    m_real.close(fd);
            }
            for (const QByteArray &path : m_created)
                m_real.unlink(path);
        }
        throw SimulatedCrash{};
    }

    PageFileOps &m_real = PageFileOps::real();
    int m_calls = 0;
    bool m_crashed = false;
    std::map<int, QByteArray> m_paths;
    std::map<QByteArray, std::vector<Undo>> m_unflushed;
    std::set<QByteArray> m_created;
};

QByteArray pattern(int64_t size, uint32_t seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    uint32_t x = seed * 2654435761u + 1;
    for (char &c : bytes) {
        x ^= x << 13; x ^= x >> 17; x ^= x << 5;
        c = char(x);
    }
    return bytes;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray applied(QByteArray bytes, const ByteChanges &changes)
{
    for (const auto &[offset, b] : changes)
        bytes.replace(offset, b.size(), b);
    return bytes;
}

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

constexpr auto kModeBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
    | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
constexpr int64_t kPage = 4096;
const QByteArray kOld = pattern(3 * kPage + 100, 1);
// First and last byte, across a page boundary, a run longer than a page, and
// an overlap in which the later change wins.
const ByteChanges kChanges = {
    {0, "A"}, {kPage - 6, "straddling"}, {2 * kPage - 500, pattern(kPage + 200, 2)},
    {2 * kPage + 10, "later"}, {3 * kPage + 99, "Z"}};
const QByteArray kNew = applied(kOld, kChanges);
const QByteArray kPreviousTarget = pattern(777, 3);

enum Operation { InPlace, Copy };

// A folder with the file to save and, for a copy, the file it replaces.
struct Scene {
    explicit Scene(int op)
        : path(dir.filePath(QStringLiteral("data.bin")))
        , target(op == InPlace ? path : dir.filePath(QStringLiteral("target.bin")))
        , before(op == InPlace ? kOld : kPreviousTarget)
    {
        writeFile(path, kOld);
        if (op == Copy)
            writeFile(target, kPreviousTarget);
    }
    QTemporaryDir dir;
    QString path;
    QString target;
    QByteArray before;
};

// One save of kChanges; the copy goes over an existing file.
QString runSave(Operation op, const QString &folder, PageFileOps &ops)
{
    const QString path = folder + QStringLiteral("/data.bin");
    const FileIdentity id = *FileIdentity::of(path);
    return op == InPlace ? saveChangedPages(path, id, kChanges, ops)
                         : saveCopyWithChanges(path, id, folder + QStringLiteral("/target.bin"), kChanges, ops);
}

} // namespace

class TestPageSave : public QObject {
    Q_OBJECT

private slots:
    void crashAtEveryStep_data();
    void crashAtEveryStep();
    void failureAtEveryStep_data();
    void failureAtEveryStep();
    void untrustedJournal_data();
    void untrustedJournal();
    void saveCopy_data();
    void saveCopy();
    void refusedWhenTheFileChanged_data();
    void refusedWhenTheFileChanged();
    void sparseFileBeyond4GiB();
};

void TestPageSave::crashAtEveryStep_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<Loss>("loss");
    QTest::newRow("in place, process stops") << int(InPlace) << Loss::Nothing;
    QTest::newRow("in place, power lost") << int(InPlace) << Loss::Unflushed;
    QTest::newRow("in place, power lost, some writes kept") << int(InPlace) << Loss::EveryOtherUnflushed;
    QTest::newRow("copy, process stops") << int(Copy) << Loss::Nothing;
    QTest::newRow("copy, power lost") << int(Copy) << Loss::Unflushed;
    QTest::newRow("copy, power lost, some writes kept") << int(Copy) << Loss::EveryOtherUnflushed;
}

// The save crashes at step N; for an in-place save, recovery then crashes at
// step 1, 2, ... in turn on what is left, until one run completes.
void TestPageSave::crashAtEveryStep()
{
    QFETCH(int, op);
    QFETCH(Loss, loss);
    std::set<RecoveryResult::Outcome> seen;
    for (int step = 1;; ++step) {
        QVERIFY2(step < 1000, "the save never completed");
        const Scene scene(op);
        const QString &path = scene.path;
        const QString &target = scene.target;
        FaultyOps ops;
        ops.crashAt = step;
        ops.loss = loss;
        QString result;
        try {
            result = runSave(Operation(op), scene.dir.path(), ops);
        } catch (const SimulatedCrash &) {
        }
        const QByteArray where = "at step " + QByteArray::number(step);
        QVERIFY2(ops.violations.isEmpty(), qPrintable(ops.violations.join(u'\n')));
        if (ops.triggeredCall.isEmpty()) {
            QCOMPARE(result, QString());
            QCOMPARE(readFile(target), kNew);
            QVERIFY(!QFile::exists(journalPathFor(path)));
            break;
        }
        if (op == Copy) {
            const QByteArray now = readFile(target);
            QVERIFY2(now == scene.before || now == kNew, where);
            QCOMPARE(readFile(path), kOld);
            continue;
        }

        const QString journalPath = journalPathFor(path);
        const QByteArray crashedFile = readFile(path);
        const QByteArray crashedJournal = readFile(journalPath);
        const RecoveryResult recovered = recoverInterruptedSave(path);
        const QByteArray now = readFile(path);
        QVERIFY2(now == kOld || now == kNew, where + ": the file mixes old and new bytes");
        seen.insert(recovered.outcome);

        switch (recovered.outcome) {
        case RecoveryResult::RolledBack:
            QVERIFY2(now == kOld && !QFile::exists(journalPath), where);
            QCOMPARE(recoverInterruptedSave(path).outcome, RecoveryResult::None);
            break;
        case RecoveryResult::None:
            QVERIFY2(now == crashedFile && !QFile::exists(journalPath), where);
            break;
        case RecoveryResult::LeftAlone:
            // Only a journal cut short while it was written is distrusted,
            // and the file was not yet touched then.
            QVERIFY2(now == kOld && readFile(journalPath) == crashedJournal, where);
            QVERIFY(!recovered.reason.isEmpty());
            break;
        case RecoveryResult::Failed:
            QFAIL(qPrintable(where + ": " + recovered.reason));
        }
        if (recovered.outcome != RecoveryResult::RolledBack)
            continue;

        // The same state again, with the recovery itself cut short at step
        // 1, 2, ... in turn on what each attempt leaves.
        writeFile(path, crashedFile);
        writeFile(journalPath, crashedJournal);
        for (int recoveryStep = 1;; ++recoveryStep) {
            QVERIFY2(recoveryStep < 1000, "recovery never completed");
            FaultyOps again;
            again.crashAt = recoveryStep;
            again.loss = loss;
            try {
                const RecoveryResult last = recoverInterruptedSave(path, again);
                QVERIFY2(last.outcome == RecoveryResult::RolledBack || last.outcome == RecoveryResult::None,
                         qPrintable(last.reason));
                break;
            } catch (const SimulatedCrash &) {
            }
            QVERIFY2(again.violations.isEmpty(), qPrintable(again.violations.join(u'\n')));
        }
        QVERIFY2(readFile(path) == kOld, where + ": an interrupted recovery mixed old and new bytes");
        QVERIFY(!QFile::exists(journalPath));
    }
    if (op == InPlace) {
        QVERIFY(seen.count(RecoveryResult::RolledBack));
        QCOMPARE(seen.count(RecoveryResult::LeftAlone), size_t(loss == Loss::Nothing));
    }
}

void TestPageSave::failureAtEveryStep_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("error");
    QTest::newRow("in place, disk full") << int(InPlace) << ENOSPC;
    QTest::newRow("in place, i/o error") << int(InPlace) << EIO;
    QTest::newRow("copy, disk full") << int(Copy) << ENOSPC;
    QTest::newRow("copy, i/o error") << int(Copy) << EIO;
}

// One call fails at step N and the save goes on as it can: it must say so,
// put the file back itself and leave nothing behind.
void TestPageSave::failureAtEveryStep()
{
    QFETCH(int, op);
    QFETCH(int, error);
    for (int step = 1;; ++step) {
        QVERIFY2(step < 1000, "the save never completed");
        const Scene scene(op);
        const QString &path = scene.path;
        const QString &target = scene.target;
        if (op == Copy)
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        FaultyOps ops;
        ops.failAt = step;
        ops.failWith = error;
        const QString result = runSave(Operation(op), scene.dir.path(), ops);
        const QByteArray where = "at step " + QByteArray::number(step) + " (" + ops.triggeredCall + ")";
        const QByteArray now = readFile(target);
        if (result.isEmpty()) {
            QVERIFY2(now == kNew, where);
            // Only a failure the save could make up for goes unreported.
            QVERIFY2(ops.triggeredCall.isEmpty() || ops.triggeredCall == "close" || ops.triggeredCall == "unlink",
                     where);
        } else {
            QVERIFY2(now == scene.before || result.contains(QLatin1String("folder could not be flushed")),
                     where + ": " + result.toUtf8());
        }
        if (op == InPlace) {
            // What is left is consistent: recovery finds nothing to change.
            const RecoveryResult recovered = recoverInterruptedSave(path);
            QVERIFY2(recovered.outcome != RecoveryResult::LeftAlone && recovered.outcome != RecoveryResult::Failed,
                     where + ": " + recovered.reason.toUtf8());
            QCOMPARE(readFile(path), now);
            QVERIFY(!QFile::exists(journalPathFor(path)));
        } else {
            QCOMPARE(folderEntries(scene.dir.path()), (QStringList{QStringLiteral("data.bin"), QStringLiteral("target.bin")}));
            QCOMPARE(QFile::permissions(target) & kModeBits,
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        }
        if (ops.triggeredCall.isEmpty())
            break;
    }
}

void TestPageSave::untrustedJournal_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<RecoveryResult::Outcome>("outcome");
    QTest::newRow("intact journal") << "" << RecoveryResult::RolledBack;
    QTest::newRow("empty journal") << "empty" << RecoveryResult::None;
    QTest::newRow("journal one byte short") << "short by one" << RecoveryResult::LeftAlone;
    QTest::newRow("journal cut inside its header") << "cut in header" << RecoveryResult::LeftAlone;
    QTest::newRow("old bytes damaged") << "flip old byte" << RecoveryResult::LeftAlone;
    QTest::newRow("checksum damaged") << "flip checksum" << RecoveryResult::LeftAlone;
    QTest::newRow("not a journal") << "garbage" << RecoveryResult::LeftAlone;
    QTest::newRow("file replaced by a copy of itself") << "replaced" << RecoveryResult::LeftAlone;
    QTest::newRow("file changed size") << "resized" << RecoveryResult::LeftAlone;
    QTest::newRow("file missing") << "removed" << RecoveryResult::LeftAlone;
}

void TestPageSave::untrustedJournal()
{
    QFETCH(QString, damage);
    QFETCH(RecoveryResult::Outcome, outcome);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.bin"));
    const QString journalPath = journalPathFor(path);
    writeFile(path, kOld);
    {
        // A save stopped just before its first write to the file.
        FaultyOps ops;
        ops.crashOnWriteTo = nativePath(path);
        QVERIFY_THROWS_EXCEPTION(SimulatedCrash, saveChangedPages(path, *FileIdentity::of(path), kChanges, ops));
    }
    QByteArray journal = readFile(journalPath);
    QVERIFY(journal.size() > 40);
    QByteArray file = kOld;
    if (damage == QLatin1String("empty"))
        journal.clear();
    else if (damage == QLatin1String("short by one"))
        journal.chop(1);
    else if (damage == QLatin1String("cut in header"))
        journal.truncate(20);
    else if (damage == QLatin1String("flip old byte"))
        journal[journal.size() - 20] = char(journal[journal.size() - 20] ^ 0x10);
    else if (damage == QLatin1String("flip checksum"))
        journal[journal.size() - 1] = char(journal[journal.size() - 1] ^ 0x01);
    else if (damage == QLatin1String("garbage"))
        journal = pattern(journal.size(), 9);
    writeFile(journalPath, journal);
    if (damage == QLatin1String("replaced")) {
        writeFile(path + QStringLiteral(".new"), kOld);
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::rename(path + QStringLiteral(".new"), path));
    } else if (damage == QLatin1String("resized")) {
        file = kOld + "x";
        writeFile(path, file);
    } else if (damage == QLatin1String("removed")) {
        QVERIFY(QFile::remove(path));
        file = "<missing>";
    }

    const RecoveryResult result = recoverInterruptedSave(path);
    QCOMPARE(result.outcome, outcome);
    QCOMPARE(readFile(path), file);
    if (outcome == RecoveryResult::LeftAlone) {
        QVERIFY(result.reason.contains(journalPath));
        QCOMPARE(readFile(journalPath), journal);
        // A save must not overwrite a journal nobody could resolve.
        if (damage != QLatin1String("removed")) {
            QVERIFY(!saveChangedPages(path, *FileIdentity::of(path), kChanges).isEmpty());
            QCOMPARE(readFile(path), file);
        }
    } else {
        QVERIFY(!QFile::exists(journalPath));
        QCOMPARE(recoverInterruptedSave(path).outcome, RecoveryResult::None);
    }
}

void TestPageSave::saveCopy_data()
{
    QTest::addColumn<ByteChanges>("changes");
    QTest::addColumn<int>("copyRangeError");
    QTest::addColumn<bool>("targetExists");
    const int64_t size = 2 * kPage + 17;
    QTest::newRow("first byte") << ByteChanges{{0, "\xff"}} << 0 << false;
    QTest::newRow("last byte") << ByteChanges{{size - 1, "\x00"}} << 0 << false;
    QTest::newRow("across a page boundary") << ByteChanges{{kPage - 2, "abcd"}} << 0 << false;
    QTest::newRow("no changes, over an existing file") << ByteChanges{} << 0 << true;
    QTest::newRow("all three, over an existing file")
        << ByteChanges{{0, "F"}, {kPage - 1, "xy"}, {size - 1, "L"}} << 0 << true;
    for (const int error : {EXDEV, ENOSYS, EOPNOTSUPP})
        QTest::addRow("no kernel copy or hole search (%s)", strerror(error))
            << ByteChanges{{0, "F"}, {kPage - 1, "xy"}, {size - 1, "L"}} << error << false;
}

void TestPageSave::saveCopy()
{
    QFETCH(ByteChanges, changes);
    QFETCH(int, copyRangeError);
    QFETCH(bool, targetExists);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.bin"));
    const QString target = dir.filePath(QStringLiteral("target.bin"));
    const QByteArray old = pattern(2 * kPage + 17, 4);
    writeFile(source, old);
    const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    if (targetExists) {
        writeFile(target, kPreviousTarget);
        QVERIFY(QFile::setPermissions(target, mode));
    }
    FaultyOps ops;
    ops.maxIo = 3000;
    ops.copyRangeError = copyRangeError;
    QCOMPARE(saveCopyWithChanges(source, *FileIdentity::of(source), target, changes, ops), QString());
    QCOMPARE(readFile(target), applied(old, changes));
    QCOMPARE(readFile(source), old);
    QCOMPARE(folderEntries(dir.path()), (QStringList{QStringLiteral("source.bin"), QStringLiteral("target.bin")}));
    if (targetExists)
        QCOMPARE(QFile::permissions(target) & kModeBits, mode);
}

void TestPageSave::refusedWhenTheFileChanged_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("reason");
    for (const int op : {int(InPlace), int(Copy)}) {
        const char *name = op == InPlace ? "in place" : "copy";
        QTest::addRow("%s, grown", name) << op << "grown" << "changed size";
        QTest::addRow("%s, rewritten at the same size", name) << op << "rewritten" << "changed by another program";
        QTest::addRow("%s, replaced", name) << op << "replaced" << "replaced";
        QTest::addRow("%s, change beyond the end", name) << op << "beyond" << "outside the file";
    }
}

void TestPageSave::refusedWhenTheFileChanged()
{
    QFETCH(int, op);
    QFETCH(QString, change);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.bin"));
    writeFile(path, kOld);
    const FileIdentity opened = *FileIdentity::of(path);
    QByteArray now = kOld;
    ByteChanges changes = kChanges;
    if (change == QLatin1String("grown")) {
        now += "more";
    } else if (change == QLatin1String("rewritten")) {
        now[5] = char(now[5] + 1);
    } else if (change == QLatin1String("replaced")) {
        writeFile(path + QStringLiteral(".new"), now);
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::rename(path + QStringLiteral(".new"), path));
    } else {
        changes.push_back({kOld.size() - 2, "xyz"});
    }
    if (change == QLatin1String("grown") || change == QLatin1String("rewritten")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QCOMPARE(f.write(now), now.size());
        // Coarse file-system clocks could otherwise leave the time as it was.
        QVERIFY(f.setFileTime(f.fileTime(QFileDevice::FileModificationTime).addSecs(5),
                              QFileDevice::FileModificationTime));
    }
    const QStringList before = folderEntries(dir.path());
    const QString result = op == InPlace
        ? saveChangedPages(path, opened, changes)
        : saveCopyWithChanges(path, opened, dir.filePath(QStringLiteral("target.bin")), changes);
    QVERIFY2(result.contains(reason), qPrintable(result));
    QCOMPARE(readFile(path), now);
    QCOMPARE(folderEntries(dir.path()), before);
}

// Positions past 2^31 and 2^32 in a sparse file of a little over 5 GiB that
// takes almost no disk, in place (interrupted, then whole) and as a copy.
void TestPageSave::sparseFileBeyond4GiB()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sparse.bin"));
    const int64_t size = (int64_t(5) << 30) + 123;
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (!f.resize(size))
            QSKIP("the temporary folder cannot hold a sparse 5 GiB file");
    }
    const ByteChanges changes = {
        {(int64_t(1) << 31) - 2, "2^31"}, {(int64_t(1) << 32) + 1, "past 4 GiB"}, {size - 1, "!"}};
    const auto bytesAt = [](const QString &file, int64_t offset, int64_t len) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) && f.seek(offset) ? f.read(len) : QByteArray();
    };

    FaultyOps ops;
    ops.crashOnWriteTo = nativePath(path);
    ops.writesBeforeCrash = 1;
    ops.maxIo = 0;
    QVERIFY_THROWS_EXCEPTION(SimulatedCrash, saveChangedPages(path, *FileIdentity::of(path), changes, ops));
    QCOMPARE(bytesAt(path, changes[0].first, 4), changes[0].second);
    QCOMPARE(recoverInterruptedSave(path).outcome, RecoveryResult::RolledBack);
    for (const auto &[offset, bytes] : changes)
        QCOMPARE(bytesAt(path, offset, bytes.size()), QByteArray(bytes.size(), '\0'));

    QCOMPARE(saveChangedPages(path, *FileIdentity::of(path), changes), QString());
    const QString copy = dir.filePath(QStringLiteral("copy.bin"));
    const ByteChanges more = {{(int64_t(9) << 29) + 5, "at 4.5 GiB"}};
    QCOMPARE(saveCopyWithChanges(path, *FileIdentity::of(path), copy, more), QString());
    for (const QString &file : {path, copy}) {
        for (const auto &[offset, bytes] : changes)
            QCOMPARE(bytesAt(file, offset, bytes.size()), bytes);
        QCOMPARE(QFileInfo(file).size(), size);
    }
    QCOMPARE(bytesAt(copy, more[0].first, more[0].second.size()), more[0].second);
    QCOMPARE(bytesAt(path, more[0].first, 1), QByteArray(1, '\0'));
    QVERIFY(!QFile::exists(journalPathFor(path)));
#ifdef Q_OS_UNIX
    // The copy keeps the holes: a few pages of data, not 5 GiB.
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(copy).constData(), &st), 0);
    QVERIFY2(int64_t(st.st_blocks) * 512 < (int64_t(64) << 20), qPrintable(QString::number(st.st_blocks)));
#endif
}

QTEST_GUILESS_MAIN(TestPageSave)
#include "tst_pagesave.moc"
