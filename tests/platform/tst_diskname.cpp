// Names that are not valid UTF-8 survive the trip into a QString and back,
// byte for byte, and open, list and save exactly the file they name.
#include "diskfile.h"
#include "diskfolder.h"
#include "diskname.h"
#include "fileops.h"
#include "filesave.h"
#include "savetarget.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray rawRead(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY);
    char buffer[256];
    const ssize_t n = fd < 0 ? -1 : ::read(fd, buffer, sizeof buffer);
    if (fd >= 0)
        ::close(fd);
    return n < 0 ? QByteArray("<unreadable>") : QByteArray(buffer, n);
}

bool rawWrite(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    const bool written = fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return fd >= 0 && ::close(fd) == 0 && written;
}

QByteArray oddName(int byte)
{
    return QByteArray("caf") + char(byte) + QByteArray(".bin");
}

} // namespace

class tst_DiskName : public QObject
{
    Q_OBJECT
private slots:
    void namesRoundTrip_data();
    void namesRoundTrip();
    void everyByteSequenceRoundTrips();
    void oddNamesListOpenAndSaveTheirOwnFile();
};

void tst_DiskName::namesRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain ASCII") << QByteArray("data.bin") << QStringLiteral("data.bin");
    QTest::newRow("valid UTF-8 decodes as text") << QByteArray("gr\xC3\xBC\xC3\x9F \xE6\x97\xA5\xE6\x9C\xAC.txt")
                                                 << QStringLiteral("grüß 日本.txt");
    QTest::newRow("four-byte UTF-8") << QByteArray("\xF0\x9F\x98\x80") << QStringLiteral("\U0001F600");
    QTest::newRow("Latin-1 e acute") << QByteArray("caf\xE9.bin") << QStringLiteral("caf\uFFFD.bin");
    QTest::newRow("an encoded surrogate is not UTF-8")
        << QByteArray("\xED\xA0\x80") << QStringLiteral("\uFFFD\uFFFD\uFFFD");
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << QStringLiteral("\uFFFD\uFFFD");
    QTest::newRow("cut-off sequence at the end") << QByteArray("ab\xE6\x97") << QStringLiteral("ab\uFFFD\uFFFD");
}

void tst_DiskName::namesRoundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    const QString name = DiskName::fromDisk(bytes);
    QCOMPARE(DiskName::toDisk(name), bytes);
    QCOMPARE(DiskName::forDisplay(name), shown);
}

void tst_DiskName::everyByteSequenceRoundTrips()
{
    // Every byte from 0x80 on, alone and in every pair, valid or not.
    for (int a = 0x80; a <= 0xFF; ++a) {
        const QByteArray single = oddName(a);
        QCOMPARE(DiskName::toDisk(DiskName::fromDisk(single)), single);
        QCOMPARE(DiskName::forDisplay(DiskName::fromDisk(single)), QStringLiteral("caf\uFFFD.bin"));
        for (int b = 0x80; b <= 0xFF; ++b) {
            const QByteArray pair = QByteArray("x") + char(a) + char(b);
            if (DiskName::toDisk(DiskName::fromDisk(pair)) != pair)
                QFAIL(qPrintable(QStringLiteral("bytes %1 %2 changed").arg(a, 0, 16).arg(b, 0, 16)));
        }
    }
}

void tst_DiskName::oddNamesListOpenAndSaveTheirOwnFile()
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        QVERIFY(rawWrite(folder + '/' + oddName(byte), QByteArray(1, char(byte))));
    // A look-alike that a lossy conversion would reach instead.
    QVERIFY(rawWrite(folder + "/caf\xEF\xBF\xBD.bin", "look-alike"));
    QVERIFY(::mkdir(folder + "/d\xE9r", 0700) == 0);

    const DiskFolder::Listing listing = DiskFolder::list(dir.path());
    QCOMPARE(listing.files.size(), 129);
    QCOMPARE(listing.folders, QStringList{DiskName::fromDisk("d\xE9r")});
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const QString name = DiskName::fromDisk(oddName(byte));
        QVERIFY(listing.files.contains(name));
        const QString path = dir.path() + u'/' + name;
        std::vector<uint8_t> loaded;
        const auto resize = [&loaded](int64_t size) {
            loaded.resize(size_t(size));
            return loaded.data();
        };
        FileIdentity identity;
        QCOMPARE(DiskFile::readWhole(FileOps::system(), DiskName::toDisk(path), 1 << 20, resize, &identity), QString());
        QCOMPARE(loaded, std::vector<uint8_t>(1, uint8_t(byte)));
        const uint8_t saved[2] = {uint8_t(byte), 0};
        SaveTarget target;
        QCOMPARE(SaveTargets::resolve(FileOps::system(), DiskName::toDisk(path), &target), QString());
        QCOMPARE(FileSave::writeComplete(FileOps::system(), target, MemoryContent(saved, 2)).failure, QString());
        QCOMPARE(rawRead(folder + '/' + oddName(byte)), QByteArray(reinterpret_cast<const char *>(saved), 2));
    }
    QCOMPARE(rawRead(folder + "/caf\xEF\xBF\xBD.bin"), QByteArray("look-alike"));
    QCOMPARE(DiskFolder::list(dir.path()).files.size(), 129);

    // The working directory can stand in such a folder too.
    const QString start = DiskFolder::current();
    const QString odd = dir.path() + u'/' + listing.folders.first();
    QVERIFY(DiskFolder::isReadable(odd));
    QVERIFY(DiskFolder::setCurrent(odd));
    QCOMPARE(DiskFolder::current(), odd);
    QVERIFY(DiskFolder::setCurrent(start));

    // QTemporaryDir cannot remove what Qt cannot name.
    for (const QString &name : DiskFolder::list(dir.path()).files)
        QVERIFY(::unlink(folder + '/' + DiskName::toDisk(name)) == 0);
    QVERIFY(::rmdir(folder + "/d\xE9r") == 0);
}

QTEST_GUILESS_MAIN(tst_DiskName)
#include "tst_diskname.moc"
