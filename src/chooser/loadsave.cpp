#include "loadsave.h"

#include "designcolours.h"
#include "diskfolder.h"
#include "mainmods.h"
#include "units.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileSystemWatcher>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <iterator>

using namespace ChooserLogic;

namespace {

QPointer<LoadSave> s_instance;

constexpr int kNameBoxLimit = 256;
constexpr int kFolderIndent = 10; // pixels a level in the folder list
constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;

// Indents each folder row by its depth, so that the list reads as a tree from
// the volume's root down to the shown folder and on to its sub-folders.
class FolderRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem shifted = option;
        shifted.rect.setLeft(option.rect.left() + indent(index));
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QSize size = QStyledItemDelegate::sizeHint(option, index);
        return {size.width() + indent(index), size.height()};
    }

private:
    static int indent(const QModelIndex &index)
    {
        return index.data(kDepthRole).toInt() * kFolderIndent;
    }
};

QFont dialogFont(bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

bool isEnterKey(const QKeyEvent *key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

LoadSave *LoadSave::instance(QWidget *owner)
{
    if (!s_instance)
        s_instance = new LoadSave(owner);
    return s_instance;
}

LoadSave::LoadSave(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                         | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                         | Qt::MSWindowsFixedSizeDialogHint)
    , m_pattern(QStringLiteral("*.*"))
{
    buildControls();

    m_watcher = new QFileSystemWatcher(this);
    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(50); // one re-read for a burst of changes
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this](const QString &changed) {
        // A change of the parent only matters when it took the shown folder away.
        const bool relevant = changed == m_dirPath || !isReadableFolder(m_dirPath);
        if (relevant && !m_refreshTimer->isActive())
            m_refreshTimer->start();
    });
    connect(m_refreshTimer, &QTimer::timeout, this, [this] {
        if (isVisible())
            refreshLists();
    });

    // Open on the working directory: where the program started, or the folder
    // that the previous chooser showed before it was closed.
    refreshDrives();
    const QString start = normalFolder(DiskFolder::current());
    if (isReadableFolder(start)) {
        m_driveFolders.insert(driveOf(start), start);
        selectDrive(driveOf(start), false);
        drvList_Change();
    } else {
        recoverToReadableFolder();
    }
    m_txtSearchSpec->setFocus();
}

LoadSave::~LoadSave() = default;

void LoadSave::buildControls()
{
    using Units::twipsRect;

    setFixedSize(Units::twipsToPixels(6000), Units::twipsToPixels(2910));
    setFont(dialogFont(true));
    setPalette(DesignColours::onBackground(palette(), DesignColours::windowBackground()));
    setAutoFillBackground(true);
    const QFont regular = dialogFont(false);

    m_txtSearchSpec = new QLineEdit(this);
    m_txtSearchSpec->setObjectName(QStringLiteral("txtSearchSpec"));
    m_txtSearchSpec->setGeometry(twipsRect(120, 360, 2775, 285));
    m_txtSearchSpec->setFont(regular);
    m_txtSearchSpec->setMaxLength(kNameBoxLimit);
    m_txtSearchSpec->installEventFilter(this);
    connect(m_txtSearchSpec, &QLineEdit::textChanged, this, &LoadSave::txtSearchSpec_Change);

    m_filList = new QListWidget(this);
    m_filList->setObjectName(QStringLiteral("filList"));
    m_filList->setGeometry(twipsRect(120, 675, 3105, 1560));
    m_filList->setFont(regular);
    m_filList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_filList->setUniformItemSizes(true);
    connect(m_filList, &QListWidget::itemSelectionChanged, this, &LoadSave::filList_Click);
    connect(m_filList, &QListWidget::itemClicked, this, &LoadSave::filList_Click);
    connect(m_filList, &QListWidget::itemDoubleClicked, this, &LoadSave::filList_DblClick);

    m_Combo1 = new QComboBox(this);
    m_Combo1->setObjectName(QStringLiteral("Combo1"));
    m_Combo1->setGeometry(twipsRect(120, 2520, 2055, 330));
    m_Combo1->setFont(regular);
    m_Combo1->setEditable(true);
    // Typed text is never a pattern, and Enter must not add it as an entry.
    m_Combo1->setInsertPolicy(QComboBox::NoInsert);
    m_Combo1->setCompleter(nullptr);
    // Qt also picks the entry that matches typed text when the box loses
    // focus or gets Enter; here typed text must never change the pattern.
    disconnect(m_Combo1->lineEdit(), &QLineEdit::editingFinished, m_Combo1, nullptr);
    disconnect(m_Combo1->lineEdit(), &QLineEdit::returnPressed, m_Combo1, nullptr);
    m_Combo1->addItems({QStringLiteral("*.*"), QStringLiteral("*.exe"), QStringLiteral("*.txt"),
                        QStringLiteral("*.dll")});
    m_Combo1->setCurrentIndex(0);
    connect(m_Combo1, &QComboBox::activated, this, &LoadSave::Combo1_Click);

    m_dirList = new QListWidget(this);
    m_dirList->setObjectName(QStringLiteral("dirList"));
    m_dirList->setGeometry(twipsRect(3300, 675, 2580, 1290));
    m_dirList->setFont(regular);
    m_dirList->setItemDelegate(new FolderRowDelegate(m_dirList));
    m_dirList->setIconSize(QSize(14, 14));
    m_dirList->installEventFilter(this);
    connect(m_dirList, &QListWidget::itemDoubleClicked, this, &LoadSave::openFolderRow);

    m_drvList = new QComboBox(this);
    m_drvList->setObjectName(QStringLiteral("drvList"));
    m_drvList->setGeometry(twipsRect(2280, 2520, 2055, 330));
    m_drvList->setFont(regular);
    connect(m_drvList, &QComboBox::currentIndexChanged, this, &LoadSave::drvList_Change);

    m_Command1[1] = new QPushButton(this);
    m_Command1[1]->setObjectName(QStringLiteral("Command1_1"));
    m_Command1[1]->setGeometry(twipsRect(4545, 2025, 1335, 375));
    m_Command1[1]->setDefault(true);
    m_Command1[2] = new QPushButton(QStringLiteral("Cancel"), this);
    m_Command1[2]->setObjectName(QStringLiteral("Command1_2"));
    m_Command1[2]->setGeometry(twipsRect(4545, 2475, 1335, 375));
    for (int index : {1, 2})
        connect(m_Command1[index], &QPushButton::clicked, this,
                [this, index] { Command1_Click(index); });

    struct LabelSpec {
        const char *text;
        QRect rect;
    };
    const LabelSpec labels[4] = {
        {"List Files of &Type:", twipsRect(120, 2280, 1935, 255)},
        {"Dri&ves:", twipsRect(2280, 2280, 1935, 255)},
        {"File &Name:", twipsRect(140, 120, 1935, 255)},
        {"&Directories:", twipsRect(3300, 450, 1935, 255)},
    };
    // Each label is its own control's label for screen readers (Qt takes
    // that from the buddy); its access key still goes to the name box, see
    // eventFilter.
    QWidget *const labelled[4] = {m_Combo1, m_drvList, m_txtSearchSpec, m_dirList};
    for (int index = 0; index < 4; ++index) {
        QLabel *label = new QLabel(QString::fromLatin1(labels[index].text), this);
        label->setObjectName(QStringLiteral("Label1_%1").arg(index));
        label->setGeometry(labels[index].rect);
        label->setBuddy(labelled[index]);
        label->installEventFilter(this);
        m_Label1[index] = label;
    }

    setTabOrder(m_txtSearchSpec, m_filList);
    setTabOrder(m_filList, m_Combo1);
    setTabOrder(m_Combo1, m_dirList);
    setTabOrder(m_dirList, m_drvList);
    setTabOrder(m_drvList, m_Command1[1]);
    setTabOrder(m_Command1[1], m_Command1[2]);

    // Screen readers name each box and list after the label the design puts
    // over it; the file list, which has no label of its own, shares the name
    // box's.
    const auto labelText = [this](int index) { return m_Label1[index]->text().remove(QLatin1Char('&')); };
    m_Combo1->setAccessibleName(labelText(0));
    m_drvList->setAccessibleName(labelText(1));
    m_txtSearchSpec->setAccessibleName(labelText(2));
    m_filList->setAccessibleName(labelText(2));
    m_dirList->setAccessibleName(labelText(3));
}

QPushButton *LoadSave::Command1(int index) const
{
    return index == 1 || index == 2 ? m_Command1[index] : nullptr;
}

QLabel *LoadSave::Label1(int index) const
{
    return index >= 0 && index < 4 ? m_Label1[index] : nullptr;
}

QString LoadSave::drive() const
{
    return m_drvList->currentData().toString();
}

// --- events ---------------------------------------------------------------

void LoadSave::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Form_Activate();
}

void LoadSave::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
    // Ends a modal exec() as well; the object goes once control is back in the
    // event loop, and the next instance() call builds a fresh dialog.
    QDialog::done(QDialog::Rejected);
    if (s_instance == this)
        s_instance = nullptr;
    deleteLater();
}

void LoadSave::keyPressEvent(QKeyEvent *event)
{
    // No key cancels this dialog.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool LoadSave::eventFilter(QObject *watched, QEvent *event)
{
    // Every label stands in the tab order just before the name box (after
    // the last control, counting round), so each access key lands there,
    // whichever control the label names.
    if (event->type() == QEvent::Shortcut && std::find(std::begin(m_Label1), std::end(m_Label1), watched)
                                                 != std::end(m_Label1)) {
        m_txtSearchSpec->setFocus(Qt::ShortcutFocusReason);
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (watched == m_txtSearchSpec && isEnterKey(key)) {
            txtSearchSpec_KeyPress(13);
            return false; // the default button still gets the key
        }
        if (watched == m_dirList && isEnterKey(key)) {
            openFolderRow(m_dirList->currentItem());
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        for (int index = 0; index < 4; ++index) {
            if (watched == m_Label1[index]) {
                const auto *mouse = static_cast<QMouseEvent *>(event);
                if (m_Label1[index]->rect().contains(mouse->position().toPoint()))
                    Label1_Click(index);
                break;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

// --- handlers -------------------------------------------------------------

void LoadSave::Form_Activate()
{
    refreshDrives();
    drvList_Change();
    refreshLists();
}

void LoadSave::drvList_Change()
{
    // The undo below may run this once more for the previous drive; never deeper.
    if (m_driveSyncDepth >= 2)
        return;
    ++m_driveSyncDepth;

    const QString picked = drive();
    bool synced = false;
    if (!picked.isEmpty()) {
        const QString remembered = m_driveFolders.value(picked, picked);
        const QString target = nearestReadableFolder(remembered, picked, isReadableFolder);
        synced = !target.isEmpty() && setDirPath(target) && DiskFolder::setCurrent(m_dirPath);
    }
    if (!synced) {
        const QString shownDrive = m_dirPath.isEmpty() ? QString() : driveOf(m_dirPath);
        if (m_driveSyncDepth == 1 && !shownDrive.isEmpty() && shownDrive != picked)
            selectDrive(shownDrive, true); // silently back to the shown folder's drive
        else
            recoverToReadableFolder();
    }
    --m_driveSyncDepth;
}

void LoadSave::dirList_Change()
{
    fillFileList();
    if (!DiskFolder::setCurrent(m_dirPath)) {
        recoverToReadableFolder();
        return;
    }
    watchShownFolder();
    MainMods::ChosenPath = m_txtSearchSpec->text();
}

void LoadSave::Combo1_Click(int entry)
{
    m_pattern = m_Combo1->itemText(entry);
    fillFileList();
    m_txtSearchSpec->setFocus(Qt::OtherFocusReason);
}

void LoadSave::filList_Click()
{
    drvList_Change();
    const QList<QListWidgetItem *> selected = m_filList->selectedItems();
    if (!selected.isEmpty())
        m_txtSearchSpec->setText(selected.first()->text());
}

void LoadSave::filList_DblClick()
{
    MainMods::ChosenPath = m_txtSearchSpec->text();
    done(QDialog::Accepted);
}

void LoadSave::txtSearchSpec_Change(const QString &text)
{
    MainMods::ChosenPath = text;
}

void LoadSave::txtSearchSpec_KeyPress(int KeyAscii)
{
    if (KeyAscii == 13)
        m_Command1[1]->setFocus(Qt::OtherFocusReason);
}

void LoadSave::Command1_Click(int Index)
{
    if (Index == 1)
        MainMods::ChosenPath = m_txtSearchSpec->text();
    else if (Index == 2)
        MainMods::ChosenPath.clear();
    done(Index == 1 ? QDialog::Accepted : QDialog::Rejected);
}

void LoadSave::Label1_Click(int Index)
{
    Q_UNUSED(Index);
    m_Combo1->setFocus(Qt::MouseFocusReason);
}

void LoadSave::Form_Unload()
{
    MainMods::ChosenPath.clear();
}

// --- folders and drives ---------------------------------------------------

QStringList LoadSave::driveRoots() const
{
    QStringList roots;
    for (int row = 0; row < m_drvList->count(); ++row)
        roots.append(m_drvList->itemData(row).toString());
    return roots;
}

void LoadSave::refreshDrives()
{
    const QString keep = m_dirPath.isEmpty() ? drive() : driveOf(m_dirPath);
    const QSignalBlocker quiet(m_drvList);
    m_drvList->clear();
    const QList<Drive> drives = mountedDrives();
    for (const Drive &entry : drives)
        m_drvList->addItem(entry.label, entry.root);
    if (!keep.isEmpty())
        selectDrive(keep, false);
}

void LoadSave::selectDrive(const QString &root, bool runChange)
{
    int row = m_drvList->findData(root);
    if (row < 0) {
        // A folder on a volume that the list leaves out: show its root anyway
        // so the drive list never names a volume the folder is not on.
        const QSignalBlocker quiet(m_drvList);
        m_drvList->addItem(QDir::toNativeSeparators(root), root);
        row = m_drvList->count() - 1;
    }
    if (runChange) {
        m_drvList->setCurrentIndex(row);
    } else {
        const QSignalBlocker quiet(m_drvList);
        m_drvList->setCurrentIndex(row);
    }
}

QString LoadSave::driveOf(const QString &folder) const
{
    return ChooserLogic::driveOf(folder, driveRoots());
}

bool LoadSave::setDirPath(const QString &folder)
{
    const QString target = normalFolder(folder, m_dirPath);
    if (!isReadableFolder(target))
        return false;
    if (target == m_dirPath)
        return true;
    m_dirPath = target;
    m_driveFolders.insert(driveOf(target), target);
    fillDirList();
    dirList_Change();
    return true;
}

void LoadSave::openFolderRow(const QListWidgetItem *item)
{
    if (!item)
        return;
    // A folder removed since the list was read: re-read instead of opening it.
    if (!setDirPath(item->data(kPathRole).toString()))
        refreshLists();
}

void LoadSave::fillDirList()
{
    // Every name, also one that is not valid UTF-8, as DiskName carries it.
    const QStringList subFolders = DiskFolder::list(m_dirPath).folders;
    const QList<FolderRow> rows = folderRows(driveOf(m_dirPath), m_dirPath, subFolders);

    // A re-read of the same folder keeps the user's place in the list.
    const bool sameFolder = m_listedFolder == m_dirPath;
    const QListWidgetItem *current = m_dirList->currentItem();
    const QString keep = sameFolder && current ? current->data(kPathRole).toString() : m_dirPath;
    const int scroll = m_dirList->verticalScrollBar()->value();

    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QSignalBlocker quiet(m_dirList);
    m_dirList->clear();
    int shownRow = 0;
    int keptRow = -1;
    for (const FolderRow &row : rows) {
        auto *item = new QListWidgetItem(row.open ? openIcon : closedIcon, row.label, m_dirList);
        item->setData(kPathRole, row.path);
        item->setData(kDepthRole, row.depth);
        item->setToolTip(QDir::toNativeSeparators(row.path));
        if (row.open)
            shownRow = m_dirList->count() - 1;
        if (row.path == keep)
            keptRow = m_dirList->count() - 1;
    }
    m_listedFolder = m_dirPath;
    m_dirList->setCurrentRow(keptRow >= 0 ? keptRow : shownRow);
    if (sameFolder)
        m_dirList->verticalScrollBar()->setValue(scroll);
    else
        m_dirList->scrollToItem(m_dirList->currentItem());
}

void LoadSave::fillFileList()
{
    const QList<QListWidgetItem *> selected = m_filList->selectedItems();
    const QString keep = selected.isEmpty() ? QString() : selected.first()->text();

    // Every name, also one that is not valid UTF-8: the text carries its
    // bytes (shown as replacement marks) so that the name opens that file.
    const QStringList names = filterNames(DiskFolder::list(m_dirPath).files, m_pattern);

    const int scroll = m_filList->verticalScrollBar()->value();
    const QSignalBlocker quiet(m_filList);
    m_filList->clear();
    m_filList->addItems(names);
    const int row = keep.isEmpty() ? -1 : int(names.indexOf(keep));
    if (row >= 0)
        m_filList->setCurrentRow(row);
    m_filList->verticalScrollBar()->setValue(scroll);
    if (row >= 0)
        m_filList->scrollToItem(m_filList->item(row));
}

void LoadSave::refreshLists()
{
    if (!isReadableFolder(m_dirPath)) {
        recoverToReadableFolder();
        return;
    }
    fillDirList();
    fillFileList();
}

void LoadSave::recoverToReadableFolder()
{
    // A recovery that fails part-way calls back in here; the outer loop below
    // already moves on to the next candidate.
    if (m_recovering)
        return;
    m_recovering = true;

    QStringList candidates{nearestReadableFolder(m_dirPath, QString(), isReadableFolder),
                           normalFolder(QDir::homePath())};
    candidates.append(driveRoots());

    for (const QString &candidate : std::as_const(candidates)) {
        if (!isReadableFolder(candidate))
            continue;
        if (candidate == m_dirPath) {
            fillDirList();
            fillFileList();
        } else if (!setDirPath(candidate)) {
            continue;
        }
        if (!DiskFolder::setCurrent(m_dirPath))
            continue;
        watchShownFolder();
        selectDrive(driveOf(m_dirPath), false);
        MainMods::ChosenPath = m_txtSearchSpec->text();
        break;
    }
    m_recovering = false;
}

void LoadSave::watchShownFolder()
{
    // The folder itself reports new and removed files. Its removal is seen on
    // the parent: while the folder is our working directory, the system holds
    // it open and does not report its deletion on the folder itself.
    QStringList wanted{m_dirPath};
    const QString parent = parentFolder(m_dirPath);
    if (!parent.isEmpty())
        wanted.append(parent);
    const QStringList watched = m_watcher->directories();
    if (watched == wanted)
        return;
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
    m_watcher->addPaths(wanted);
}
