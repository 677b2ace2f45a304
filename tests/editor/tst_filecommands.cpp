// The File menu's open and save commands through the real chooser, answered
// with key and mouse events, on real files: what reaches the disk, the
// caption, ChosenPath, and the one message a failure gives.
#include "cellgrid.h"
#include "findbox.h"
#include "findstep.h"
#include "gridgeometry.h"
#include "hexdisplay.h"
#include "loadsave.h"
#include "mainmods.h"
#include "journal.h"
#include "messages.h"
#include "readout.h"
#include "realvscroll.h"
#include "sparsefile.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

QString journalOf(const QString &path)
{
    return QString::fromLocal8Bit(Journal::besidePath(QFile::encodeName(path)));
}

class RecordedMessages : public Messages
{
public:
    void show(QWidget *, const QString &text, const QString &detail) override
    {
        shown << text;
        details << detail;
        if (whileShown)
            whileShown();
    }
    QStringList shown;
    QStringList details;
    std::function<void()> whileShown; // what happens while a real box would wait for the user
};

struct ChooserSeen {
    QString title;
    QString button;
};

// When the chooser shows, types `name` into its name box and accepts, or
// cancels when `name` is null. Records the chooser's captions.
void answerChooser(const QString &name, ChooserSeen *seen, int attempts = 200,
                   const QString &openFolder = QString())
{
    QTimer::singleShot(5, [name, seen, attempts, openFolder] {
        auto *chooser = qobject_cast<LoadSave *>(QApplication::activeModalWidget());
        if (!chooser) {
            // Not shown yet: look again for a second, then give up and let
            // the test's checks say what did not happen.
            if (attempts > 0)
                answerChooser(name, seen, attempts - 1, openFolder);
            return;
        }
        // Stands in for the user opening another folder in the chooser,
        // which keeps the working directory on the folder it shows.
        if (!openFolder.isEmpty())
            QDir::setCurrent(openFolder);
        seen->title = chooser->windowTitle();
        seen->button = chooser->Command1(1)->text();
        if (name.isNull()) {
            QTest::mouseClick(chooser->Command1(2), Qt::LeftButton);
            return;
        }
        QLineEdit *box = chooser->txtSearchSpec();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, name);
        QTest::mouseClick(chooser->Command1(1), Qt::LeftButton);
    });
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray buffer()
{
    return QByteArray(reinterpret_cast<const char *>(MainMods::ByteBuffer.span()), MainMods::ByteBuffer.size());
}

QByteArray sample(int n)
{
    QByteArray b(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        b[i] = char(i * 7 + 3);
    return b;
}

} // namespace

class tst_FileCommands : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void loadThenSaveGivesTheSameFile_data();
    void loadThenSaveGivesTheSameFile();
    void saveRightAfterStartUpAsksForAName();
    void saveAsThenPlainSaveWritesTheNewPath();
    void cancelledOpenChangesNothing();
    void failedLoadChangesNothing_data();
    void failedLoadChangesNothing();
    void failedSaveSaysSoOnce_data();
    void failedSaveSaysSoOnce();
    void failedLoadInAnotherFolderKeepsThePlainSaveTarget();
    void thumbFollowsEachLoadedFile();
    void loadForgetsThePreviousSearch();
    void messageBoxCarriesTheReasonAsSecondaryText();
    void namedOrDroppedFileOpensLikeTheOpenCommand_data();
    void namedOrDroppedFileOpensLikeTheOpenCommand();
    void hugeFileMarkers_data();
    void hugeFileMarkers();
    void hugeFileScrolling();
    void hugeFileChangedOnDisk();
    void untrustedJournalIsReportedAndKept();

private:
    void open(const QString &path);
    HexDisplay *m_window = nullptr;
    std::shared_ptr<RecordedMessages> m_messages;
    QTemporaryDir m_dir;
    ChooserSeen m_seen;
};

void tst_FileCommands::init()
{
    MainMods::ChosenPath.clear();
    m_window = new HexDisplay;
    m_messages = std::make_shared<RecordedMessages>();
    m_window->setMessages(m_messages);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_seen = {};
}

void tst_FileCommands::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void tst_FileCommands::open(const QString &path)
{
    answerChooser(path, &m_seen);
    m_window->OpenFile_Click(0);
}

void tst_FileCommands::loadThenSaveGivesTheSameFile_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("empty file") << 0;
    QTest::newRow("1600 bytes") << 1600;
    QTest::newRow("1601 bytes") << 1601;
    QTest::newRow("256 KB") << (256 << 10);
}

void tst_FileCommands::loadThenSaveGivesTheSameFile()
{
    QFETCH(int, size);
    const QString path = m_dir.filePath(QStringLiteral("file %1.bin").arg(size));
    QVERIFY(writeFile(path, sample(size)));
    m_window->Realsc()->setValue(1);
    open(path);
    QCOMPARE(m_seen.title, QStringLiteral("Load File..."));
    QCOMPARE(m_seen.button, QStringLiteral("Load"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Veltrano Editor - ") + path);
    QCOMPARE(MainMods::ChosenPath, path);
    QCOMPARE(buffer(), sample(size));
    QCOMPARE(m_window->Realsc()->Value(), 0);
    QCOMPARE(m_window->Realsc()->isHidden(), size <= 1600);
    QCOMPARE(m_window->cursor().shape(), Qt::ArrowCursor);
    m_window->SaveContent_Click(0);
    QCOMPARE(readFile(path), sample(size));
    QVERIFY(m_messages->shown.isEmpty());
    // Another program rewrites the file: a plain save says so once and
    // leaves its bytes alone.
    const QByteArray theirs("something else entirely, longer than some of the samples");
    QVERIFY(writeFile(path, theirs));
    m_window->SaveContent_Click(0);
    QCOMPARE(readFile(path), theirs);
    QCOMPARE(m_messages->shown, QStringList{QStringLiteral("Could not write file")});
    QCOMPARE(m_messages->details,
             QStringList{path + QStringLiteral(": another program changed it after it was opened")});
}

void tst_FileCommands::saveRightAfterStartUpAsksForAName()
{
    const QString path = m_dir.filePath(QStringLiteral("startup.bin"));
    answerChooser(path, &m_seen);
    m_window->SaveContent_Click(0);
    QCOMPARE(m_seen.title, QStringLiteral("Save As..."));
    QCOMPARE(m_seen.button, QStringLiteral("Save"));
    QCOMPARE(readFile(path), QByteArray(1000, '\0'));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Veltrano Editor V1.01"));
}

void tst_FileCommands::saveAsThenPlainSaveWritesTheNewPath()
{
    const QString a = m_dir.filePath(QStringLiteral("a.bin"));
    const QString b = m_dir.filePath(QStringLiteral("b.bin"));
    QVERIFY(writeFile(a, sample(3000)));
    open(a);
    answerChooser(b, &m_seen);
    m_window->SaveContent_Click(1);
    QCOMPARE(readFile(b), sample(3000));
    MainMods::ByteBuffer[5] = 0xEE;
    m_window->SaveContent_Click(0); // no chooser: the last path it returned
    QByteArray edited = sample(3000);
    edited[5] = char(0xEE);
    QCOMPARE(readFile(b), edited);
    QCOMPARE(readFile(a), sample(3000));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Veltrano Editor - ") + a);

    // Cancelling Save As writes nothing and forgets the path.
    answerChooser(QString(), &m_seen);
    m_window->SaveContent_Click(1);
    QVERIFY(MainMods::ChosenPath.isEmpty());
    QCOMPARE(readFile(b), edited);
}

void tst_FileCommands::cancelledOpenChangesNothing()
{
    MainMods::ByteBuffer[3] = 9;
    answerChooser(QString(), &m_seen);
    m_window->OpenFile_Click(0);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Veltrano Editor V1.01"));
    QCOMPARE(MainMods::ByteBuffer.size(), 1000);
    QCOMPARE(MainMods::ByteBuffer[3], uint8_t(9));
    QVERIFY(m_messages->shown.isEmpty());
}

void tst_FileCommands::failedLoadChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    const QString missing = QString::fromLocal8Bit(strerror(ENOENT));
    QTest::newRow("a name that does not exist") << QStringLiteral("missing.bin") << missing;
    QTest::newRow("a folder") << QStringLiteral("folder") << QStringLiteral("not a regular file");
    QTest::newRow("a wildcard left in the box") << QStringLiteral("*.bin") << missing;
    QTest::newRow("a path into a missing folder") << QStringLiteral("nowhere/x.bin") << missing;
    QTest::newRow("a named pipe") << QStringLiteral("pipe") << QStringLiteral("not a regular file");
    QTest::newRow("a path through a file") << QStringLiteral("good.bin/x.bin")
                                           << QString::fromLocal8Bit(strerror(ENOTDIR));
}

void tst_FileCommands::failedLoadChangesNothing()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QDir(m_dir.path()).mkdir(QStringLiteral("folder"));
    mkfifo(QFile::encodeName(m_dir.filePath(QStringLiteral("pipe"))).constData(), 0600);
    const QString good = m_dir.filePath(QStringLiteral("good.bin"));
    QVERIFY(writeFile(good, sample(2000)));
    open(good);
    m_window->Realsc()->setValue(160);
    QVERIFY(FindStep::run(*m_window, sample(2000).mid(1500, 4), true));
    const QByteArray lastFind = MainMods::LastFindText;
    const int32_t findPos = FindState::FindPos;
    const QStringList before = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    open(m_dir.filePath(name));
    QCOMPARE(m_messages->shown, QStringList{QStringLiteral("Could not open file")});
    QCOMPARE(m_messages->details, QStringList{m_dir.filePath(name) + QStringLiteral(": ") + reason});
    QCOMPARE(buffer(), sample(2000));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Veltrano Editor - ") + good);
    QCOMPARE(MainMods::ChosenPath, good);
    QCOMPARE(MainMods::LastFindText, lastFind);
    QCOMPARE(FindState::FindPos, findPos);
    QCOMPARE(m_window->cursor().shape(), Qt::ArrowCursor);
    // Nothing was created on disk.
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    // The next plain save still writes the file that was loaded.
    MainMods::ByteBuffer[0] = 0x11;
    m_window->SaveContent_Click(0);
    QCOMPARE(readFile(good).at(0), char(0x11));
}

void tst_FileCommands::failedSaveSaysSoOnce_data()
{
    QTest::addColumn<bool>("pipe");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a folder of the name") << false << QStringLiteral("a folder of that name exists");
    QTest::newRow("a named pipe") << true << QStringLiteral("not a regular file");
}

void tst_FileCommands::failedSaveSaysSoOnce()
{
    QFETCH(bool, pipe);
    QFETCH(QString, reason);
    const QString taken = m_dir.filePath(pipe ? QStringLiteral("save-pipe") : QStringLiteral("taken"));
    QVERIFY(pipe ? mkfifo(QFile::encodeName(taken).constData(), 0600) == 0 : QDir(m_dir.path()).mkdir(QStringLiteral("taken")));
    const QString startFolder = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    answerChooser(QFileInfo(taken).fileName(), &m_seen); // a bare name, as the chooser gives it
    m_window->SaveContent_Click(1);
    QDir::setCurrent(startFolder);
    QCOMPARE(m_messages->shown, QStringList{QStringLiteral("Could not write file")});
    QCOMPARE(m_messages->details, QStringList{QFileInfo(taken).fileName() + QStringLiteral(": ") + reason});
    QCOMPARE(QFileInfo(taken).isDir(), !pipe);
    QCOMPARE(QFileInfo(taken).isFile(), false);
    QCOMPARE(m_window->cursor().shape(), Qt::ArrowCursor);
}

void tst_FileCommands::failedLoadInAnotherFolderKeepsThePlainSaveTarget()
{
    QDir root(m_dir.path());
    root.mkpath(QStringLiteral("A"));
    root.mkpath(QStringLiteral("B"));
    const QString a = m_dir.filePath(QStringLiteral("A/same.bin"));
    const QString b = m_dir.filePath(QStringLiteral("B/same.bin"));
    QVERIFY(writeFile(a, sample(100)));
    QVERIFY(writeFile(b, "precious"));
    const QString startFolder = QDir::currentPath();
    QDir::setCurrent(m_dir.filePath(QStringLiteral("A")));
    open(QStringLiteral("same.bin")); // a bare name, as the chooser hands it back
    QCOMPARE(buffer(), sample(100));
    // The user opens folder B and accepts a name that cannot be loaded.
    answerChooser(QStringLiteral("nothing.bin"), &m_seen, 200, m_dir.filePath(QStringLiteral("B")));
    m_window->OpenFile_Click(0);
    QCOMPARE(m_messages->shown, QStringList{QStringLiteral("Could not open file")});
    MainMods::ByteBuffer[0] = 0x55;
    m_window->SaveContent_Click(0);
    QCOMPARE(readFile(b), QByteArray("precious"));
    QCOMPARE(readFile(a).at(0), char(0x55));
    QDir::setCurrent(startFolder);
}

void tst_FileCommands::thumbFollowsEachLoadedFile()
{
    const QString small = m_dir.filePath(QStringLiteral("small.bin"));
    const QString large = m_dir.filePath(QStringLiteral("large.bin"));
    QVERIFY(writeFile(small, sample(3000)));
    QVERIFY(writeFile(large, sample(2 << 20)));
    open(small);
    open(large);
    // A full redraw from scratch draws exactly what the load left: the thumb
    // already has the length of the new range.
    const QImage afterLoad = m_window->Realsc()->grab().toImage();
    m_window->Realsc()->Refresh();
    QCOMPARE(m_window->Realsc()->grab().toImage(), afterLoad);
}

void tst_FileCommands::loadForgetsThePreviousSearch()
{
    // The same text far into one file and near the start of the next: the
    // first Find after the load finds it in the new file, from its view.
    QByteArray a(3000, 'a'), b(3000, 'b');
    a.replace(2500, 6, "NEEDLE");
    b.replace(100, 6, "NEEDLE");
    QVERIFY(writeFile(m_dir.filePath(QStringLiteral("a.bin")), a));
    QVERIFY(writeFile(m_dir.filePath(QStringLiteral("b.bin")), b));
    open(m_dir.filePath(QStringLiteral("a.bin")));
    QCOMPARE(FindStep::run(*m_window, "NEEDLE", true), std::optional<int32_t>(2500));
    open(m_dir.filePath(QStringLiteral("b.bin")));
    QVERIFY(MainMods::LastFindText.isEmpty());
    QCOMPARE(FindStep::run(*m_window, "NEEDLE", true), std::optional<int32_t>(100));
}

void tst_FileCommands::messageBoxCarriesTheReasonAsSecondaryText()
{
    QString text, detail;
    QMessageBox::StandardButtons buttons;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        text = box->text();
        detail = box->informativeText();
        buttons = box->standardButtons();
        box->accept();
    });
    MessageBoxMessages().show(m_window, QStringLiteral("Could not open file"),
                              QStringLiteral("huge.bin: larger than 2 GiB"));
    QCOMPARE(text, QStringLiteral("Could not open file"));
    QCOMPARE(detail, QStringLiteral("huge.bin: larger than 2 GiB"));
    QCOMPARE(buttons, QMessageBox::Ok);
}

void tst_FileCommands::namedOrDroppedFileOpensLikeTheOpenCommand_data()
{
    QTest::addColumn<bool>("dropped");   // else named, as on the command line
    QTest::addColumn<QStringList>("names"); // in the test's folder; several only when dropped
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QStringList>("messages");
    const QStringList noMessage;
    const QStringList failure{QStringLiteral("Could not open file")};
    const QStringList good{QStringLiteral("good.bin")};
    const QStringList gone{QStringLiteral("gone.bin")};
    QTest::newRow("named file") << false << good << true << noMessage;
    QTest::newRow("named file that cannot be opened") << false << gone << false << failure;
    QTest::newRow("dropped file") << true << good << true << noMessage;
    QTest::newRow("dropped file that is gone") << true << gone << false << failure;
    QTest::newRow("dropped folder, refused") << true << QStringList{QStringLiteral("folder")} << false << noMessage;
}

void tst_FileCommands::namedOrDroppedFileOpensLikeTheOpenCommand()
{
    QFETCH(bool, dropped);
    QFETCH(QStringList, names);
    QFETCH(bool, opens);
    QFETCH(QStringList, messages);
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder")));
    QVERIFY(writeFile(m_dir.filePath(QStringLiteral("good.bin")), sample(3000)));
    MainMods::ByteBuffer[3] = 9;
    const QByteArray startUp = buffer();
    const QString path = m_dir.filePath(names.first());

    if (dropped) {
        QList<QUrl> urls;
        for (const QString &name : names)
            urls << QUrl::fromLocalFile(m_dir.filePath(name));
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = m_window->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window, &enter);
        // What the pointer shows: accepted only for what the drop would open.
        const bool takesIt = names.size() == 1 && names.first() != QStringLiteral("folder");
        QCOMPARE(enter.isAccepted(), takesIt);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window, &drop);
        QCOMPARE(drop.isAccepted(), takesIt);
        QCoreApplication::sendPostedEvents();
    } else {
        QCOMPARE(m_window->openNamedFile(path), opens);
    }

    QCOMPARE(m_messages->shown, messages);
    QCOMPARE(buffer(), opens ? sample(3000) : startUp);
    QCOMPARE(m_window->windowTitle(),
             opens ? QStringLiteral("Veltrano Editor - ") + path : QStringLiteral("Veltrano Editor V1.01"));
    QCOMPARE(MainMods::ChosenPath, opens ? path : QString());
    QCOMPARE(m_window->cursor().shape(), Qt::ArrowCursor);
    if (opens) {
        // The plain save writes back to the name as given.
        MainMods::ByteBuffer[0] = 0x5A;
        m_window->SaveContent_Click(0);
        QCOMPARE(readFile(path).at(0), char(0x5A));
    }
}

void tst_FileCommands::hugeFileMarkers_data()
{
    QTest::addColumn<int64_t>("pos");
    QTest::addColumn<int>("marker");
    for (const auto &[pos, value] : hugeMarkers())
        QTest::addRow("marker at %lld", (long long)pos) << pos << int(value);
}

void tst_FileCommands::hugeFileMarkers()
{
    QFETCH(int64_t, pos);
    QFETCH(int, marker);
    const QString path = m_dir.filePath(QStringLiteral("huge.bin"));
    QVERIFY(makeSparseFile(path, kHugeSize, hugeMarkers()));
    open(path);
    QVERIFY(m_messages->shown.isEmpty());
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Veltrano Editor - ") + path);
    QCOMPARE(MainMods::ByteBuffer.size(), kHugeSize);
    HexDisplay &w = *m_window;

    // The marker brought into view as Find does; the grid, the tip, the
    // readout and the boxes all speak of its 64-bit position.
    w.setViewStart(FindStep::viewStartFor(pos));
    const int cell = int(pos - w.viewStart());
    QVERIFY(cell >= 0 && cell <= w.LastIndex());
    QCOMPARE(w.ShowLab()->caption(cell), marker);
    const QPoint centre = GridGeometry::cellRect(cell).center();
    QTest::mouseMove(w.ShowLab(), GridGeometry::cellRect(cell == 0 ? 1 : 0).center());
    QTest::mouseMove(w.ShowLab(), centre);
    QTRY_COMPARE(w.ShowLab()->toolTipText(cell), Readout::cellTip(pos, uint8_t(marker)));
    QTest::mouseClick(w.ShowLab(), Qt::LeftButton, {}, centre);
    QCOMPARE(w.SelIndex(), pos);
    QCOMPARE(w.Label1()->text(), Readout::selection(pos));
    if (pos == 3000000000)
        QCOMPARE(w.Label1()->text(), QStringLiteral("Byte : 3000000001 Hex : B2D05E01"));
    QCOMPARE(w.Text1(0)->text(), QString::number(marker));
    QCOMPARE(w.Text1(1)->text(), QString::number(marker, 16).toUpper());
    QVERIFY(!MainMods::ByteBuffer.isChanged()); // looking is not changing

    // The hexadecimal box, then typing over the file.
    w.Text1(1)->setText(QStringLiteral("7E"));
    QCOMPARE(MainMods::ByteBuffer.byte(pos), uint8_t(0x7E));
    QCOMPARE(w.ShowLab()->caption(cell), 0x7E);
    QTest::keyClick(w.Text1(2), 'z');
    QCOMPARE(MainMods::ByteBuffer.byte(pos), uint8_t('z'));
    QCOMPARE(w.ShowLab()->caption(cell), int('z'));
    QCOMPARE(w.SelIndex(), pos == kHugeSize - 1 || cell == 1599 ? pos : pos + 1);

    // The plain save writes the changed page in place and nothing else: the
    // byte is on disk, the length is kept, no journal is left, and the view
    // goes on reading the file it now is.
    w.SaveContent_Click(0);
    QVERIFY(m_messages->shown.isEmpty());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly) && f.seek(pos));
    QCOMPARE(int(uint8_t(f.read(1).at(0))), int('z'));
    QCOMPARE(f.size(), kHugeSize);
    for (const auto &[other, value] : hugeMarkers()) {
        if (other != pos) {
            QVERIFY(f.seek(other));
            QCOMPARE(int(uint8_t(f.read(1).at(0))), int(value));
        }
    }
    QVERIFY(!QFile::exists(journalOf(path)));
    w.setViewStart(0);
    QCOMPARE(MainMods::ByteBuffer.fault(), ByteSource::Fault::None);
    QVERIFY(m_messages->shown.isEmpty());
}

void tst_FileCommands::hugeFileScrolling()
{
    const QString path = m_dir.filePath(QStringLiteral("huge.bin"));
    QVERIFY(makeSparseFile(path, kHugeSize, hugeMarkers()));
    open(path);
    HexDisplay &w = *m_window;
    RealvScroll &bar = *w.Realsc();
    QCOMPARE(bar.ValueMax(), ViewMapping::kBarMax);

    // The thumb's bottom shows the last byte in cell 0, its top the first.
    bar.setValue(bar.ValueMax());
    QCOMPARE(w.viewStart(), kHugeSize - 1);
    QCOMPARE(w.ShowLab()->caption(0), 0x46);
    QCOMPARE(w.ShowLab()->caption(1), CellGrid::kNoCaption);
    bar.setValue(0);
    QCOMPARE(w.viewStart(), int64_t(0));
    QCOMPARE(w.ShowLab()->caption(0), 0x41);

    // A drag lands in proportion; the bar's steps move one row and one page.
    bar.setValue(bar.ValueMax() / 2);
    const int64_t middle = w.viewStart();
    QVERIFY(qAbs(middle - (kHugeSize - 1) / 2) < 4);
    bar.setValue(bar.Value() + bar.ValueSmallChange());
    QCOMPARE(w.viewStart(), middle + 80);
    bar.setValue(bar.Value() + bar.ValueLargeChange());
    QCOMPARE(w.viewStart(), middle + 80 + 1599);
    bar.setValue(bar.Value() - bar.ValueSmallChange());
    QCOMPARE(w.viewStart(), middle + 1599);

    // Down on the last row moves the view by one byte, next to 2^32.
    const int64_t target = int64_t(1) << 32;
    w.setViewStart(target - 1520);
    QCOMPARE(w.viewStart(), target - 1520);
    QTest::mouseClick(w.ShowLab(), Qt::LeftButton, {}, GridGeometry::cellRect(1519).center());
    QCOMPARE(w.SelIndex(), target - 1);
    QTest::keyClick(w.Text1(2), Qt::Key_Down);
    QCOMPARE(w.viewStart(), target - 1519);
    QCOMPARE(w.ShowLab()->caption(1519), 0x45);
    QVERIFY(m_messages->shown.isEmpty());
}

void tst_FileCommands::hugeFileChangedOnDisk()
{
    const QString path = m_dir.filePath(QStringLiteral("huge.bin"));
    QVERIFY(makeSparseFile(path, kHugeSize, hugeMarkers()));
    open(path);
    HexDisplay &w = *m_window;
    QVERIFY(QFile::resize(path, int64_t(3) << 30)); // another program cuts it short
    w.setViewStart(int64_t(1) << 32);
    QCOMPARE(w.ShowLab()->caption(0), CellGrid::kNoCaption); // no byte of the new version
    QCOMPARE(w.ShowLab()->backColor(0), HexDisplay::kInFileColor);
    w.setViewStart(0);
    QCOMPARE(w.ShowLab()->caption(0), 0x41); // read before the change: still shown
    w.setViewStart(int64_t(1) << 31);
    QTRY_COMPARE(m_messages->shown.size(), 1); // said once, however often it is met
    QCOMPARE(m_messages->shown.first(), QStringLiteral("Could not read file"));
    QVERIFY(m_messages->details.first().endsWith(QStringLiteral("another program changed it after it was opened")));
    w.SaveContent_Click(0);
    QCOMPARE(m_messages->shown.last(), QStringLiteral("Could not write file"));
    QCOMPARE(m_messages->shown.size(), 2);
}

void tst_FileCommands::untrustedJournalIsReportedAndKept()
{
    // A journal beside the file that does not belong to it: the file opens as
    // it is on disk, the user is told once, and the journal stays for a person
    // to look at.
    // A Find still reading the previous file is stopped before that notice,
    // whose box runs the event loop while it waits: nothing of it reaches
    // the new file.
    const QString huge = m_dir.filePath(QStringLiteral("huge.bin"));
    QVERIFY(makeSparseFile(huge, kHugeSize, hugeMarkers()));
    open(huge);
    m_window->FindData_Click();
    FindBox *box = m_window->findBox();
    box->findChild<QCheckBox *>(QStringLiteral("Check2"))->setChecked(true);
    box->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(QStringLiteral("47")); // in no byte: reads it all
    box->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
    QString seenDuringNotice;
    m_messages->whileShown = [&] {
        QTest::qWait(2000);
        if (!m_window->Label1()->isHidden())
            seenDuringNotice = m_window->Label1()->text();
    };

    const QString path = m_dir.filePath(QStringLiteral("journalled.bin"));
    QVERIFY(writeFile(path, sample(3000)));
    QVERIFY(writeFile(journalOf(path), QByteArray("not a journal")));
    QVERIFY(m_window->openNamedFile(path));
    QTest::qWait(200);
    QCOMPARE(m_messages->shown, QStringList{QStringLiteral("The last save of this file was interrupted")});
    QVERIFY(m_messages->details.first().startsWith(path + QStringLiteral(": ")));
    QCOMPARE(buffer(), sample(3000));
    QCOMPARE(readFile(journalOf(path)), QByteArray("not a journal"));
    QCOMPARE(seenDuringNotice, QString());
}

QTEST_MAIN(tst_FileCommands)
#include "tst_filecommands.moc"
