// Which drops onto the main window open a file: exactly one local file,
// and nothing else.
#include "droppedfile.h"

#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>

class tst_DroppedFile : public QObject
{
    Q_OBJECT
private slots:
    void onlyOneLocalFileIsTaken_data();
    void onlyOneLocalFileIsTaken();
};

void tst_DroppedFile::onlyOneLocalFileIsTaken_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("taken"); // null: refused
    static QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("a b\u00e9.bin"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QString gone = dir.filePath(QStringLiteral("gone.bin"));
    const QUrl fileUrl = QUrl::fromLocalFile(file);

    QTest::newRow("one local file") << QList<QUrl>{fileUrl} << QString() << file;
    QTest::newRow("one local file that is gone") << QList<QUrl>{QUrl::fromLocalFile(gone)} << QString() << gone;
    QTest::newRow("a file with its name as text too") << QList<QUrl>{fileUrl} << file << file;
    QTest::newRow("two local files") << QList<QUrl>{fileUrl, fileUrl} << QString() << QString();
    QTest::newRow("a remote address") << QList<QUrl>{QUrl(QStringLiteral("https://example.org/a.bin"))}
                                      << QString() << QString();
    QTest::newRow("a local folder") << QList<QUrl>{QUrl::fromLocalFile(dir.filePath(QStringLiteral("folder")))}
                                    << QString() << QString();
    QTest::newRow("text naming a file") << QList<QUrl>{} << file << QString();
    QTest::newRow("nothing at all") << QList<QUrl>{} << QString() << QString();
}

void tst_DroppedFile::onlyOneLocalFileIsTaken()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(QString, text);
    QFETCH(QString, taken);
    QMimeData data;
    if (!urls.isEmpty())
        data.setUrls(urls);
    if (!text.isNull())
        data.setText(text);
    const std::optional<QString> path = DroppedFile::localFile(&data);
    QCOMPARE(path.value_or(QString()), taken);
    QCOMPARE(path.has_value(), !taken.isNull());
}

QTEST_GUILESS_MAIN(tst_DroppedFile)
#include "tst_droppedfile.moc"
