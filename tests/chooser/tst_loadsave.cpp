#include "diskfile.h"
#include "diskname.h"
#include "fileops.h"
#include "loadsave.h"
#include "mainmods.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

// Drives the chooser the way a user does, with key and mouse events, over real
// files in a temporary folder.
class TestLoadSave : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void acceptHandsBackName_data();
    void acceptHandsBackName();
    void undecodableNameIsListedAndChosen();
    void typedNameComesBackAsTyped_data();
    void typedNameComesBackAsTyped();
    void cancelEmptiesButKeepsName();
    void frameCloseResetsDialog();
    void filterChoiceFiltersAndFocusesName();
    void typedFilterIsNoPattern();
    void accessKeysFocusNameBox_data();
    void accessKeysFocusNameBox();
    void labelClickFocusesFilter_data();
    void labelClickFocusesFilter();
    void escapeDoesNothing_data();
    void escapeDoesNothing();
    void tabOrder();
    void enterAccepts_data();
    void enterAccepts();
    void nameBoxTakes256();
    void folderNavigation();
    void unreadableDriveIsUndone();
    void otherDriveRemembersFolders();
    void deletedFolderFallsBack_data();
    void deletedFolderFallsBack();
    void deletedFolderRowIsNotOpened();
    void folderDeletedWhileVisible();

private:
    void writeFile(const QString &relative);
    LoadSave *openAt(const QString &folder);
    void clickItem(QListWidget *list, const QString &text, bool twice = false);
    static QString canonical(const QString &path) { return QDir(path).canonicalPath(); }

    QTemporaryDir *m_tmp = nullptr;
    QPointer<LoadSave> m_dialog;
    QString m_startDir;
};

void TestLoadSave::init()
{
    m_startDir = QDir::currentPath();
    m_tmp = new QTemporaryDir;
    QVERIFY(m_tmp->isValid());
    writeFile("data.bin");
    writeFile("notes.txt");
    writeFile("Makefile");
    writeFile("tool.exe");
    writeFile("BIG.EXE");
    QVERIFY(QDir(m_tmp->path()).mkpath("inner/deeper"));
    writeFile("inner/data.bin");
    MainMods::ChosenPath = "untouched";
}

void TestLoadSave::cleanup()
{
    delete m_dialog.data();
    QDir::setCurrent(m_startDir);
    delete m_tmp;
    m_tmp = nullptr;
}

void TestLoadSave::writeFile(const QString &relative)
{
    QFile file(m_tmp->filePath(relative));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write("x"), 1);
}

LoadSave *TestLoadSave::openAt(const QString &folder)
{
    if (!QDir::setCurrent(folder))
        return nullptr;
    m_dialog = LoadSave::instance(nullptr);
    m_dialog->setWindowTitle("Load File...");
    m_dialog->Command1(1)->setText("Load");
    m_dialog->show();
    if (!QTest::qWaitForWindowActive(m_dialog))
        return nullptr;
    return m_dialog;
}

void TestLoadSave::clickItem(QListWidget *list, const QString &text, bool twice)
{
    const QList<QListWidgetItem *> found = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(found.size() == 1, qPrintable(text));
    list->scrollToItem(found.first());
    const QPoint at = list->visualItemRect(found.first()).center();
    // A real double-click: press, release, the double-click press, release.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    if (twice) {
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    }
}

void TestLoadSave::acceptHandsBackName_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("click the file, click Load") << "button";
    QTest::newRow("double-click the file") << "double";
    QTest::newRow("click the file, Enter in the name box") << "enter";
    QTest::newRow("Space in the file list, Enter") << "keys";
}

void TestLoadSave::acceptHandsBackName()
{
    QFETCH(QString, how);
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);

    clickItem(d->dirList(), "inner", true);
    QCOMPARE(canonical(d->path()), canonical(m_tmp->filePath("inner")));
    QCOMPARE(d->filList()->count(), 1);

    if (how == "button") {
        clickItem(d->filList(), "data.bin");
        QCOMPARE(d->txtSearchSpec()->text(), QString("data.bin"));
        QTest::mouseClick(d->Command1(1), Qt::LeftButton);
    } else if (how == "double") {
        clickItem(d->filList(), "data.bin", true);
    } else if (how == "enter") {
        clickItem(d->filList(), "data.bin");
        d->txtSearchSpec()->setFocus();
        QTest::keyClick(d->txtSearchSpec(), Qt::Key_Return);
        QCOMPARE(d->focusWidget(), d->Command1(1));
    } else {
        d->filList()->setFocus();
        QTest::keyClick(d->filList(), Qt::Key_Space);
        QCOMPARE(d->txtSearchSpec()->text(), QString("data.bin"));
        QTest::keyClick(d->filList(), Qt::Key_Return);
    }

    QVERIFY(!d->isVisible());
    QCOMPARE(d->result(), int(QDialog::Accepted));
    QCOMPARE(MainMods::ChosenPath, QString("data.bin"));
    QCOMPARE(canonical(QDir::currentPath()), canonical(m_tmp->filePath("inner")));
    QVERIFY(QFile::exists(MainMods::ChosenPath));
}

void TestLoadSave::undecodableNameIsListedAndChosen()
{
    // A Latin-1 name, not valid UTF-8, beside the look-alike that Qt's own
    // conversion of it would reach.
    const QByteArray folder = QFile::encodeName(m_tmp->path());
    const QByteArray raw = folder + "/caf\xE9.bin";
    for (const QByteArray &path : {raw, folder + "/caf\xEF\xBF\xBD.bin"}) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0600);
        QVERIFY(fd >= 0 && ::write(fd, path.constData(), size_t(path.size())) == path.size());
        ::close(fd);
    }
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);
    const QString name = DiskName::fromDisk("caf\xE9.bin");
    clickItem(d->filList(), name);

    // On screen the byte that does not decode is a replacement mark.
    QListWidgetItem *item = d->filList()->findItems(name, Qt::MatchExactly).value(0);
    QVERIFY(item);
    const QImage shown = d->filList()->grab().toImage();
    item->setText(DiskName::forDisplay(name));
    QCOMPARE(d->filList()->grab().toImage(), shown);
    item->setText(name);

    QTest::mouseClick(d->Command1(1), Qt::LeftButton);
    QCOMPARE(MainMods::ChosenPath, name);
    std::vector<uint8_t> loaded;
    const auto resize = [&loaded](int64_t size) {
        loaded.resize(size_t(size));
        return loaded.data();
    };
    FileIdentity identity;
    QCOMPARE(DiskFile::readWhole(FileOps::system(), DiskName::toDisk(MainMods::ChosenPath), 1 << 20, resize, &identity),
             QString());
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(loaded.data()), qsizetype(loaded.size())), raw);
    QVERIFY(::unlink(raw.constData()) == 0); // QTemporaryDir cannot name it
}

void TestLoadSave::typedNameComesBackAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("full path") << QDir::toNativeSeparators(QDir::rootPath() + "some/where/x.bin");
    QTest::newRow("relative path") << QString("inner/data.bin");
    QTest::newRow("wildcard is not a filter") << QString("*.bin");
    QTest::newRow("spaces are not trimmed") << QString("  spaced name  ");
    QTest::newRow("empty name box gives nothing") << QString();
}

void TestLoadSave::typedNameComesBackAsTyped()
{
    QFETCH(QString, typed);
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);
    QTest::keyClicks(d->txtSearchSpec(), typed);
    QCOMPARE(MainMods::ChosenPath, typed); // follows the box while open
    QTest::mouseClick(d->Command1(1), Qt::LeftButton);
    QVERIFY(!d->isVisible());
    QCOMPARE(MainMods::ChosenPath, typed);
    QCOMPARE(d->pattern(), QString("*.*"));
}

void TestLoadSave::cancelEmptiesButKeepsName()
{
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);
    clickItem(d->filList(), "data.bin");
    d->txtSearchSpec()->selectAll();
    QTest::keyClicks(d->txtSearchSpec(), "keep.me");
    QTest::mouseClick(d->Command1(2), Qt::LeftButton);
    QVERIFY(!d->isVisible());
    QCOMPARE(d->result(), int(QDialog::Rejected));
    QCOMPARE(MainMods::ChosenPath, QString());

    // The next showing, modal this time, still holds the name and the
    // selection, and lists a file written in between: accept it as is.
    writeFile("written-later.bin");
    QCOMPARE(LoadSave::instance(nullptr), d);
    QTimer::singleShot(0, d, [d] { QTest::mouseClick(d->Command1(1), Qt::LeftButton); });
    QCOMPARE(d->exec(), int(QDialog::Accepted));
    QCOMPARE(d->txtSearchSpec()->text(), QString("keep.me"));
    QCOMPARE(MainMods::ChosenPath, QString("keep.me"));
    QCOMPARE(d->filList()->selectedItems().value(0)->text(), QString("data.bin"));
    QCOMPARE(d->filList()->findItems("written-later.bin", Qt::MatchExactly).size(), 1);
}

void TestLoadSave::frameCloseResetsDialog()
{
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);
    clickItem(d->dirList(), "inner", true);
    d->Combo1()->setFocus();
    QTest::keyClick(d->Combo1(), Qt::Key_Down);
    QCOMPARE(d->pattern(), QString("*.exe"));
    QTest::keyClicks(d->txtSearchSpec(), "typed.bin");

    // A close from the frame ends the modal showing with nothing chosen.
    QTimer::singleShot(0, d, [d] { d->close(); });
    QCOMPARE(d->exec(), int(QDialog::Rejected));
    QCOMPARE(MainMods::ChosenPath, QString());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(m_dialog.isNull());

    // A fresh dialog on the folder shown last.
    LoadSave *fresh = openAt(QDir::currentPath());
    QVERIFY(fresh);
    QCOMPARE(fresh->txtSearchSpec()->text(), QString());
    QCOMPARE(fresh->pattern(), QString("*.*"));
    QCOMPARE(fresh->Combo1()->currentText(), QString("*.*"));
    QCOMPARE(canonical(fresh->path()), canonical(m_tmp->filePath("inner")));
    QCOMPARE(fresh->Command1(2)->text(), QString("Cancel"));
    QCOMPARE(fresh->focusWidget(), fresh->txtSearchSpec());
}

void TestLoadSave::filterChoiceFiltersAndFocusesName()
{
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);
    QCOMPARE(d->filList()->count(), 5); // "*.*" lists Makefile too
    QTest::keyClicks(d->txtSearchSpec(), "name");
    d->Combo1()->setFocus();
    QTest::keyClick(d->Combo1(), Qt::Key_Down);

    QStringList shown;
    for (int row = 0; row < d->filList()->count(); ++row)
        shown.append(d->filList()->item(row)->text());
    QCOMPARE(shown, QStringList({"BIG.EXE", "tool.exe"}));
    QCOMPARE(d->txtSearchSpec()->text(), QString("name"));
    QCOMPARE(d->focusWidget(), d->txtSearchSpec());

    // Back to every file through the popup list, with the mouse.
    d->Combo1()->showPopup();
    QAbstractItemView *popup = d->Combo1()->view();
    QVERIFY(QTest::qWaitForWindowExposed(popup->window()));
    QTest::mouseClick(popup->viewport(), Qt::LeftButton, {},
                      popup->visualRect(popup->model()->index(0, 0)).center());
    QCOMPARE(d->pattern(), QString("*.*"));
    QCOMPARE(d->filList()->count(), 5);
}

void TestLoadSave::typedFilterIsNoPattern()
{
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);
    d->Combo1()->setFocus();
    d->Combo1()->lineEdit()->selectAll();
    QTest::keyClicks(d->Combo1()->lineEdit(), "*.txt");
    QTest::keyClick(d->Combo1(), Qt::Key_Tab);
    QCOMPARE(d->pattern(), QString("*.*"));
    QCOMPARE(d->filList()->count(), 5);
    QCOMPARE(d->Combo1()->count(), 4);
}

void TestLoadSave::accessKeysFocusNameBox_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Alt+T, List Files of Type") << int(Qt::Key_T);
    QTest::newRow("Alt+V, Drives") << int(Qt::Key_V);
    QTest::newRow("Alt+N, File Name") << int(Qt::Key_N);
    QTest::newRow("Alt+D, Directories") << int(Qt::Key_D);
}

void TestLoadSave::accessKeysFocusNameBox()
{
    QFETCH(int, key);
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);
    d->dirList()->setFocus();
    QCOMPARE(QApplication::focusWidget(), d->dirList());
    QTest::keyClick(d->dirList(), Qt::Key(key), Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), d->txtSearchSpec());
    QVERIFY(d->isVisible());
}

void TestLoadSave::labelClickFocusesFilter_data()
{
    QTest::addColumn<int>("index");
    for (int index = 0; index < 4; ++index)
        QTest::addRow("Label1(%d)", index) << index;
}

void TestLoadSave::labelClickFocusesFilter()
{
    QFETCH(int, index);
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);
    QCOMPARE(QApplication::focusWidget(), d->txtSearchSpec());
    QTest::mouseClick(d->Label1(index), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), d->Combo1());
}

void TestLoadSave::escapeDoesNothing_data()
{
    QTest::addColumn<QString>("control");
    QTest::newRow("in the name box") << "txtSearchSpec";
    QTest::newRow("in the file list") << "filList";
    QTest::newRow("on the cancel button") << "Command1_2";
    QTest::newRow("in the filter box") << "Combo1";
}

void TestLoadSave::escapeDoesNothing()
{
    QFETCH(QString, control);
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);
    QTest::keyClicks(d->txtSearchSpec(), "a.bin");
    QWidget *target = d->findChild<QWidget *>(control);
    QVERIFY(target);
    target->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(d->isVisible());
    QCOMPARE(MainMods::ChosenPath, QString("a.bin"));
}

void TestLoadSave::tabOrder()
{
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);
    QStringList order;
    for (int step = 0; step < 7; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focus = QApplication::focusWidget();
        while (focus && focus->objectName().isEmpty())
            focus = focus->parentWidget(); // the filter box's inner line edit
        order.append(focus ? focus->objectName() : QString());
    }
    QCOMPARE(order, QStringList({"filList", "Combo1", "dirList", "drvList", "Command1_1",
                                 "Command1_2", "txtSearchSpec"}));
}

void TestLoadSave::enterAccepts_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("accepts");
    QTest::newRow("in the file list") << "filList" << true;
    QTest::newRow("in the filter box") << "Combo1" << true;
    QTest::newRow("in the drive list") << "drvList" << true;
    QTest::newRow("on the accept button") << "Command1_1" << true;
    QTest::newRow("on the cancel button cancels") << "Command1_2" << false;
}

void TestLoadSave::enterAccepts()
{
    QFETCH(QString, control);
    QFETCH(bool, accepts);
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);
    QTest::keyClicks(d->txtSearchSpec(), "typed.bin");
    QWidget *target = d->findChild<QWidget *>(control);
    QVERIFY(target);
    target->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(!d->isVisible());
    QCOMPARE(MainMods::ChosenPath, accepts ? QString("typed.bin") : QString());
    QCOMPARE(d->pattern(), QString("*.*"));
}

void TestLoadSave::nameBoxTakes256()
{
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);
    QTest::keyClicks(d->txtSearchSpec(), QString(300, 'n'));
    QCOMPARE(d->txtSearchSpec()->text(), QString(256, 'n'));
    QCOMPARE(MainMods::ChosenPath, QString(256, 'n'));
}

void TestLoadSave::folderNavigation()
{
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);
    QTest::keyClicks(d->txtSearchSpec(), "name");

    // Enter on a sub-folder opens it and leaves the dialog up.
    d->dirList()->setFocus();
    const QListWidgetItem *inner = d->dirList()->findItems("inner", Qt::MatchExactly).value(0);
    QVERIFY(inner);
    d->dirList()->setCurrentItem(const_cast<QListWidgetItem *>(inner));
    QTest::keyClick(d->dirList(), Qt::Key_Return);
    QVERIFY(d->isVisible());
    QCOMPARE(canonical(d->path()), canonical(m_tmp->filePath("inner")));
    QCOMPARE(canonical(QDir::currentPath()), canonical(m_tmp->filePath("inner")));
    QCOMPARE(d->dirList()->item(d->dirList()->count() - 1)->text(), QString("deeper"));
    QCOMPARE(d->dirList()->currentItem()->text(), QString("inner"));
    QCOMPARE(MainMods::ChosenPath, QString("name"));

    // A double-click on a folder above goes back up.
    const QString tmpName = QDir(m_tmp->path()).dirName();
    clickItem(d->dirList(), tmpName, true);
    QCOMPARE(canonical(d->path()), canonical(m_tmp->path()));
    QCOMPARE(canonical(QDir::currentPath()), canonical(m_tmp->path()));
    QCOMPARE(d->filList()->count(), 5);
    QCOMPARE(d->dirList()->item(0)->text(), QDir::toNativeSeparators(d->drive()));
}

void TestLoadSave::unreadableDriveIsUndone()
{
    LoadSave *d = openAt(m_tmp->path());
    QVERIFY(d);
    const QString driveBefore = d->drive();
    const QString pathBefore = d->path();
    QTest::keyClicks(d->txtSearchSpec(), "name");

    // A volume listed but not readable, like a drive without its medium.
    const QString missing = m_tmp->filePath("no-medium");
    d->drvList()->addItem(missing, missing);
    d->drvList()->setFocus();
    QTest::keyClick(d->drvList(), Qt::Key_End);

    QVERIFY(d->isVisible());
    QCOMPARE(d->drive(), driveBefore);
    QCOMPARE(d->path(), pathBefore);
    QCOMPARE(canonical(QDir::currentPath()), canonical(pathBefore));
    QCOMPARE(d->filList()->count(), 5);
    QCOMPARE(MainMods::ChosenPath, QString("name"));
}

void TestLoadSave::otherDriveRemembersFolders()
{
    LoadSave *d = openAt(m_tmp->filePath("inner"));
    QVERIFY(d);
    const QString firstDrive = d->drive();

    // A folder standing in for a second volume.
    QVERIFY(QDir(m_tmp->path()).mkpath("vol/photos"));
    const QString volume = ChooserLogic::normalFolder(m_tmp->filePath("vol"));
    d->drvList()->addItem(volume, volume);
    d->drvList()->setFocus();
    QTest::keyClick(d->drvList(), Qt::Key_End);
    QCOMPARE(d->path(), volume);
    QCOMPARE(d->dirList()->item(0)->text(), QDir::toNativeSeparators(volume));
    QCOMPARE(canonical(QDir::currentPath()), canonical(volume));

    // Back on the first drive, its last folder is shown again.
    d->drvList()->setCurrentIndex(d->drvList()->findData(firstDrive));
    QCOMPARE(canonical(d->path()), canonical(m_tmp->filePath("inner")));
    QCOMPARE(canonical(QDir::currentPath()), canonical(m_tmp->filePath("inner")));
}

void TestLoadSave::deletedFolderFallsBack_data()
{
    QTest::addColumn<QString>("removed");
    QTest::addColumn<QString>("landing");
    QTest::newRow("shown folder removed") << "inner/deeper" << "inner";
    QTest::newRow("shown folder and its parent removed") << "inner" << "";
}

void TestLoadSave::deletedFolderFallsBack()
{
    QFETCH(QString, removed);
    QFETCH(QString, landing);
    LoadSave *d = openAt(m_tmp->filePath("inner/deeper"));
    QVERIFY(d);
    QTest::mouseClick(d->Command1(2), Qt::LeftButton);
    QVERIFY(QDir(m_tmp->filePath(removed)).removeRecursively());

    d->show(); // every showing re-reads the disk
    QVERIFY(QTest::qWaitForWindowExposed(d));
    const QString expected = canonical(landing.isEmpty() ? m_tmp->path() : m_tmp->filePath(landing));
    QCOMPARE(canonical(d->path()), expected);
    QCOMPARE(canonical(QDir::currentPath()), expected);
    QCOMPARE(canonical(d->dirList()->currentItem()->data(Qt::UserRole).toString()), expected);
}

void TestLoadSave::deletedFolderRowIsNotOpened()
{
    LoadSave *d = openAt(m_tmp->filePath("inner"));
    QVERIFY(d);
    QVERIFY(QDir(m_tmp->filePath("inner/deeper")).removeRecursively());
    clickItem(d->dirList(), "deeper", true);
    QCOMPARE(canonical(d->path()), canonical(m_tmp->filePath("inner")));
    QVERIFY(d->dirList()->findItems("deeper", Qt::MatchExactly).isEmpty());
    QVERIFY(d->isVisible());
}

void TestLoadSave::folderDeletedWhileVisible()
{
    LoadSave *d = openAt(m_tmp->filePath("inner/deeper"));
    QVERIFY(d);
    QVERIFY(QDir(m_tmp->filePath("inner")).removeRecursively());
    // The dialog notices on its own, without any user action.
    QTRY_COMPARE(canonical(d->path()), canonical(m_tmp->path()));
    QCOMPARE(canonical(QDir::currentPath()), canonical(m_tmp->path()));
    QVERIFY(d->dirList()->findItems("inner", Qt::MatchExactly).isEmpty());
}

QTEST_MAIN(TestLoadSave)
#include "tst_loadsave.moc"
