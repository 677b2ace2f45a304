// Blocks from the OS: zero-filled, aligned for huge pages when large, and
// given back whole, whatever their size.
#include "pagememory.h"

#include <QFile>
#include <QtTest>

namespace {
// The process's mapped address space in KiB.
long virtualKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmSize:"))
            return line.mid(7).trimmed().split(' ').value(0).toLong();
    return -1;
}
} // namespace

class tst_PageMemory : public QObject
{
    Q_OBJECT
private slots:
    void blocksAreZeroAndAligned_data();
    void blocksAreZeroAndAligned();
    void releaseGivesEverythingBack();
};

void tst_PageMemory::blocksAreZeroAndAligned_data()
{
    QTest::addColumn<qulonglong>("size");
    QTest::newRow("one byte") << qulonglong(1);
    QTest::newRow("small, odd size") << qulonglong(4097);
    QTest::newRow("large, odd size") << qulonglong((3 << 20) + 123);
    QTest::newRow("large, whole huge pages") << qulonglong(4 << 20);
}

void tst_PageMemory::blocksAreZeroAndAligned()
{
    QFETCH(qulonglong, size);
    auto *p = static_cast<unsigned char *>(PageMemory::allocate(size));
    QVERIFY(p);
    if (size >= (2u << 20))
        QCOMPARE(reinterpret_cast<quintptr>(p) % (2u << 20), quintptr(0));
    for (qulonglong i = 0; i < size; i += 997)
        QCOMPARE(int(p[i]), 0);
    QCOMPARE(int(p[size - 1]), 0);
    p[size - 1] = 1; // the whole size is writable
    PageMemory::release(p, size);
    QVERIFY(!PageMemory::allocate(0));
    PageMemory::release(nullptr, 0);
}

void tst_PageMemory::releaseGivesEverythingBack()
{
    if (virtualKb() < 0)
        QSKIP("no /proc/self/status on this system");
    const std::size_t size = (3 << 20) + 123;
    // Warm up whatever the allocator itself maps once.
    PageMemory::release(PageMemory::allocate(size), size);
    const long before = virtualKb();
    for (int i = 0; i < 100; ++i)
        PageMemory::release(PageMemory::allocate(size), size);
    const long grown = virtualKb() - before;
    QVERIFY2(grown < 4096, qPrintable(QStringLiteral("address space grew by %1 KiB").arg(grown)));
}

QTEST_GUILESS_MAIN(tst_PageMemory)
#include "tst_pagememory.moc"
