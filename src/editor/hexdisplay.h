#pragma once
// HexDisplay: the main window. It shows ByteBuffer a page at a time in the
// cell grid, keeps the selection (SelIndex, SelCell) and its three editing
// boxes, runs the file commands and the menus, and lets the find dialog move
// the view and colour cells.
//
// Invariants: every change of view ends in Realsc_Change, which repaints
// cells 0..LastIndex and hides the six selection controls; a visible cell
// always shows the byte at the view start + cell. The view start is 64-bit;
// the scroll bar's Value stands for it through ViewMapping.
#include "announcement.h"
#include "findbox.h"
#include "findhost.h"
#include "realvscroll.h"
#include "viewmapping.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>
#include <memory>

class CellGrid;
class Messages;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;

class HexDisplay : public QMainWindow, public FindHost, private RealvScrollPosition
{
    Q_OBJECT
public:
    // Colours of the grid, as &HBBGGRR values.
    static constexpr uint32_t kInFileColor = 0xFF8080;
    static constexpr uint32_t kBackColor = 0xFFC0C0;
    static constexpr uint32_t kCellTextColor = 0xFFFFFF;
    // Window widths in twips for a buffer that fits one page and one that scrolls.
    static constexpr int kNarrowWidth = 9900;
    static constexpr int kWideWidth = 10335;

    explicit HexDisplay(QWidget *parent = nullptr);
    ~HexDisplay() override;

    // Fits the window, the scroll bar and the grid to the buffer, then repaints.
    void GoNow();

    // Width of the window in twips, frame included, as GoNow sets it.
    int Width() const;

    int32_t LastIndex() const { return m_lastIndex; }
    int64_t SelIndex() const { return m_selIndex; }
    int32_t SelCell() const { return m_selCell; }

    RealvScroll *Realsc() const { return m_realsc; }
    CellGrid *ShowLab() const { return m_grid; }
    QLabel *Label1() const { return m_label1; }
    QLabel *Label2(int index) const { return m_label2[index]; }
    QLineEdit *Text1(int index) const { return m_text1[index]; }
    QAction *OpenFile(int index) const { return m_openFile[index]; }
    QAction *SaveContent(int index) const { return m_saveContent[index]; }
    QAction *ExitP() const { return m_exitP; }
    QAction *FindData() const { return m_findData; }
    QAction *PatchFile() const { return m_patchFile; }
    QAction *A2() const { return m_a2; }
    QAction *A3() const { return m_a3; }
    QMenu *A1() const { return m_a1; }
    FindBox *findBox() const { return m_findBox; }

    // Loads the named file as the Open command does once a name is chosen:
    // on success the buffer, the caption, the view and ChosenPath (the name
    // as given) follow the file; on failure one message, and nothing changes.
    bool openNamedFile(const QString &path);

    // Replaces the message box, e.g. with a recorder in tests.
    void setMessages(std::shared_ptr<Messages> messages);

    // FindHost
    int64_t viewStart() const override;
    void setViewStart(int64_t value) override;
    void setCellBackColor(int cell, uint32_t bgr) override;
    void showReadout(const QString &text) override;
    void findEnded(int64_t match) override;

    // What screen readers were last told beside the focus (a Find's outcome).
    QString lastAnnouncement() const { return m_announcement.lastText(); }

public slots:
    void OpenFile_Click(int Index);
    void SaveContent_Click(int Index);
    void ExitP_Click();
    void FindData_Click();
    void PatchFile_Click();
    void A3_Click();

    void Realsc_Change();
    void Realsc_MouseUp(short &Button, short &Shift, float &X, float &Y);
    void ShowLab_Click(int Index);
    void ShowLab_MouseMove(int Index, int Button, int Shift, float X, float Y);
    void Text1_Change(int Index);
    void Text1_KeyPress(int Index, int &KeyAscii);
    void Text1_KeyUp(int Index, int KeyCode, int Shift);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void Form_Load();
    void buildClient();
    void buildMenus();
    void setupAccessibility();
    void syncAccessibleSelection();
    void setClientWidthTwips(int windowWidthTwips);
    void showSelection(); // the readout and the three boxes for SelIndex
    void refreshCellOf(int64_t index);
    void reportFault();
    void setReadoutText(const QString &text);
    void setBoxText(int index, const QString &text);
    bool decimalKeyAccepted(int keyAscii) const;
    // Text that reaches a box other than as key presses: each character as
    // if typed through the box, press and release.
    void typeText(int index, const QString &text);
    void typeFirstCharacter(const QString &text);
    void characterBoxEdited(const QString &text);
    void showCharacterBoxMenu(const QPoint &globalPos);
    void gridEntered(bool forward);

    // RealvScrollPosition: screen readers read the scroll bar in bytes.
    qint64 position() const override { return m_viewStart; }
    qint64 minimumPosition() const override { return 0; }
    qint64 maximumPosition() const override;
    qint64 positionStep() const override { return m_realsc->ValueSmallChange(); }
    void setPosition(qint64 position) override;

    QWidget *m_client = nullptr;
    CellGrid *m_grid = nullptr;
    RealvScroll *m_realsc = nullptr;
    QLabel *m_label1 = nullptr;
    std::array<QLabel *, 2> m_label2{};
    std::array<QLineEdit *, 3> m_text1{};
    std::array<QAction *, 2> m_openFile{};
    std::array<QAction *, 2> m_saveContent{};
    QAction *m_exitP = nullptr;
    QAction *m_findData = nullptr;
    QAction *m_patchFile = nullptr;
    QMenu *m_a1 = nullptr;
    QAction *m_a2 = nullptr;
    QAction *m_a3 = nullptr;
    QPointer<FindBox> m_findBox;
    std::shared_ptr<Messages> m_messages;

    int32_t m_lastIndex = -1;
    int64_t m_selIndex = 0;
    int32_t m_selCell = 0;
    bool m_yielding = false;     // inside the repaint's yield to the event loop
    bool m_syncingBoxes = false; // a box is being filled from the other one
    // The view start, which the scroll bar's Value stands for through m_mapping.
    ViewMapping m_mapping;
    int64_t m_viewStart = 0;
    int32_t m_barValue = 0;      // the bar's Value when m_viewStart was last set
    bool m_settingBar = false;   // the bar follows m_viewStart, not the reverse
    bool m_faultShown = false;   // the open file's read fault was reported
    // Controls are being hidden: a focus that Qt passes on meanwhile is not
    // the user entering the grid.
    bool m_hiding = false;
    Announcement m_announcement{this};
};
