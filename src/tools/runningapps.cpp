#include "runningapps.h"

#include "captiontext.h"
#include "designcolours.h"
#include "units.h"
#include "windowlist.h"
#include "windowsystem.h"

#include <QIcon>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

RunningApps::RunningApps(WindowSystem &windows, QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_windows(windows),
      m_command1(new QPushButton(QStringLiteral("Close Selected Programs"), this)),
      m_list1(new QListWidget(this))
{
    setWindowTitle(QStringLiteral("Applications Running on Windows..."));
    setWindowIcon(appIcon());
    setFixedSize(Units::twipsRect(0, 0, 4680, 3090).size());

    setPalette(DesignColours::onBackground(palette(), DesignColours::windowBackground()));
    setAutoFillBackground(true);

    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);
    setFont(font);

    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setGeometry(Units::twipsRect(120, 120, 2415, 375));
    m_command1->setToolTip(QStringLiteral("WARNING, Closing a system application may crash windows... "));
    m_command1->setAutoDefault(false);

    m_list1->setObjectName(QStringLiteral("List1"));
    m_list1->setGeometry(Units::twipsRect(120, 600, 4335, 2370));
    m_list1->setSortingEnabled(false);
    // Each click toggles one entry, so several windows are picked without
    // holding a modifier key.
    m_list1->setSelectionMode(QAbstractItemView::MultiSelection);

    setTabOrder(m_command1, m_list1);
    // The list has no label of its own: the window's caption says what it holds.
    m_list1->setAccessibleName(windowTitle());
    connect(m_command1, &QPushButton::clicked, this, &RunningApps::Command1_Click);

    // The dialog is one of the desktop's windows too: give it its native
    // window before the first listing so that it lists itself.
    winId();
    Form_Load();
}

void RunningApps::showModal()
{
    const std::unique_ptr<WindowSystem> windows = WindowSystem::create();
    RunningApps dialog(*windows);
    dialog.exec();
}

void RunningApps::Form_Load()
{
    m_list1->clear();
    for (const MainMods::WindowEntry &entry : MainMods::ListWindowCaptions(m_windows)) {
        auto *item = new QListWidgetItem(CaptionText::visible(entry.Caption), m_list1);
        item->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(entry.Window));
    }
}

void RunningApps::Command1_Click()
{
    // Read every selected row before any request goes out, so nothing that
    // a close sets off can change what we act on.
    QList<MainMods::WindowEntry> chosen;
    const int count = m_list1->count();
    for (int i = 0; i < count; ++i) {
        const QListWidgetItem *item = m_list1->item(i);
        if (item->isSelected())
            chosen.append({item->data(Qt::UserRole).toULongLong(), item->text()});
    }
    for (const MainMods::WindowEntry &entry : chosen)
        MainMods::CloseWindowByCaption(m_windows, entry); // a window that is gone is skipped
    Form_Load();
}

QIcon RunningApps::appIcon()
{
    // Colours from the 16-colour palette.
    const QColor navy(0, 0, 128), white(255, 255, 255), silver(192, 192, 192),
        grey(128, 128, 128), black(0, 0, 0), red(255, 0, 0);

    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);

    // A window: frame, title bar and a list of lines.
    p.fillRect(2, 3, 26, 22, silver);
    p.setPen(black);
    p.drawRect(2, 3, 25, 21);
    p.fillRect(3, 4, 24, 5, navy);
    p.fillRect(5, 11, 20, 12, white);
    for (int y = 13; y <= 21; y += 3)
        p.fillRect(7, y, 16, 1, y == 16 ? navy : grey);

    // A round red close mark on its corner.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(red);
    p.setPen(black);
    p.drawEllipse(18, 18, 12, 12);
    p.setPen(QPen(white, 2));
    p.drawLine(21, 21, 27, 27);
    p.drawLine(27, 21, 21, 27);
    p.end();

    return QIcon(pixmap);
}
