// Loading and saving the open file on real files in a temporary folder, all
// of it through the one file-system seam: every step of every way a save
// writes (patch in place, replace by rename, overwrite in place, a new copy)
// fails or is cut short by a crash in turn, for a file held in memory and
// one read in pages; afterwards the file holds exactly its old bytes or
// exactly its new ones, and the edits can still be saved. Then the journal's
// trust rules, the resolver's choice, and files that other programs change.
#include "documentfile.h"
#include "faultyfileops.h"
#include "journal.h"
#include "sparsefile.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

QByteArray pattern(int64_t size, uint32_t seed)
{
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    uint32_t x = seed * 2654435761u + 1;
    for (char &c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

ino_t inodeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

constexpr int64_t kPage = 4096;
const QByteArray kOld = pattern(3 * kPage + 100, 1);
// First and last byte, across a page boundary, and a run longer than a page.
const ByteChanges kEdits = {
    {0, "A"}, {kPage - 6, "straddling"}, {2 * kPage - 500, pattern(kPage + 200, 2)}, {3 * kPage + 99, "Z"}};
const QByteArray kNew = [] {
    QByteArray bytes = kOld;
    for (const auto &[offset, b] : kEdits)
        bytes.replace(qsizetype(offset), b.size(), b);
    return bytes;
}();
const QByteArray kPreviousTarget = pattern(777, 3);

enum Store { Memory, Pages };
constexpr Store kStores[] = {Memory, Pages};
const char *storeName(Store store)
{
    return store == Memory ? "in memory" : "in pages";
}
// Files above this are read in pages; kOld is.
int64_t wholeUpTo(Store store)
{
    return store == Memory ? ByteStore::kMaxSize : 1024;
}

void edit(DocumentFile &doc)
{
    for (const auto &[offset, bytes] : kEdits) {
        for (qsizetype i = 0; i < bytes.size(); ++i)
            doc[offset + i] = uint8_t(bytes[i]);
    }
}

enum Strategy { Patch, PatchInRefusingFolder, Replace, Overwrite, NewCopy };
const std::pair<Strategy, const char *> kStrategies[] = {
    {Patch, "patch in place"}, {PatchInRefusingFolder, "patch, journal in the state folder"},
    {Replace, "replace by rename"}, {Overwrite, "overwrite in place (hard link)"}, {NewCopy, "Save As a new copy"}};

// A folder with the file that is opened and, for Save As, the file it goes to.
struct Scene {
    explicit Scene(Strategy s) : strategy(s)
    {
        path = dir.filePath(QStringLiteral("data.bin"));
        writeFile(path, kOld);
        target = path;
        before = kOld;
        if (s == Replace || s == Overwrite) {
            target = dir.filePath(QStringLiteral("target.bin"));
            writeFile(target, kPreviousTarget);
            before = kPreviousTarget;
        } else if (s == NewCopy) {
            target = dir.filePath(QStringLiteral("copy.bin"));
            before = "<missing>";
        }
        opener = target;
        if (s == Overwrite) {
            // Its journal is found through either name.
            opener = dir.filePath(QStringLiteral("other.bin"));
            ::link(QFile::encodeName(target).constData(), QFile::encodeName(opener).constData());
        }
    }
    QString save(DocumentFile &doc) const { return target == path ? doc.save(path, false) : doc.save(target, true); }
    void refuse(FaultyFileOps &ops) const
    {
        if (strategy == PatchInRefusingFolder)
            ops.refusedFolder = QFile::encodeName(dir.path());
    }

    Strategy strategy;
    QTemporaryDir dir;
    QString path, target, opener;
    QByteArray before;
};

// Every file in some folders, to put back as it was.
class Snapshot
{
public:
    explicit Snapshot(const QStringList &folders) : m_folders(folders)
    {
        for (const QString &folder : folders)
            for (const QString &name : entriesOf(folder))
                m_files.insert(folder + '/' + name, readFile(folder + '/' + name));
    }
    void restore() const
    {
        for (const QString &folder : m_folders)
            for (const QString &name : entriesOf(folder))
                if (!m_files.contains(folder + '/' + name))
                    QFile::remove(folder + '/' + name);
        for (auto it = m_files.begin(); it != m_files.end(); ++it)
            writeFile(it.key(), it.value());
    }

private:
    QStringList m_folders;
    QMap<QString, QByteArray> m_files;
};

const QString kRolledBack = QStringLiteral("the file was put back as it was before that save");

// What a save must keep of a file besides its bytes.
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
    put32(2);
    entry(0x01, 6, uint32_t(-1));
    entry(0x02, 4, user);
    entry(0x04, 4, uint32_t(-1));
    entry(0x10, 4, uint32_t(-1));
    entry(0x20, 0, uint32_t(-1));
    return acl;
}

// A journal as the previous version wrote it: ranges, old bytes, and an
// FNV-1a checksum taken a byte at a time.
QByteArray versionOneJournal(const QString &file, const QByteArray &old)
{
    struct stat st;
    ::stat(QFile::encodeName(file).constData(), &st);
    QByteArray j("VELTJRNL");
    const auto u32 = [&](uint32_t v) { v = qToLittleEndian(v); j.append(reinterpret_cast<const char *>(&v), 4); };
    const auto u64 = [&](uint64_t v) { v = qToLittleEndian(v); j.append(reinterpret_cast<const char *>(&v), 8); };
    u32(1);
    u32(uint32_t(kEdits.size()));
    u64(st.st_dev);
    u64(st.st_ino);
    u64(uint64_t(st.st_size));
    for (const auto &[offset, bytes] : kEdits) {
        u64(uint64_t(offset));
        u64(uint64_t(bytes.size()));
    }
    for (const auto &[offset, bytes] : kEdits)
        j += old.mid(qsizetype(offset), bytes.size());
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : j)
        hash = (hash ^ uint8_t(c)) * 0x100000001b3ull;
    u64(hash);
    return j;
}

} // namespace

Q_DECLARE_METATYPE(Store)
Q_DECLARE_METATYPE(Strategy)
Q_DECLARE_METATYPE(Loss)

class tst_DocumentFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void crashAtEveryStep_data();
    void crashAtEveryStep();
    void failureAtEveryStep_data();
    void failureAtEveryStep();
    void aliasesShareOneJournal_data();
    void aliasesShareOneJournal();
    void recoveryLeavesARunningSaveAlone();
    void journalTrust_data();
    void journalTrust();
    void changedOnDisk_data();
    void changedOnDisk();
    void resolverKeepsWhatTheFileIs_data();
    void resolverKeepsWhatTheFileIs();
    void relativeNameSurvivesAChangeOfFolder_data();
    void relativeNameSurvivesAChangeOfFolder();
    void loads_data();
    void loads();

private:
    QString stateFolder() const { return m_state.filePath(QStringLiteral("veltrano")); }
    QTemporaryDir m_state;
};

void tst_DocumentFile::initTestCase()
{
    // Journals that cannot go beside their file go here, not into the home folder.
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
}

void tst_DocumentFile::init()
{
    QDir(stateFolder()).removeRecursively();
}

void tst_DocumentFile::crashAtEveryStep_data()
{
    QTest::addColumn<Strategy>("strategy");
    QTest::addColumn<Store>("store");
    QTest::addColumn<Loss>("loss");
    const std::pair<Loss, const char *> losses[] = {
        {Loss::Nothing, "process stops"}, {Loss::Unflushed, "power lost"},
        {Loss::EveryOtherUnflushed, "power lost, some writes kept"}};
    for (const auto &[strategy, how] : kStrategies)
        for (const Store store : kStores)
            for (const auto &[loss, what] : losses)
                QTest::addRow("%s, %s, %s", how, storeName(store), what) << strategy << store << loss;
}

// The save crashes at step N; the next open then puts the file back, and is
// itself crashed at step 1, 2, ... in turn on what the save left; finally a
// new save in the folder must work and leave no litter.
void tst_DocumentFile::crashAtEveryStep()
{
    QFETCH(Strategy, strategy);
    QFETCH(Store, store);
    QFETCH(Loss, loss);
    bool rolledBack = false;
    for (int step = 1;; ++step) {
        QVERIFY2(step < 500, "the save never completed");
        const Scene scene(strategy);
        const QByteArray where = "at step " + QByteArray::number(step);
        const ino_t inode = inodeOf(scene.target);
        QString result;
        bool crashed = false;
        {
            FaultyFileOps ops;
            ops.loss = loss;
            ops.maxIo = 3000;
            scene.refuse(ops);
            DocumentFile doc(ops, wholeUpTo(store));
            QCOMPARE(doc.load(scene.path).failure, QString());
            edit(doc);
            ops.armed = true;
            ops.crashAt = step;
            try {
                result = scene.save(doc);
            } catch (const SimulatedCrash &) {
                crashed = true;
            }
            QVERIFY2(ops.violations.isEmpty(), qPrintable(ops.violations.join(u'\n')));
        }
        if (!crashed) {
            QCOMPARE(result, QString());
            QCOMPARE(readFile(scene.target), kNew);
            if (strategy == Patch || strategy == Overwrite)
                QCOMPARE(inodeOf(scene.target), inode); // nothing replaced it
            QCOMPARE(entriesOf(stateFolder()), QStringList());
            break;
        }

        const Snapshot crashState({scene.dir.path(), stateFolder()});
        const QByteArray crashedTarget = readFile(scene.target);
        QVERIFY2(crashedTarget == scene.before || crashedTarget == kNew || strategy == Patch
                     || strategy == PatchInRefusingFolder || strategy == Overwrite,
                 where + ": a save without a journal mixed the file");
        DocumentFile next;
        const DocumentFile::Opened opened = next.load(scene.opener);
        const QByteArray now = readFile(scene.target);
        QVERIFY2(now == scene.before || now == kNew, where + ": the file mixes old and new bytes");
        QCOMPARE(readFile(scene.path), scene.target == scene.path ? now : kOld);
        if (opened.failure.isEmpty())
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(next.span()), qsizetype(next.size())), now);
        if (opened.notice == kRolledBack) {
            rolledBack = true;
            QCOMPARE(now, scene.before);
            // The same crash again, with the recovery itself cut short at
            // step 1, 2, ... on what each attempt leaves.
            crashState.restore();
            for (int recoveryStep = 1;; ++recoveryStep) {
                QVERIFY2(recoveryStep < 500, "recovery never completed");
                FaultyFileOps again;
                again.loss = loss;
                again.armed = true;
                again.crashAt = recoveryStep;
                try {
                    DocumentFile doc(again, wholeUpTo(store));
                    doc.load(scene.opener);
                    break;
                } catch (const SimulatedCrash &) {
                }
                QVERIFY2(again.violations.isEmpty(), qPrintable(again.violations.join(u'\n')));
            }
            QVERIFY2(readFile(scene.target) == scene.before, where + ": an interrupted recovery mixed the file");
        } else {
            QVERIFY2(opened.notice.isEmpty() || now == scene.before, where + ": " + opened.notice.toUtf8());
        }

        // What the crash left in the folder goes with the next save there.
        FaultyFileOps refusing;
        scene.refuse(refusing);
        DocumentFile again(refusing, wholeUpTo(store));
        QCOMPARE(again.load(scene.path).failure, QString());
        edit(again);
        QCOMPARE(scene.save(again), QString());
        QCOMPARE(readFile(scene.target), kNew);
        QStringList expected{QStringLiteral("data.bin")};
        for (const QString &file : {scene.target, scene.opener})
            if (!expected.contains(QFileInfo(file).fileName()))
                expected << QFileInfo(file).fileName();
        expected.sort();
        QCOMPARE(entriesOf(scene.dir.path()), expected);
        QCOMPARE(entriesOf(stateFolder()), QStringList());
    }
    if (strategy == Patch || strategy == PatchInRefusingFolder || strategy == Overwrite)
        QVERIFY(rolledBack);
}

void tst_DocumentFile::failureAtEveryStep_data()
{
    QTest::addColumn<Strategy>("strategy");
    QTest::addColumn<Store>("store");
    QTest::addColumn<int>("error");
    for (const auto &[strategy, how] : kStrategies)
        for (const Store store : kStores)
            for (const int error : {ENOSPC, EIO})
                QTest::addRow("%s, %s, %s", how, storeName(store), strerror(error)) << strategy << store << error;
}

// One call fails at step N and the save goes on as it can: it must say so,
// leave the file whole, and the same edits must save once the cause is gone.
void tst_DocumentFile::failureAtEveryStep()
{
    QFETCH(Strategy, strategy);
    QFETCH(Store, store);
    QFETCH(int, error);
    for (int step = 1;; ++step) {
        QVERIFY2(step < 500, "the save never completed");
        const Scene scene(strategy);
        const QStringList entries = entriesOf(scene.dir.path());
        FaultyFileOps ops;
        ops.maxIo = 3000;
        scene.refuse(ops);
        DocumentFile doc(ops, wholeUpTo(store));
        QCOMPARE(doc.load(scene.path).failure, QString());
        edit(doc);
        ops.armed = true;
        ops.failAt = step;
        ops.failWith = error;
        const QString result = scene.save(doc);
        const QByteArray where = "at step " + QByteArray::number(step) + " (" + ops.triggeredCall + ")";
        const QByteArray now = readFile(scene.target);
        if (result.isEmpty())
            QVERIFY2(now == kNew, where);
        else
            QVERIFY2(now == scene.before || result.contains(QLatin1String("could not be flushed")),
                     where + ": " + result.toUtf8());
        {
            // Nothing is pending: the next open finds nothing to put back.
            DocumentFile look;
            const DocumentFile::Opened opened = look.load(scene.opener);
            QVERIFY2(opened.notice.isEmpty(), where + ": " + opened.notice.toUtf8());
            QCOMPARE(readFile(scene.target), now);
        }
        ops.armed = false;
        QVERIFY2(scene.save(doc).isEmpty(), where + ": the edits could not be saved again");
        QCOMPARE(readFile(scene.target), kNew);
        QCOMPARE(readFile(scene.path), scene.target == scene.path ? kNew : kOld);
        QStringList expected = entries;
        if (strategy == NewCopy)
            expected = QStringList{QStringLiteral("copy.bin"), QStringLiteral("data.bin")};
        QCOMPARE(entriesOf(scene.dir.path()), expected);
        QCOMPARE(entriesOf(stateFolder()), QStringList());
        if (ops.triggeredCall.isEmpty())
            break;
    }

    // Both the write and its undo fail: the file stays mixed until the next
    // save (or open) plays the journal back, and the edits still save.
    if (strategy != Patch)
        return;
    const Scene scene(strategy);
    FaultyFileOps ops;
    DocumentFile doc(ops, wholeUpTo(store));
    QCOMPARE(doc.load(scene.path).failure, QString());
    edit(doc);
    ops.armed = true;
    ops.failing = "fsync";
    ops.failingFrom = 3; // the journal's and its folder's flushes pass
    ops.failWith = error;
    const QString result = doc.save(scene.path, false);
    QVERIFY2(result.contains(QLatin1String("put back from its journal")), qPrintable(result));
    ops.armed = false;
    QCOMPARE(doc.save(scene.path, false), QString());
    QCOMPARE(readFile(scene.path), kNew);
    QCOMPARE(entriesOf(scene.dir.path()), QStringList{QStringLiteral("data.bin")});
}

void tst_DocumentFile::aliasesShareOneJournal_data()
{
    QTest::addColumn<bool>("symbolic");
    QTest::newRow("symbolic link in another folder") << true;
    QTest::newRow("hard link in another folder") << false;
}

// A save through another name dies half way: the file, opened by its real
// name, is put back; a later save by the real name is never undone through
// the other name.
void tst_DocumentFile::aliasesShareOneJournal()
{
    QFETCH(bool, symbolic);
    QTemporaryDir here, there;
    const QString real = here.filePath(QStringLiteral("real.bin"));
    const QString alias = there.filePath(QStringLiteral("alias.bin"));
    QVERIFY(writeFile(real, kOld));
    const QByteArray from = QFile::encodeName(real), to = QFile::encodeName(alias);
    QCOMPARE(symbolic ? ::symlink(from.constData(), to.constData()) : ::link(from.constData(), to.constData()), 0);
    {
        FaultyFileOps ops;
        DocumentFile doc(ops);
        QCOMPARE(doc.load(alias).failure, QString());
        edit(doc);
        ops.armed = true;
        ops.crashOnWriteTo = symbolic ? from : to;
        ops.writesBeforeCrash = 2;
        QVERIFY_THROWS_EXCEPTION(SimulatedCrash, doc.save(alias, false));
    }
    QVERIFY(readFile(real) != kOld && readFile(real) != kNew);
    DocumentFile doc;
    const DocumentFile::Opened opened = doc.load(real);
    QCOMPARE(opened.notice, kRolledBack);
    QCOMPARE(readFile(real), kOld);
    edit(doc);
    QCOMPARE(doc.save(real, false), QString());
    DocumentFile later;
    QCOMPARE(later.load(alias).notice, QString());
    QCOMPARE(readFile(real), kNew);
}

// A second editor opens the file while the first is writing it: it reads
// the file as it is and leaves the first one's journal alone, and the first
// save ends as it should.
void tst_DocumentFile::recoveryLeavesARunningSaveAlone()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.bin"));
    QVERIFY(writeFile(path, kOld));
    FaultyFileOps ops;
    DocumentFile doc(ops);
    QCOMPARE(doc.load(path).failure, QString());
    edit(doc);
    QString seen;
    ops.beforeWrite = [&](const QByteArray &file) {
        if (file != QFile::encodeName(path) || !seen.isEmpty())
            return;
        DocumentFile other;
        const DocumentFile::Opened opened = other.load(path);
        seen = opened.failure.isEmpty() ? opened.notice : opened.failure;
    };
    ops.armed = true;
    QCOMPARE(doc.save(path, false), QString());
    QVERIFY2(seen.contains(QLatin1String("another program is saving it")), qPrintable(seen));
    QCOMPARE(readFile(path), kNew);
    QCOMPARE(entriesOf(dir.path()), QStringList{QStringLiteral("data.bin")});

    // A program that ignores the lock takes the journal away meanwhile: the
    // save cannot know what the file holds, so it does not claim success.
    doc[1] = 'B';
    ops.beforeWrite = [&](const QByteArray &file) {
        if (file == QFile::encodeName(path))
            QFile::remove(QString::fromLocal8Bit(Journal::besidePath(file)));
    };
    const QString result = doc.save(path, false);
    QVERIFY2(result.contains(QLatin1String("journal disappeared")), qPrintable(result));
}

void tst_DocumentFile::journalTrust_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("outcome"); // "put back", "nothing", "cleared", "left alone"
    QTest::newRow("intact journal") << "" << "put back";
    QTest::newRow("journal of the previous version") << "version 1" << "put back";
    QTest::newRow("empty journal") << "empty" << "nothing";
    QTest::newRow("journal of a save that had finished") << "finished" << "nothing";
    QTest::newRow("journal one byte short") << "short by one" << "cleared";
    QTest::newRow("journal cut inside its header") << "cut in header" << "cleared";
    QTest::newRow("old bytes damaged") << "flip old byte" << "left alone";
    QTest::newRow("checksum damaged") << "flip checksum" << "left alone";
    QTest::newRow("not a journal") << "garbage" << "left alone";
    QTest::newRow("journal of another version") << "version 9" << "left alone";
    QTest::newRow("file replaced by a copy of itself") << "replaced" << "left alone";
    QTest::newRow("file changed size") << "resized" << "left alone";
    QTest::newRow("others may write the journal") << "group writable" << "left alone";
    QTest::newRow("journal is a symbolic link") << "symbolic link" << "left alone";
    QTest::newRow("sparse journal claiming 2^32 ranges") << "huge count" << "left alone";
    QTest::newRow("sparse journal of 20 GB") << "huge" << "left alone";
    QTest::newRow("planted by another user in a shared folder") << "other user" << "left alone";
}

// A save stopped just before its first write to the file leaves a journal;
// what the next open does with it, as it was left or damaged.
void tst_DocumentFile::journalTrust()
{
    QFETCH(QString, damage);
    QFETCH(QString, outcome);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.bin"));
    QVERIFY(writeFile(path, kOld));
    if (damage == u"other user") {
        if (::geteuid() != 0)
            QSKIP("only root can act as a second user");
        // A world-writable sticky folder, root's file, nobody's journal.
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 01777), 0);
    }
    const QString journalPath = QString::fromLocal8Bit(Journal::besidePath(QFile::encodeName(path)));
    {
        FaultyFileOps ops;
        DocumentFile doc(ops);
        QCOMPARE(doc.load(path).failure, QString());
        edit(doc);
        ops.armed = true;
        ops.crashOnWriteTo = QFile::encodeName(path);
        QVERIFY_THROWS_EXCEPTION(SimulatedCrash, doc.save(path, false));
    }
    QByteArray journal = readFile(journalPath);
    QVERIFY(journal.size() > 56);
    QByteArray file = kOld;
    if (outcome == u"put back") {
        // The save had written its first change when it stopped.
        file.replace(0, 1, kEdits[0].second);
    }
    const QByteArray encoded = QFile::encodeName(journalPath);
    if (damage == u"version 1")
        journal = versionOneJournal(path, kOld);
    else if (damage == u"empty")
        journal.clear();
    else if (damage == u"finished")
        file = kNew;
    else if (damage == u"short by one")
        journal.chop(1);
    else if (damage == u"cut in header")
        journal.truncate(20);
    else if (damage == u"flip old byte")
        journal[journal.size() - 20] = char(journal[journal.size() - 20] ^ 0x10);
    else if (damage == u"flip checksum")
        journal[journal.size() - 1] = char(journal[journal.size() - 1] ^ 0x01);
    else if (damage == u"garbage")
        journal = pattern(journal.size(), 9);
    else if (damage == u"version 9")
        journal[8] = 9;
    if (damage != u"symbolic link")
        QVERIFY(writeFile(journalPath, journal));
    if (damage == u"finished" || damage == u"resized" || outcome == u"put back") {
        if (damage == u"resized")
            file += "x";
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.write(file) == file.size());
    } else if (damage == u"replaced") {
        QVERIFY(writeFile(path + QStringLiteral(".new"), kOld));
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::rename(path + QStringLiteral(".new"), path));
    } else if (damage == u"group writable") {
        QCOMPARE(::chmod(encoded.constData(), 0620), 0);
    } else if (damage == u"symbolic link") {
        const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QFile::rename(journalPath, elsewhere));
        QVERIFY(QFile::link(elsewhere, journalPath));
        journal = readFile(elsewhere);
    } else if (damage == u"huge count" || damage == u"huge") {
        // Claims far more than it holds; reading it must cost nothing.
        QFile f(journalPath);
        QVERIFY(f.open(QIODevice::ReadWrite));
        if (damage == u"huge count")
            QVERIFY(f.seek(12) && f.write("\xff\xff\xff\xff", 4) == 4);
        QVERIFY(f.resize(damage == u"huge count" ? (int64_t(1) << 36) : int64_t(20) * 1000 * 1000 * 1000));
        QVERIFY(f.seek(0));
        journal = f.read(100);
    } else if (damage == u"other user") {
        QCOMPARE(::chown(encoded.constData(), 65534, 65534), 0);
    }

    QElapsedTimer clock;
    clock.start();
    DocumentFile doc;
    const DocumentFile::Opened opened = doc.load(path);
    QCOMPARE(opened.failure, QString());
    QVERIFY2(clock.elapsed() < 5000, "a hostile journal held the open up");
    const bool kept = QFileInfo::exists(journalPath) || QFileInfo(journalPath).isSymLink();
    if (outcome == u"put back") {
        QCOMPARE(opened.notice, kRolledBack);
        QCOMPARE(readFile(path), kOld);
    } else if (outcome == u"nothing" || outcome == u"cleared") {
        QCOMPARE(opened.notice.isEmpty(), outcome == u"nothing");
        QCOMPARE(readFile(path), file);
    } else {
        QVERIFY(opened.notice.contains(QLatin1String("left as it is")));
        QCOMPARE(readFile(path), file);
        QVERIFY(kept);
        if (damage != u"huge" && damage != u"huge count")
            QCOMPARE(readFile(journalPath), journal);
        // A save must not write over a journal nobody could resolve.
        edit(doc);
        QVERIFY(!doc.save(path, false).isEmpty());
        QCOMPARE(readFile(path), file);
        return;
    }
    QVERIFY(!kept);
    // Said once: the next open finds nothing.
    DocumentFile again;
    QCOMPARE(again.load(path).notice, QString());
}

void tst_DocumentFile::changedOnDisk_data()
{
    QTest::addColumn<Store>("store");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("reason");
    for (const Store store : kStores) {
        const char *where = storeName(store);
        QTest::addRow("%s, 4,300 bytes appended", where) << store << "append" << "changed it";
        QTest::addRow("%s, cut short", where) << store << "truncate" << "changed it";
        QTest::addRow("%s, rewritten at the same size", where) << store << "rewrite" << "changed it";
        QTest::addRow("%s, rewritten, time put back", where) << store << "rewrite, time kept" << "changed it";
        QTest::addRow("%s, replaced", where) << store << "replace" << "replaced it";
        QTest::addRow("%s, deleted", where) << store << "delete" << "removed it";
    }
}

// Another program changes the file between open and save: the plain save
// refuses and writes nothing; Save As onto it writes what the user sees
// (a file read in pages cannot be copied from a file that changed).
void tst_DocumentFile::changedOnDisk()
{
    QFETCH(Store, store);
    QFETCH(QString, change);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.bin"));
    QVERIFY(writeFile(path, kOld));
    DocumentFile doc(FileOps::system(), wholeUpTo(store));
    QCOMPARE(doc.load(path).failure, QString());
    edit(doc);

    QByteArray theirs = kOld;
    if (change == u"append") {
        theirs += pattern(4300, 5);
    } else if (change == u"truncate") {
        theirs.chop(100);
    } else if (change.startsWith(u"rewrite")) {
        theirs[5] = char(theirs[5] + 1);
    } else if (change == u"replace") {
        QVERIFY(writeFile(path + QStringLiteral(".new"), theirs));
        QCOMPARE(::rename(QFile::encodeName(path + QStringLiteral(".new")).constData(), QFile::encodeName(path).constData()), 0);
    } else if (change == u"delete") {
        QVERIFY(QFile::remove(path));
        theirs = "<missing>";
    }
    if (change != u"replace" && change != u"delete") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const QDateTime time = f.fileTime(QFileDevice::FileModificationTime);
        QVERIFY(f.resize(0) && f.write(theirs) == theirs.size() && f.flush());
        QVERIFY(f.setFileTime(change == u"rewrite, time kept" ? time : time.addSecs(5),
                              QFileDevice::FileModificationTime));
    }
    const QString refused = doc.save(path, false);
    QVERIFY2(refused.contains(QStringLiteral("another program ") + reason), qPrintable(refused));
    QCOMPARE(readFile(path), theirs);
    QCOMPARE(entriesOf(dir.path()), theirs == "<missing>" ? QStringList() : QStringList{QStringLiteral("data.bin")});

    const QString asked = doc.save(path, true);
    if (store == Memory) {
        QCOMPARE(asked, QString());
        QCOMPARE(readFile(path), kNew);
        // The written file is the document's own again.
        doc[1] = 'B';
        QCOMPARE(doc.save(path, false), QString());
        QCOMPARE(readFile(path).left(2), QByteArray("AB"));
    } else {
        QVERIFY(!asked.isEmpty());
        QCOMPARE(readFile(path), theirs);
    }
}

void tst_DocumentFile::resolverKeepsWhatTheFileIs_data()
{
    QTest::addColumn<Store>("store");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("outcome"); // "renamed", "in place", or the reason of a refusal
    for (const Store store : kStores) {
        const char *where = storeName(store);
        QTest::addRow("%s, owned by nobody", where) << store << "nobody" << "renamed";
        QTest::addRow("%s, setuid, setgid and sticky", where) << store << "mode 7755" << "renamed";
        QTest::addRow("%s, a user attribute", where) << store << "attribute" << "renamed";
        QTest::addRow("%s, an access control list", where) << store << "acl" << "renamed";
        QTest::addRow("%s, through a symbolic link", where) << store << "link" << "renamed";
        QTest::addRow("%s, a second hard link", where) << store << "hard link" << "in place";
        QTest::addRow("%s, a folder that admits no new file", where) << store << "refusing folder" << "in place";
        QTest::addRow("%s, an owner the saver may not hand out", where) << store << "owner refused" << "in place";
        QTest::addRow("%s, a named pipe", where) << store << "fifo" << "not a regular file";
        QTest::addRow("%s, a link to a device", where) << store << "device" << "not a regular file";
        QTest::addRow("%s, a folder", where) << store << "folder" << "a folder of that name exists";
        QTest::addRow("%s, read-only", where) << store << "read-only" << "Permission denied";
    }
}

// Save As onto an existing file of every kind: what it is besides its bytes
// stays, and what is not a regular file the user may write is refused.
void tst_DocumentFile::resolverKeepsWhatTheFileIs()
{
    QFETCH(Store, store);
    QFETCH(QString, setup);
    QFETCH(QString, outcome);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("data.bin"));
    QVERIFY(writeFile(source, kOld));
    QString named = dir.filePath(QStringLiteral("t.bin"));
    QString target = named;
    const QByteArray path = QFile::encodeName(target);
    QVERIFY(writeFile(target, kPreviousTarget));
    FaultyFileOps ops;
    const bool root = ::geteuid() == 0;
    if (setup == u"nobody" || setup == u"owner refused") {
        if (!root)
            QSKIP("only root may give a file to another owner");
        QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
        if (setup == u"owner refused") {
            ops.failing = "fchown";
            ops.failWith = EPERM;
        }
    } else if (setup == u"mode 7755") {
        QCOMPARE(::chmod(path.constData(), 07755), 0);
    } else if (setup == u"attribute") {
        if (::setxattr(path.constData(), "user.veltrano", "blue", 4, 0) != 0)
            QSKIP(qPrintable(QStringLiteral("no user attributes here: %1").arg(strerror(errno))));
    } else if (setup == u"acl") {
        const QByteArray acl = accessControlList(65534);
        if (::setxattr(path.constData(), "system.posix_acl_access", acl.constData(), size_t(acl.size()), 0) != 0)
            QSKIP(qPrintable(QStringLiteral("no access control lists here: %1").arg(strerror(errno))));
    } else if (setup == u"link") {
        named = dir.filePath(QStringLiteral("link.bin"));
        QVERIFY(QFile::link(target, named));
    } else if (setup == u"hard link") {
        QCOMPARE(::link(path.constData(), QFile::encodeName(dir.filePath(QStringLiteral("other.bin"))).constData()), 0);
    } else if (setup == u"refusing folder") {
        ops.refusedFolder = QFile::encodeName(dir.path());
    } else if (setup == u"fifo") {
        QVERIFY(QFile::remove(target));
        QCOMPARE(::mkfifo(path.constData(), 0644), 0);
    } else if (setup == u"device") {
        QVERIFY(QFile::remove(target));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), target));
    } else if (setup == u"folder") {
        QVERIFY(QFile::remove(target));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("t.bin")));
    } else if (setup == u"read-only") {
        if (root)
            QSKIP("root may write any file");
        QCOMPARE(::chmod(path.constData(), 0444), 0);
    }
    const QStringList entries = entriesOf(dir.path());
    const Identity before = identityOf(path);
    const ino_t inode = inodeOf(target);
    std::optional<Identity> atRename;
    ops.beforeRename = [&](const QByteArray &from) { atRename = identityOf(from); };

    DocumentFile doc(ops, wholeUpTo(store));
    QCOMPARE(doc.load(source).failure, QString());
    edit(doc);
    ops.armed = true;
    const QString result = doc.save(named, true);
    QCOMPARE(entriesOf(dir.path()), entries); // neither a copy nor a journal is left
    QCOMPARE(entriesOf(stateFolder()), QStringList());
    QCOMPARE(readFile(source), kOld);
    if (outcome != u"renamed" && outcome != u"in place") {
        QVERIFY2(result.contains(outcome), qPrintable(result));
        if (setup == u"read-only")
            QCOMPARE(readFile(target), kPreviousTarget);
        return;
    }
    QCOMPARE(result, QString());
    QCOMPARE(readFile(target), kNew);
    QCOMPARE(identityOf(path), before);
    QCOMPARE(inodeOf(target) == inode, outcome == u"in place");
    if (outcome == u"renamed") {
        // The replacement carried the identity before it took the old one's place.
        QVERIFY(atRename.has_value());
        QCOMPARE(*atRename, before);
    }
    if (setup == u"link")
        QVERIFY(QFileInfo(named).isSymLink());
    if (setup == u"hard link")
        QCOMPARE(readFile(dir.filePath(QStringLiteral("other.bin"))), kNew);
}

void tst_DocumentFile::relativeNameSurvivesAChangeOfFolder_data()
{
    QTest::addColumn<Store>("store");
    for (const Store store : kStores)
        QTest::newRow(storeName(store)) << store;
}

// A file opened by a bare name stays that file when the working folder
// moves (the chooser moves it), for reading and for a plain save.
void tst_DocumentFile::relativeNameSurvivesAChangeOfFolder()
{
    QFETCH(Store, store);
    QTemporaryDir dir, elsewhere;
    const QString before = QDir::currentPath();
    QVERIFY(writeFile(dir.filePath(QStringLiteral("rel.bin")), kOld + pattern(200 * 1024, 7)));
    QVERIFY(QDir::setCurrent(dir.path()));
    DocumentFile doc(FileOps::system(), wholeUpTo(store));
    QCOMPARE(doc.load(QStringLiteral("rel.bin")).failure, QString());
    edit(doc);
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    QCOMPARE(doc.byte(150 * 1024), uint8_t(pattern(200 * 1024, 7)[150 * 1024 - kOld.size()]));
    QCOMPARE(doc.fault(), ByteSource::Fault::None);
    const QString saved = doc.save(QStringLiteral("rel.bin"), false);
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(saved, QString());
    QCOMPARE(readFile(dir.filePath(QStringLiteral("rel.bin"))).left(kNew.size()), kNew);
    QCOMPARE(entriesOf(elsewhere.path()), QStringList());
}

void tst_DocumentFile::loads_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("failure"); // "" for a file that loads
    QTest::newRow("kernel pseudo-file reporting size 0") << "/proc/version" << "";
    QTest::newRow("pseudo-file longer than a page") << "/proc/self/maps" << "";
    QTest::newRow("missing file") << "missing.bin" << "No such file or directory";
    QTest::newRow("folder") << "." << "not a regular file";
    QTest::newRow("named pipe") << "fifo" << "not a regular file";
    QTest::newRow("device") << "/dev/zero" << "not a regular file";
    QTest::newRow("name through a file") << "plain.bin/x" << "Not a directory";
    QTest::newRow("no name") << "" << "no file name";
}

// Pseudo-files load to their end; anything that is not a file is refused
// before it is opened (a pipe would block) and changes nothing.
void tst_DocumentFile::loads()
{
    QFETCH(QString, name);
    QFETCH(QString, failure);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("plain.bin")), "plain"));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0644), 0);
    const QString path = name.startsWith('/') || name.isEmpty() ? name : dir.filePath(name);
    DocumentFile doc;
    QVERIFY(doc.allocate(3));
    doc[1] = 7;
    const DocumentFile::Opened opened = doc.load(path);
    if (failure.isEmpty())
        QCOMPARE(opened.failure, QString());
    QVERIFY2(opened.failure.contains(failure), qPrintable(opened.failure));
    if (!failure.isEmpty()) {
        QCOMPARE(doc.size(), 3);
        QCOMPARE(doc.byte(1), uint8_t(7));
        QVERIFY(doc.isChanged());
        return;
    }
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray content = f.readAll();
    QVERIFY(doc.size() > 0);
    // Maps may grow between two reads; the start is the same.
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(doc.span()), 40), content.left(40));
    QVERIFY(!doc.isChanged());
}

QTEST_GUILESS_MAIN(tst_DocumentFile)
#include "tst_documentfile.moc"
