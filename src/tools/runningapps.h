#pragma once
// The running-windows tool: lists the captions of the desktop's top-level
// windows and asks the selected ones to close. Each list row keeps the window
// it was read from (Qt::UserRole), so closing acts on exactly that window.
// The list is filled when the dialog is built and after each close, never
// otherwise.
#include <QDialog>

class QListWidget;
class QPushButton;
class WindowSystem;

class RunningApps : public QDialog
{
    Q_OBJECT

public:
    // The dialog reads and closes windows through `windows`, which must
    // outlive it. Building the dialog fills the list.
    explicit RunningApps(WindowSystem &windows, QWidget *parent = nullptr);

    // Shows a new dialog modally, with no owner, on the platform's own window
    // system, and destroys it when the user closes it.
    static void showModal();

    QPushButton *Command1() const { return m_command1; }
    QListWidget *List1() const { return m_list1; }

    // The dialog's icon: a small window with a close mark, in 16 colours.
    static QIcon appIcon();

public slots:
    void Form_Load();
    void Command1_Click();

private:
    WindowSystem &m_windows;
    QPushButton *m_command1;
    QListWidget *m_list1;
};
