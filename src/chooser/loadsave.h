#pragma once
// LoadSave: the one modal file chooser, used both to pick a file to open and to
// name a file to save. It never joins a folder and a name: it keeps the
// process's working directory on the folder that its file list shows, and
// hands back the name box's text through MainMods::ChosenPath ("" when nothing
// was chosen). Accept and cancel only hide it, so every control keeps its state
// for the next showing; a close from the window frame destroys it.
//
// Invariants while it exists: the folder list, the file list and the working
// directory show the same readable folder, and the drive list shows that
// folder's volume. Any failure to read a volume or a folder is answered by
// going back, silently, to a folder that can be read.
#include <QDialog>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "chooserlogic.h"

class QComboBox;
class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTimer;

class LoadSave : public QDialog {
    Q_OBJECT
public:
    // The one shared instance, created on first use with `owner` as its parent;
    // after a frame close it was destroyed, and the next call creates it anew.
    static LoadSave *instance(QWidget *owner);
    ~LoadSave() override;

    QPushButton *Command1(int index) const; // 1 accept, 2 cancel; null otherwise
    QLabel *Label1(int index) const;        // 0..3; null otherwise
    QLineEdit *txtSearchSpec() const { return m_txtSearchSpec; }
    QListWidget *filList() const { return m_filList; }
    QListWidget *dirList() const { return m_dirList; }
    QComboBox *Combo1() const { return m_Combo1; }
    QComboBox *drvList() const { return m_drvList; }

    QString path() const { return m_dirPath; }    // the folder shown
    QString pattern() const { return m_pattern; } // the file list's pattern
    QString drive() const;                        // the drive list's volume root

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit LoadSave(QWidget *owner);

    void Form_Activate();
    void drvList_Change();
    void dirList_Change();
    void Combo1_Click(int entry);
    void filList_Click();
    void filList_DblClick();
    void txtSearchSpec_Change(const QString &text);
    void txtSearchSpec_KeyPress(int KeyAscii);
    void Command1_Click(int Index);
    void Label1_Click(int Index);
    void Form_Unload();

    void buildControls();
    void refreshDrives();
    void selectDrive(const QString &root, bool runChange);
    QStringList driveRoots() const;
    QString driveOf(const QString &folder) const;
    bool setDirPath(const QString &folder);
    void openFolderRow(const QListWidgetItem *item);
    void fillDirList();
    void fillFileList();
    void refreshLists();
    void recoverToReadableFolder();
    void watchShownFolder();

    QLineEdit *m_txtSearchSpec = nullptr;
    QListWidget *m_filList = nullptr;
    QComboBox *m_Combo1 = nullptr;
    QListWidget *m_dirList = nullptr;
    QComboBox *m_drvList = nullptr;
    QPushButton *m_Command1[3] = {nullptr, nullptr, nullptr};
    QLabel *m_Label1[4] = {nullptr, nullptr, nullptr, nullptr};

    // The folder last shown on each volume, standing in for a per-drive
    // current folder on systems that have none.
    QHash<QString, QString> m_driveFolders;
    QString m_dirPath;
    QString m_listedFolder; // the folder whose rows the folder list holds
    QString m_pattern;

    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_refreshTimer = nullptr;
    int m_driveSyncDepth = 0;
    bool m_recovering = false;
};
