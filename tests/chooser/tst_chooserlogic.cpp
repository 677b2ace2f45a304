#include "chooserlogic.h"

#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using namespace ChooserLogic;

class TestChooserLogic : public QObject {
    Q_OBJECT
private slots:
    void volumeFilter_data();
    void volumeFilter();
    void drivesRootFirstNoDuplicates();
    void mountedDrivesHoldTheRoot();

    void parentFolder_data();
    void parentFolder();
    void normalFolder_data();
    void normalFolder();
    void driveOf_data();
    void driveOf();

    void folderRows_data();
    void folderRows();

    void matchesPattern_data();
    void matchesPattern();

    void nearestReadable_data();
    void nearestReadable();
    void readableFolderOnDisk();
};

void TestChooserLogic::volumeFilter_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<bool>("browsable");

    QTest::newRow("root on ext4") << "/" << QByteArray("ext4") << true;
    QTest::newRow("root on overlay (container)") << "/" << QByteArray("overlay") << true;
    QTest::newRow("home partition") << "/home" << QByteArray("ext4") << true;
    QTest::newRow("usb stick under /media") << "/media/u/STICK" << QByteArray("vfat") << true;
    QTest::newRow("usb stick under /run/media") << "/run/media/u/STICK" << QByteArray("exfat") << true;
    QTest::newRow("tmp on tmpfs") << "/tmp" << QByteArray("tmpfs") << true;
    QTest::newRow("windows drive") << "C:/" << QByteArray("NTFS") << true;
    QTest::newRow("proc") << "/proc" << QByteArray("proc") << false;
    QTest::newRow("sysfs") << "/sys" << QByteArray("sysfs") << false;
    QTest::newRow("cgroup under /sys") << "/sys/fs/cgroup/cpu" << QByteArray("cgroup") << false;
    QTest::newRow("devpts") << "/dev/pts" << QByteArray("devpts") << false;
    QTest::newRow("shm tmpfs") << "/dev/shm" << QByteArray("tmpfs") << false;
    QTest::newRow("runtime tmpfs under /run") << "/run/user/1000" << QByteArray("tmpfs") << false;
    QTest::newRow("tmpfs elsewhere") << "/mnt/scratch" << QByteArray("tmpfs") << false;
    QTest::newRow("ext4 bind under /run") << "/run/lock" << QByteArray("ext4") << false;
    QTest::newRow("snap squashfs") << "/snap/core/123" << QByteArray("squashfs") << false;
    QTest::newRow("docker overlay") << "/var/lib/docker/overlay2/x/merged" << QByteArray("overlay") << false;
    QTest::newRow("gvfs fuse") << "/home/u/.gvfs" << QByteArray("fuse.gvfsd-fuse") << false;
    QTest::newRow("empty root") << "" << QByteArray("ext4") << false;
}

void TestChooserLogic::volumeFilter()
{
    QFETCH(QString, root);
    QFETCH(QByteArray, type);
    QFETCH(bool, browsable);
    QCOMPARE(isBrowsableVolume({root, type, QString()}), browsable);
}

void TestChooserLogic::drivesRootFirstNoDuplicates()
{
    const QList<VolumeInfo> volumes{
        {"/proc", "proc", {}},       {"/media/u/STICK", "vfat", "STICK"},
        {"/home", "ext4", {}},       {"/", "ext4", {}},
        {"/home/", "ext4", {}}, // the same mount reported twice
    };
    const QList<Drive> drives = browsableDrives(volumes);
    QStringList roots;
    for (const Drive &d : drives)
        roots.append(d.root);
    QCOMPARE(roots, QStringList({"/", "/home", "/media/u/STICK"}));
    QCOMPARE(drives.last().label, QDir::toNativeSeparators("/media/u/STICK") + " [STICK]");
}

void TestChooserLogic::mountedDrivesHoldTheRoot()
{
    const QList<Drive> drives = mountedDrives();
    QVERIFY(!drives.isEmpty());
#if !defined(Q_OS_WIN)
    QCOMPARE(drives.first().root, QStringLiteral("/"));
#endif
    QSet<QString> seen;
    for (const Drive &d : drives) {
        QVERIFY2(!seen.contains(d.root), qPrintable(d.root));
        seen.insert(d.root);
        QVERIFY2(!d.root.startsWith("/proc") && !d.root.startsWith("/sys"), qPrintable(d.root));
    }
}

void TestChooserLogic::parentFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("parent");
    QTest::newRow("unix root") << "/" << "";
    QTest::newRow("top folder") << "/home" << "/";
    QTest::newRow("deep folder") << "/home/u/x" << "/home/u";
    QTest::newRow("drive root") << "C:/" << "";
    QTest::newRow("top folder on a drive") << "C:/Windows" << "C:/";
    QTest::newRow("unc share root") << "//srv/share" << "";
    QTest::newRow("folder on a share") << "//srv/share/a" << "//srv/share";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("relative name") << "name" << "";
}

void TestChooserLogic::parentFolder()
{
    QFETCH(QString, path);
    QFETCH(QString, parent);
    QCOMPARE(ChooserLogic::parentFolder(path), parent);
}

void TestChooserLogic::normalFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("expected");
    QTest::newRow("trailing slash") << "/home/u/" << "" << "/home/u";
    QTest::newRow("dot dot") << "/home/u/../v/." << "" << "/home/v";
    QTest::newRow("relative against base") << "sub" << "/data" << "/data/sub";
    const QString here = QDir::currentPath();
    QTest::newRow("relative without base: the working directory") << "sub" << "" << here + "/sub";
    QTest::newRow("a dot alone") << "." << "" << here;
    QTest::newRow("up past a drive root") << "c:/.." << "" << "c:/";
    QTest::newRow("drive-relative") << "D:x/./y" << "" << "D:/x/y";
    QTest::newRow("unc, up past the share") << "//srv/share/../.." << "" << "//srv/share";
    QTest::newRow("bare drive") << "D:" << "" << "D:/";
    QTest::newRow("backslashes") << QDir::toNativeSeparators("/a/b") << "" << "/a/b";
    QTest::newRow("up past the root") << "/../.." << "" << "/";
    QTest::newRow("unc") << "//srv/share/a/" << "" << "//srv/share/a";
}

void TestChooserLogic::normalFolder()
{
    QFETCH(QString, path);
    QFETCH(QString, base);
    QFETCH(QString, expected);
    QCOMPARE(ChooserLogic::normalFolder(path, base), expected);
    // Stable: a normal path is its own normal form, wherever the process is.
    QCOMPARE(ChooserLogic::normalFolder(expected, "/elsewhere"), expected);
}

void TestChooserLogic::driveOf_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("drive");
    QTest::newRow("on the root volume") << "/tmp/x" << "/";
    QTest::newRow("on a nested mount") << "/home/u/docs" << "/home";
    QTest::newRow("the mount point itself") << "/home" << "/home";
    QTest::newRow("name sharing a prefix") << "/homework" << "/";
    QTest::newRow("deepest mount wins") << "/home/u/usb/a" << "/home/u/usb";
    QTest::newRow("unknown drive letter") << "E:/x" << "E:/";
}

void TestChooserLogic::driveOf()
{
    QFETCH(QString, path);
    QFETCH(QString, drive);
    const QStringList roots{"/", "/home", "/home/u/usb"};
    QCOMPARE(ChooserLogic::driveOf(path, roots), drive);
}

void TestChooserLogic::folderRows_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("subFolders");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QList<int>>("depths");
    QTest::addColumn<int>("openRows");

    QTest::newRow("root shown, sub-folders sorted without case")
        << "/" << "/" << QStringList{"usr", "Bin", "b"}
        << QStringList{"/", "/b", "/Bin", "/usr"} << QList<int>{0, 1, 1, 1} << 1;
    QTest::newRow("deep folder, no sub-folders")
        << "/" << "/home/u" << QStringList{}
        << QStringList{"/", "/home", "/home/u"} << QList<int>{0, 1, 2} << 3;
    QTest::newRow("folder on a mounted volume")
        << "/media/usb" << "/media/usb/photos" << QStringList{"2024"}
        << QStringList{"/media/usb", "/media/usb/photos", "/media/usb/photos/2024"}
        << QList<int>{0, 1, 2} << 2;
    QTest::newRow("drive letter")
        << "C:/" << "C:/Windows" << QStringList{"System32"}
        << QStringList{"C:/", "C:/Windows", "C:/Windows/System32"} << QList<int>{0, 1, 2} << 2;
    QTest::newRow("folder outside the given volume climbs from its own root")
        << "/home" << "/tmp/a" << QStringList{}
        << QStringList{"/", "/tmp", "/tmp/a"} << QList<int>{0, 1, 2} << 3;
}

void TestChooserLogic::folderRows()
{
    QFETCH(QString, root);
    QFETCH(QString, shown);
    QFETCH(QStringList, subFolders);
    QFETCH(QStringList, paths);
    QFETCH(QList<int>, depths);
    QFETCH(int, openRows);

    const QList<FolderRow> rows = ChooserLogic::folderRows(root, shown, subFolders);
    QStringList gotPaths;
    QList<int> gotDepths;
    int open = 0;
    for (const FolderRow &row : rows) {
        gotPaths.append(row.path);
        gotDepths.append(row.depth);
        open += row.open ? 1 : 0;
    }
    QCOMPARE(gotPaths, paths);
    QCOMPARE(gotDepths, depths);
    QCOMPARE(open, openRows);
    QCOMPARE(rows.first().label, QDir::toNativeSeparators(rows.first().path));
    QCOMPARE(rows.last().label, paths.last().section('/', -1));
}

void TestChooserLogic::matchesPattern_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");

    QTest::newRow("*.* takes a name with a dot") << "data.bin" << "*.*" << true;
    QTest::newRow("*.* takes a name without a dot") << "Makefile" << "*.*" << true;
    QTest::newRow("*.* takes a dot file") << ".profile" << "*.*" << true;
    QTest::newRow("*.exe takes .exe") << "setup.exe" << "*.exe" << true;
    QTest::newRow("*.exe ignores case") << "SETUP.EXE" << "*.exe" << true;
    QTest::newRow("*.exe refuses .exe.bak") << "setup.exe.bak" << "*.exe" << false;
    QTest::newRow("*.exe refuses .ex") << "setup.ex" << "*.exe" << false;
    QTest::newRow("*.exe refuses a bare exe") << "exe" << "*.exe" << false;
    QTest::newRow("*.txt takes only .txt") << "notes.txt" << "*.txt" << true;
    QTest::newRow("*.dll refuses .txt") << "notes.txt" << "*.dll" << false;
    QTest::newRow("question mark is one character") << "a1.txt" << "a?.txt" << true;
    QTest::newRow("question mark is not zero characters") << "a.txt" << "a?.txt" << false;
    QTest::newRow("list of patterns") << "lib.dll" << "*.exe;*.dll" << true;
    QTest::newRow("list of patterns, no match") << "a.txt" << "*.exe; *.dll" << false;
    QTest::newRow("blank pattern filters nothing") << "a.txt" << "" << true;
    QTest::newRow("many stars do not explode") << QString(200, 'a') + "b"
                                               << "*a*a*a*a*a*a*a*a*a*c" << false;
    QTest::newRow("non-latin name") << QString::fromUtf8("Ärger.TXT") << "ä*.txt" << true;
}

void TestChooserLogic::matchesPattern()
{
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(ChooserLogic::matchesPattern(name, pattern), matches);
    QCOMPARE(filterNames({name, "other.zzz"}, pattern).contains(name), matches);
}

void TestChooserLogic::nearestReadable_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("stopAt");
    QTest::addColumn<QStringList>("readable");
    QTest::addColumn<QString>("expected");

    QTest::newRow("readable itself") << "/a/b" << "" << QStringList{"/a/b", "/a"} << "/a/b";
    QTest::newRow("deleted folder goes to parent")
        << "/a/b/c" << "" << QStringList{"/a/b", "/a", "/"} << "/a/b";
    QTest::newRow("several levels gone") << "/a/b/c/d" << "" << QStringList{"/"} << "/";
    QTest::newRow("stops at the volume root")
        << "/media/usb/a" << "/media/usb" << QStringList{"/media", "/"} << "";
    QTest::newRow("nothing readable") << "/a/b" << "" << QStringList{} << "";
    QTest::newRow("drive letter") << "D:/x/y" << "D:/" << QStringList{"D:/"} << "D:/";
    QTest::newRow("empty path") << "" << "" << QStringList{"/"} << "";
}

void TestChooserLogic::nearestReadable()
{
    QFETCH(QString, path);
    QFETCH(QString, stopAt);
    QFETCH(QStringList, readable);
    QFETCH(QString, expected);
    int asked = 0;
    const QString found = nearestReadableFolder(path, stopAt, [&](const QString &p) {
        ++asked;
        return readable.contains(p);
    });
    QCOMPARE(found, expected);
    QVERIFY(asked <= path.count('/') + 1);
}

void TestChooserLogic::readableFolderOnDisk()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath("sub");
    QVERIFY(QDir().mkdir(folder));
    QFile file(dir.filePath("file.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    QVERIFY(isReadableFolder(folder));
    QVERIFY(!isReadableFolder(file.fileName()));
    QVERIFY(!isReadableFolder(""));
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(!isReadableFolder(folder));
    QCOMPARE(nearestReadableFolder(folder + "/deeper", QString(), isReadableFolder),
             ChooserLogic::normalFolder(dir.path()));
}

QTEST_GUILESS_MAIN(TestChooserLogic)
#include "tst_chooserlogic.moc"
