#include "hexdisplay.h"

#include "about.h"
#include "ansi.h"
#include "cellgrid.h"
#include "designcolours.h"
#include "diskfolder.h"
#include "diskname.h"
#include "droppedfile.h"
#include "findbox.h"
#include "findstep.h"
#include "gridgeometry.h"
#include "inputcodes.h"
#include "loadsave.h"
#include "mainmods.h"
#include "messages.h"
#include "readout.h"
#include "realvscroll.h"
#include "runningapps.h"
#include "units.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QFontInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>
#include <QUrl>

namespace {

using GridGeometry::kCells;
using GridGeometry::kLastCell;

constexpr int kClientHeightTwips = 5130;
constexpr int kFrameTwips = 45; // the window frame on each side

QColor fromBgr(uint32_t bgr)
{
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QFont courier(double points, bool bold)
{
    QFont f(QStringLiteral("Courier New"));
    f.setStyleHint(QFont::TypeWriter);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// The client area: the window's background and Shape1, the rectangle that
// frames the grid with a margin of 60 twips on every side.
class ClientArea : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        const QRect shape = Units::twipsRect(60, 480, 9705, 4605);
        p.setPen(Qt::black);
        p.drawRect(shape.adjusted(0, 0, -1, -1));
    }
};

} // namespace

HexDisplay::HexDisplay(QWidget *parent)
    : QMainWindow(parent)
    , m_messages(std::make_shared<MessageBoxMessages>())
{
    setWindowTitle(QStringLiteral("Veltrano Editor V1.01"));
    setFont(courier(8.25, false));
    buildClient();
    buildMenus();
    setupAccessibility();
    // The window's size follows the client area, which GoNow sets; the user
    // does not resize it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setAcceptDrops(true);
    Form_Load();
}

HexDisplay::~HexDisplay() = default;

void HexDisplay::buildClient()
{
    m_client = new ClientArea(this);
    m_client->setPalette(DesignColours::onBackground(m_client->palette(), fromBgr(kBackColor)));
    m_client->setAutoFillBackground(true);
    setCentralWidget(m_client);

    m_grid = new CellGrid(m_client);
    m_grid->move(GridGeometry::area().topLeft());
    m_grid->setColors(kCellTextColor, kBackColor);
    connect(m_grid, &CellGrid::cellClicked, this, &HexDisplay::ShowLab_Click);
    connect(m_grid, &CellGrid::cellMouseMoved, this, &HexDisplay::ShowLab_MouseMove);
    connect(m_grid, &CellGrid::keyboardEntered, this, [this](bool forward) {
        // A focus that Qt passes on while controls are hidden is not the
        // user's. The rest waits until the grid's own focus change is over,
        // so that the focus passed on reaches screen readers after it.
        if (!m_hiding)
            QMetaObject::invokeMethod(this, [this, forward] { gridEntered(forward); }, Qt::QueuedConnection);
    });

    m_realsc = new RealvScroll(m_client);
    m_realsc->setGeometry(Units::twipsRect(9810, 540, 375, 4485));
    // The scroll bar as the window's stored design has it: only its colour
    // differs from a new control.
    PropertyBag design;
    design.WriteProperty(QStringLiteral("BackColor"), qint64(kBackColor), qint64(0xFFFFFF));
    m_realsc->ReadProperties(design);
    connect(m_realsc, &RealvScroll::Change, this, &HexDisplay::Realsc_Change);
    connect(m_realsc, &RealvScroll::MouseUp, this, &HexDisplay::Realsc_MouseUp);

    const QFont bold12 = courier(12, true);
    m_label1 = new QLabel(m_client);
    m_label1->setFont(bold12);
    m_label1->setGeometry(Units::twipsRect(180, 150, 150, 270));
    m_label1->setToolTip(QStringLiteral("Current Selected Position..."));

    m_label2[1] = new QLabel(QStringLiteral("ASC:"), m_client);
    m_label2[1]->setGeometry(Units::twipsRect(7680, 135, 600, 270));
    m_label2[0] = new QLabel(QStringLiteral("HEX:"), m_client);
    m_label2[0]->setGeometry(Units::twipsRect(8760, 135, 600, 270));
    for (QLabel *l : m_label2)
        l->setFont(bold12);

    const struct {
        QRect rect;
        int maxLength;
        const char *tip;
    } boxes[3] = {
        {Units::twipsRect(8280, 120, 375, 315), 3, "Edit Byte in ASCII..."},
        {Units::twipsRect(9360, 120, 375, 315), 2, "Edit Byte in HEX..."},
        {Units::twipsRect(120, 540, 105, 210), 1, nullptr},
    };
    for (int i = 0; i < 3; ++i) {
        auto *box = new QLineEdit(m_client);
        box->setGeometry(boxes[i].rect);
        box->setMaxLength(boxes[i].maxLength);
        if (boxes[i].tip)
            box->setToolTip(QString::fromLatin1(boxes[i].tip));
        box->installEventFilter(this);
        connect(box, &QLineEdit::textChanged, this, [this, i] { Text1_Change(i); });
        m_text1[i] = box;
    }
    connect(m_text1[2], &QLineEdit::textEdited, this, &HexDisplay::characterBoxEdited);
    // The keyboard's way round: the scroll bar, the grid (whose character
    // box stands for it once a byte is selected), then the two value boxes.
    setTabOrder(m_realsc, m_grid);
    setTabOrder(m_grid, m_text1[2]);
    setTabOrder(m_text1[2], m_text1[0]);
    setTabOrder(m_text1[0], m_text1[1]);
    // Every box writes black on white, whatever the desktop's palette. The
    // black is the palette's: a text colour in a style sheet is laid into
    // the palette again at every paint, and a keystroke repaints all three.
    for (QLineEdit *box : m_text1) {
        QPalette ink = box->palette();
        ink.setColor(QPalette::Text, Qt::black);
        box->setPalette(ink);
    }
    // The numeric boxes are narrow: a thin frame and no inner margin keep
    // three digits in view.
    for (int i = 0; i < 2; ++i) {
        m_text1[i]->setStyleSheet(QStringLiteral(
            "QLineEdit { border: 1px solid #404040; padding: 0px; background: white; }"));
        m_text1[i]->setTextMargins(1, 0, 0, 0);
    }
    // The character box covers one cell exactly, with no border.
    QLineEdit *charBox = m_text1[2];
    charBox->setFrame(false);
    charBox->setTextMargins(0, 0, 0, 0);
    charBox->setContentsMargins(0, 0, 0, 0);
    charBox->setStyleSheet(QStringLiteral("QLineEdit { border: none; padding: 0px; margin: 0px; background: white; }"));
}

// Names for screen readers, none of them shown: each box is named after the
// label beside it, and each grid cell after the byte it shows, in the hover
// tip's words plus the character.
void HexDisplay::setupAccessibility()
{
    m_grid->setAccessibleName(QStringLiteral("Bytes"));
    m_realsc->setAccessibleName(QStringLiteral("View start"));
    m_realsc->setPositionSource(this);
    m_text1[0]->setAccessibleName(m_label2[1]->text());
    m_text1[1]->setAccessibleName(m_label2[0]->text());
    m_grid->setCellNamer([this](int cell) {
        // The view start, not the bar's value: above 2 GiB the bar counts in
        // its own units.
        const int64_t p = m_viewStart + cell;
        uint8_t b = 0;
        if (cell > m_lastIndex || !MainMods::ByteBuffer.read(p, 1, &b))
            return QString();
        const QChar ch = Ansi::toChar(b);
        return Readout::cellTip(p, b) + (ch.isPrint() ? QStringLiteral(", Chr ") + ch : QString());
    });
}

// The grid reports the selected cell as focused while the character box
// stands over it; the box itself carries that cell's name.
void HexDisplay::syncAccessibleSelection()
{
    const bool shown = !m_text1[2]->isHidden();
    m_grid->setSelectedCell(shown ? m_selCell : -1);
    if (shown)
        m_text1[2]->setAccessibleName(m_grid->cellName(m_selCell));
}

void HexDisplay::buildMenus()
{
    QMenu *fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    m_openFile[0] = fileMenu->addAction(QStringLiteral("&Open File..."));
    m_openFile[1] = fileMenu->addSeparator();
    m_saveContent[0] = fileMenu->addAction(QStringLiteral("Sa&ve File..."));
    m_saveContent[1] = fileMenu->addAction(QStringLiteral("Sav&e File As..."));
    fileMenu->addSeparator();
    m_exitP = fileMenu->addAction(QStringLiteral("E&xit.."));
    connect(m_openFile[0], &QAction::triggered, this, [this] { OpenFile_Click(0); });
    connect(m_saveContent[0], &QAction::triggered, this, [this] { SaveContent_Click(0); });
    connect(m_saveContent[1], &QAction::triggered, this, [this] { SaveContent_Click(1); });
    connect(m_exitP, &QAction::triggered, this, &HexDisplay::ExitP_Click);

    QMenu *editMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    m_findData = editMenu->addAction(QStringLiteral("&Find..."));
    m_findData->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    m_findData->setShortcutContext(Qt::WindowShortcut);
    editMenu->addSeparator();
    m_patchFile = editMenu->addAction(QStringLiteral("Shows ALL Applications Running on Windows..."));
    editMenu->addSeparator();
    m_a1 = editMenu->addMenu(QStringLiteral("About"));
    m_a2 = m_a1->addAction(About::kVersionLine);
    m_a2->setEnabled(false);
    m_a3 = m_a1->addAction(About::kWebLine);
    connect(m_findData, &QAction::triggered, this, &HexDisplay::FindData_Click);
    connect(m_patchFile, &QAction::triggered, this, &HexDisplay::PatchFile_Click);
    connect(m_a3, &QAction::triggered, this, &HexDisplay::A3_Click);
}

void HexDisplay::setMessages(std::shared_ptr<Messages> messages)
{
    m_messages = std::move(messages);
}

void HexDisplay::Form_Load()
{
    MainMods::ByteBuffer.allocate(1000);
    GoNow();
}

int HexDisplay::Width() const
{
    return Units::pixelsToTwips(m_client->width()) + 2 * kFrameTwips;
}

void HexDisplay::setClientWidthTwips(int windowWidthTwips)
{
    m_client->setFixedSize(Units::twipsToPixels(windowWidthTwips - 2 * kFrameTwips),
                           Units::twipsToPixels(kClientHeightTwips));
}

void HexDisplay::GoNow()
{
    const int64_t U = MainMods::ByteBuffer.upperBound();
    m_mapping.setLastView(U);
    if (U >= kCells) {
        setClientWidthTwips(kWideWidth);
        m_lastIndex = kLastCell;
        m_realsc->setValueSmallChange(GridGeometry::kColumns);
        // One page less one byte, so the last byte of a page starts the next.
        m_realsc->setValueLargeChange(kLastCell);
        m_realsc->setValueMax(m_mapping.barMax());
        // The thumb's length follows the new range at once, not at the next
        // resize: a file loaded after a much smaller one gets its own thumb.
        m_realsc->Refresh();
        m_realsc->setVisible(true);
        // The scroll bar is first in the tab order: a window that comes up
        // (or a file that comes in) leaves the keyboard on it, also when
        // the window was shown and took the focus before the bar appeared.
        m_realsc->setFocus(Qt::OtherFocusReason);
    } else {
        setClientWidthTwips(kNarrowWidth);
        m_lastIndex = U;
        // Above ValueMin: the scroll bar divides by its range whenever Value is set.
        m_realsc->setValueMax(1);
        {
            const QScopedValueRollback<bool> hiding(m_hiding, true);
            m_realsc->setVisible(false);
        }
        // The repaint visits only cells up to LastIndex; blank the rest once.
        for (int i = 0; i < kCells; ++i) {
            if (i <= m_lastIndex) {
                m_grid->setBackColor(i, kInFileColor);
            } else {
                m_grid->setCaption(i, CellGrid::kNoCaption);
                m_grid->setBackColor(i, kBackColor);
            }
        }
    }
    Realsc_Change();
}

void HexDisplay::Realsc_Change()
{
    const int32_t value = m_realsc->Value();
    const bool following = m_settingBar;
    m_settingBar = false;
    if (!following) {
        m_viewStart = m_mapping.follow(m_barValue, value, m_viewStart, m_realsc->ValueSmallChange(),
                                       m_realsc->ValueLargeChange());
        m_barValue = value;
        // A step moved the view by fewer bytes than the bar moved units: the
        // thumb goes where the view is (which repaints).
        if (m_mapping.valueFor(m_viewStart) != value && !m_mapping.isExact()) {
            setViewStart(m_viewStart);
            return;
        }
    }
    m_barValue = value;
    const int32_t last = m_lastIndex;
    const DocumentFile &buffer = MainMods::ByteBuffer;
    const int64_t view = m_viewStart;
    // One read for the page; only if part of it cannot be read is each cell
    // read alone, so that the view shows what it can.
    std::array<uint8_t, kCells> bytes{};
    const int64_t first = std::max<int64_t>(view, 0);
    const int64_t count = std::min<int64_t>(buffer.size(), view + last + 1) - first;
    const bool whole = count > 0 && buffer.read(first, count, bytes.data() + (first - view));
    for (int i = 0; i <= last && i < kCells; ++i) {
        const int64_t p = view + i;
        if (buffer.contains(p)) {
            const bool readable = whole || buffer.read(p, 1, &bytes[i]);
            m_grid->setCaption(i, readable ? bytes[i] : CellGrid::kNoCaption);
            m_grid->setBackColor(i, kInFileColor);
        } else {
            m_grid->setCaption(i, CellGrid::kNoCaption);
            m_grid->setBackColor(i, kBackColor);
        }
    }
    {
        const QScopedValueRollback<bool> hiding(m_hiding, true);
        m_text1[0]->hide();
        m_text1[1]->hide();
        m_text1[2]->hide();
        m_label1->hide();
        m_label2[0]->hide();
        m_label2[1]->hide();
    }
    syncAccessibleSelection();
    reportFault();
    // Draw the new page at once. A Change raised while we yield (the scroll
    // bar's timer) repaints the cells again but does not yield a second time,
    // so nesting stays one level deep.
    if (!m_yielding) {
        m_yielding = true;
        QCoreApplication::processEvents();
        m_yielding = false;
    }
}

void HexDisplay::Realsc_MouseUp(short &, short &, float &, float &)
{
    MainMods::LastFindText.clear();
}

// The message's secondary text: which file, and why.
static QString failureDetail(const QString &path, const QString &reason)
{
    return DiskName::forDisplay(path) + QStringLiteral(": ") + reason;
}

void HexDisplay::reportFault()
{
    const ByteSource::Fault fault = MainMods::ByteBuffer.fault();
    if (fault == ByteSource::Fault::None || m_faultShown)
        return;
    m_faultShown = true;
    const QString why = fault == ByteSource::Fault::ChangedOnDisk
        ? QStringLiteral("another program changed it after it was opened")
        : QStringLiteral("part of it could not be read");
    const QString detail = failureDetail(MainMods::ChosenPath, why);
    // Told once the repaint is over, not from inside a scroll bar's event.
    QTimer::singleShot(0, this, [this, detail] {
        m_messages->show(this, QStringLiteral("Could not read file"), detail);
    });
}

void HexDisplay::refreshCellOf(int64_t index)
{
    const int64_t cell = index - m_viewStart;
    if (cell < 0 || cell > m_lastIndex || !MainMods::ByteBuffer.contains(index))
        return;
    uint8_t b = 0;
    const bool readable = MainMods::ByteBuffer.read(index, 1, &b);
    m_grid->setCaption(static_cast<int>(cell), readable ? b : CellGrid::kNoCaption);
}

// The readout takes the size of its text, as an auto-sized label does.
// Measuring a text costs more than all the rest a keystroke shows, and in a
// fixed-pitch font every text of one length has one size: a text is measured
// only when its length changes.
void HexDisplay::setReadoutText(const QString &text)
{
    const QString &before = m_label1->text();
    const bool sameSize =
        !before.isEmpty() && before.size() == text.size() && QFontInfo(m_label1->font()).fixedPitch();
    m_label1->setText(text);
    if (!sameSize)
        m_label1->adjustSize();
}

void HexDisplay::setBoxText(int index, const QString &text)
{
    // Runs the box's change handling, as a user's edit would, even when the
    // text is the same.
    if (m_text1[index]->text() == text)
        Text1_Change(index);
    else
        m_text1[index]->setText(text);
}

void HexDisplay::ShowLab_Click(int Index)
{
    const int64_t p = m_viewStart + Index;
    uint8_t b = 0;
    if (!MainMods::ByteBuffer.contains(p) || !MainMods::ByteBuffer.read(p, 1, &b))
        return;
    m_selIndex = p;
    m_selCell = Index;
    m_text1[0]->show();
    m_text1[1]->show();
    m_text1[2]->show();
    m_label1->show();
    m_label2[0]->show();
    m_label2[1]->show();
    setReadoutText(Readout::selection(m_selIndex));
    setBoxText(0, Readout::decimal(b));
    setBoxText(1, Readout::hexadecimal(b));
    setBoxText(2, Ansi::toString(b));
    m_text1[2]->move(GridGeometry::cellClientRect(m_selCell).topLeft());
    m_text1[2]->raise();
    syncAccessibleSelection();
    m_text1[2]->setFocus();
}

void HexDisplay::ShowLab_MouseMove(int Index, int, int, float, float)
{
    const int64_t p = m_viewStart + Index;
    uint8_t b = 0;
    if (!MainMods::ByteBuffer.contains(p) || !MainMods::ByteBuffer.read(p, 1, &b))
        return;
    m_grid->setToolTipText(Index, Readout::cellTip(p, b));
}

void HexDisplay::Text1_Change(int Index)
{
    if (Index == 2)
        return;
    const QString text = m_text1[Index]->text();
    if (text.isEmpty())
        return;
    DocumentFile &buffer = MainMods::ByteBuffer;
    if (!buffer.contains(m_selIndex))
        return;
    bool ok = false;
    const uint value = text.toUInt(&ok, Index == 0 ? 10 : 16);
    // Only digits of the box's base that give a byte are written; anything
    // else (text pasted from the clipboard) puts the byte's value back.
    const bool digitsOnly = std::all_of(text.cbegin(), text.cend(), [Index](QChar c) {
        return Index == 0 ? c.isDigit() : (c.isDigit() || QStringLiteral("abcdefABCDEF").contains(c));
    });
    if (!ok || !digitsOnly || value > 255) {
        const uint8_t b = buffer[m_selIndex];
        const QSignalBlocker block(m_text1[Index]);
        m_text1[Index]->setText(Index == 0 ? Readout::decimal(b) : Readout::hexadecimal(b));
        return;
    }
    buffer[m_selIndex] = static_cast<uint8_t>(value);
    refreshCellOf(m_selIndex);
    m_text1[2]->setText(Ansi::toString(static_cast<uint8_t>(value)));
    // The other numeric box shows the new value too, so the two never disagree.
    if (!m_syncingBoxes) {
        m_syncingBoxes = true;
        const int other = Index == 0 ? 1 : 0;
        const QString shown = other == 0 ? Readout::decimal(value) : Readout::hexadecimal(value);
        // "ff" typed in the hexadecimal box already shows 255: leave it as typed.
        if (m_text1[other]->text().compare(shown, Qt::CaseInsensitive) != 0)
            m_text1[other]->setText(shown);
        m_syncingBoxes = false;
    }
}

bool HexDisplay::decimalKeyAccepted(int keyAscii) const
{
    // The digit goes where the cursor is, over any selected text; a result of
    // 256 or more would show a value the byte cannot hold.
    const QLineEdit *box = m_text1[0];
    QString text = box->text();
    int pos = box->cursorPosition();
    if (box->hasSelectedText()) {
        pos = box->selectionStart();
        text.remove(pos, box->selectedText().size());
    }
    if (text.size() >= box->maxLength())
        return true; // the box itself refuses the key
    text.insert(pos, QChar(keyAscii));
    return text.toUInt() < 256;
}

void HexDisplay::Text1_KeyPress(int Index, int &KeyAscii)
{
    if (Index == 0) {
        const bool digit = KeyAscii >= '0' && KeyAscii <= '9';
        if (!(digit || KeyAscii == 8) || (digit && !decimalKeyAccepted(KeyAscii)))
            KeyAscii = 0;
        return;
    }
    if (Index == 1) {
        const bool keep = (KeyAscii >= '0' && KeyAscii <= '9') || (KeyAscii >= 'A' && KeyAscii <= 'F')
            || (KeyAscii >= 'a' && KeyAscii <= 'f') || KeyAscii == 8;
        if (!keep)
            KeyAscii = 0;
        return;
    }
    DocumentFile &buffer = MainMods::ByteBuffer;
    const int code = KeyAscii;
    KeyAscii = 0;
    if (!buffer.contains(m_selIndex) || code < 0 || code > 255)
        return;
    buffer[m_selIndex] = static_cast<uint8_t>(code);
    refreshCellOf(m_selIndex);
    if (m_selIndex == buffer.upperBound() || m_selCell == kLastCell) {
        // The box stays on the byte just typed; its readouts show the new value.
        showSelection();
        return;
    }
    ++m_selIndex;
    ++m_selCell;
    m_text1[2]->move(GridGeometry::cellClientRect(m_selCell).topLeft());
    showSelection();
}

void HexDisplay::showSelection()
{
    // A yield inside a repaint may have loaded a shorter file meanwhile.
    if (!MainMods::ByteBuffer.contains(m_selIndex))
        return;
    const uint8_t b = MainMods::ByteBuffer[m_selIndex];
    setBoxText(2, Ansi::toString(b));
    setReadoutText(Readout::selection(m_selIndex));
    setBoxText(0, Readout::decimal(b));
    setBoxText(1, Readout::hexadecimal(b));
    syncAccessibleSelection();
}

void HexDisplay::Text1_KeyUp(int Index, int KeyCode, int)
{
    if (Index != 2)
        return;
    const int64_t upper = MainMods::ByteBuffer.upperBound();
    if (KeyCode == 37 && m_selCell > 0) {
        --m_selIndex;
        --m_selCell;
    }
    if (KeyCode == 38 && m_selCell > GridGeometry::kColumns) {
        m_selIndex -= GridGeometry::kColumns;
        m_selCell -= GridGeometry::kColumns;
    }
    // At the last byte nothing below runs; a selection left beyond the end by
    // a shorter file loaded since is not shown either.
    if (m_selIndex >= upper || m_selIndex < 0)
        return;
    if (KeyCode == 39 && m_selCell < kLastCell) {
        ++m_selIndex;
        ++m_selCell;
    }
    constexpr int kLastRowStart = kCells - GridGeometry::kColumns - 1; // 1519
    if (KeyCode == 40 && m_selCell < kLastRowStart) {
        if (m_selIndex + GridGeometry::kColumns > upper)
            return;
        m_selIndex += GridGeometry::kColumns;
        m_selCell += GridGeometry::kColumns;
    }
    m_text1[2]->move(GridGeometry::cellClientRect(m_selCell).topLeft());
    if (KeyCode == 40 && m_selCell >= kLastRowStart && !m_realsc->isHidden()) {
        setViewStart(m_viewStart + 1);
        // The view moved one byte on; the selection stays on its byte, whose
        // cell is now one to the left, so no cell is ever given another
        // byte's character.
        const int64_t cell = m_selIndex - m_viewStart;
        if (cell >= 0 && cell <= kLastCell)
            m_selCell = static_cast<int32_t>(cell);
        m_text1[2]->move(GridGeometry::cellClientRect(m_selCell).topLeft());
    }
    showSelection();
}

void HexDisplay::typeText(int index, const QString &text)
{
    for (const InputCodes::TypedKey &typed : InputCodes::typedCharacters(text)) {
        if (typed.kind != InputCodes::TypedKey::Code)
            continue; // no byte stands for it: as when such a key is typed
        int keyAscii = typed.code;
        Text1_KeyPress(index, keyAscii);
        if (index == 2)
            Text1_KeyUp(2, 0, 0); // the release; a committed character has no key of its own
        else if (keyAscii == 8)
            m_text1[index]->backspace();
        else if (keyAscii != 0)
            m_text1[index]->insert(QString(QChar(keyAscii)));
    }
}

void HexDisplay::typeFirstCharacter(const QString &text)
{
    if (text.isEmpty())
        return;
    const bool pair = text.size() > 1 && text.at(0).isHighSurrogate() && text.at(1).isLowSurrogate();
    typeText(2, text.left(pair ? 2 : 1));
}

void HexDisplay::characterBoxEdited(const QString &text)
{
    // An edit no key press went through (an undo, a word deleted with
    // Ctrl+Delete...). One character left in the box counts as typed; any
    // other change is refused: the box shows its byte again.
    const QList<InputCodes::TypedKey> typed = InputCodes::typedCharacters(text);
    if (typed.size() == 1 && typed.front().kind == InputCodes::TypedKey::Code) {
        typeText(2, text);
        return;
    }
    if (MainMods::ByteBuffer.contains(m_selIndex))
        setBoxText(2, Ansi::toString(MainMods::ByteBuffer[m_selIndex]));
}

void HexDisplay::showCharacterBoxMenu(const QPoint &globalPos)
{
    // The entries of a line edit's own menu that keep the box and its byte
    // in step: no Undo, Redo, Cut or Delete, which could only empty it, and
    // a Paste that types the clipboard's first character.
    QLineEdit *box = m_text1[2];
    const auto entry = [](const QString &text, QKeySequence::StandardKey key) {
        return text + QLatin1Char('\t') + QKeySequence(key).toString(QKeySequence::NativeText);
    };
    QMenu menu;
    QAction *copy = menu.addAction(entry(QLineEdit::tr("&Copy"), QKeySequence::Copy), box, &QLineEdit::copy);
    copy->setEnabled(box->hasSelectedText());
    const QString clipboard = QGuiApplication::clipboard()->text();
    QAction *paste = menu.addAction(entry(QLineEdit::tr("&Paste"), QKeySequence::Paste), this,
                                    [this, clipboard] { typeFirstCharacter(clipboard); });
    paste->setEnabled(!clipboard.isEmpty());
    menu.addSeparator();
    menu.addAction(entry(QLineEdit::tr("Select All"), QKeySequence::SelectAll), box, &QLineEdit::selectAll);
    menu.exec(globalPos);
}

bool HexDisplay::eventFilter(QObject *watched, QEvent *event)
{
    const auto it = std::find(m_text1.begin(), m_text1.end(), watched);
    if (it == m_text1.end())
        return QMainWindow::eventFilter(watched, event);
    const int index = int(it - m_text1.begin());
    switch (event->type()) {
    case QEvent::InputMethod:
        // Composed characters (dead keys, Compose, an input method) arrive as
        // a commit; the pre-edit before it is never shown nor written.
        typeText(index, static_cast<QInputMethodEvent *>(event)->commitString());
        return true;
    case QEvent::ContextMenu:
        if (index != 2)
            break;
        showCharacterBoxMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        // No pasting of the X selection with the middle button: a press of
        // the wheel is an easy accident, and nothing can undo the byte it
        // would write. Paste stays in the box's menu.
        if (index == 2 && static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton)
            return true;
        break;
    case QEvent::Drop:
        if (auto *drop = static_cast<QDropEvent *>(event); index == 2 && drop->mimeData()->hasText()) {
            typeFirstCharacter(drop->mimeData()->text());
            // A copy: a drag out of the box itself must not delete its source.
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            return true;
        }
        break;
    default:
        break;
    }
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const InputCodes::TypedKey typed = InputCodes::typedKey(*key);
        if (typed.kind == InputCodes::TypedKey::Unmappable)
            return true; // no byte stands for it: nothing is written, nothing moves
        if (typed.kind == InputCodes::TypedKey::None)
            return index == 2 ? key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab
                                    && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
                              : false;
        int keyAscii = typed.code;
        Text1_KeyPress(index, keyAscii);
        return keyAscii == 0; // 0: the handler discarded the key
    }
    if (event->type() == QEvent::KeyRelease) {
        auto *key = static_cast<QKeyEvent *>(event);
        // Holding a key moves one step: only the real release counts.
        if (!key->isAutoRepeat())
            Text1_KeyUp(index, InputCodes::keyCode(key->key()), InputCodes::shiftState(key->modifiers()));
        return index == 2;
    }
    return QMainWindow::eventFilter(watched, event);
}

void HexDisplay::OpenFile_Click(int)
{
    // A bare name in ChosenPath means a file in the working directory, which
    // the chooser moves; a failed load puts both back so that the next plain
    // save still writes the file that was loaded.
    const QString previousPath = MainMods::ChosenPath;
    const QString previousFolder = DiskFolder::current();
    LoadSave *chooser = LoadSave::instance(this);
    chooser->setWindowTitle(QStringLiteral("Load File..."));
    chooser->Command1(1)->setText(QStringLiteral("Load"));
    chooser->exec();
    if (MainMods::ChosenPath.isEmpty())
        return;
    const QString path = MainMods::ChosenPath;
    MainMods::ChosenPath = previousPath;
    if (!openNamedFile(path))
        DiskFolder::setCurrent(previousFolder);
}

bool HexDisplay::openNamedFile(const QString &path)
{
    setCursor(Qt::WaitCursor);
    // The buffer, the caption, the view and the current file's name change
    // only once every byte of the new file has arrived.
    const DocumentFile::Opened opened = MainMods::ByteBuffer.load(path);
    // A search still running in the old file would report into the new one,
    // even while the notice below waits for the user.
    if (opened.failure.isEmpty() && m_findBox)
        m_findBox->stopSearch();
    if (!opened.notice.isEmpty())
        m_messages->show(this, QStringLiteral("The last save of this file was interrupted"),
                         failureDetail(path, opened.notice));
    if (!opened.failure.isEmpty()) {
        setCursor(Qt::ArrowCursor);
        m_messages->show(this, QStringLiteral("Could not open file"), failureDetail(path, opened.failure));
        return false;
    }
    MainMods::ChosenPath = path;
    setWindowTitle(QStringLiteral("Veltrano Editor - ") + DiskName::forDisplay(path));
    // A search of the old file says nothing about the new one: the next Find
    // starts from the view.
    MainMods::LastFindText.clear();
    FindState::FindPos = 0;
    m_faultShown = false;
    setViewStart(0);
    setCursor(Qt::ArrowCursor);
    GoNow();
    return true;
}

void HexDisplay::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

void HexDisplay::dragMoveEvent(QDragMoveEvent *event)
{
    // Accepting or refusing here is what gives the pointer its shape.
    if (DroppedFile::localFile(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void HexDisplay::dropEvent(QDropEvent *event)
{
    const std::optional<QString> path = DroppedFile::localFile(event->mimeData());
    if (!path) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Opened once the drop is over: a failure's message box must not keep
    // the dragging program waiting for the end of the drop.
    QMetaObject::invokeMethod(this, [this, name = *path] { openNamedFile(name); }, Qt::QueuedConnection);
}

void HexDisplay::SaveContent_Click(int Index)
{
    if (MainMods::ChosenPath.isEmpty())
        Index = 1;
    if (Index == 1) {
        LoadSave *chooser = LoadSave::instance(this);
        chooser->setWindowTitle(QStringLiteral("Save As..."));
        chooser->Command1(1)->setText(QStringLiteral("Save"));
        chooser->exec();
    }
    if (!MainMods::ChosenPath.isEmpty()) {
        // A search beside the window reads the file that a save in place is
        // about to change; it would take our own write for another program's.
        if (m_findBox)
            m_findBox->stopSearch();
        setCursor(Qt::WaitCursor);
        const QString failure = MainMods::ByteBuffer.save(MainMods::ChosenPath, Index == 1);
        setCursor(Qt::ArrowCursor);
        if (!failure.isEmpty())
            m_messages->show(this, QStringLiteral("Could not write file"),
                             failureDetail(MainMods::ChosenPath, failure));
        return;
    }
    setCursor(Qt::ArrowCursor);
}

void HexDisplay::ExitP_Click()
{
    // At once, without a question: unsaved edits are lost, as the user asked.
    QCoreApplication::exit(0);
}

void HexDisplay::closeEvent(QCloseEvent *event)
{
    // Closing the main window ends the program; a process left running with
    // only hidden dialogs would be unreachable.
    event->accept();
    QCoreApplication::exit(0);
}

void HexDisplay::FindData_Click()
{
    if (!m_findBox)
        m_findBox = new FindBox(this, this);
    m_findBox->show();
    m_findBox->raise();
    m_findBox->activateWindow();
}

void HexDisplay::PatchFile_Click()
{
    RunningApps::showModal();
}

void HexDisplay::A3_Click()
{
    // Whether a browser starts or not, nothing is reported.
    QDesktopServices::openUrl(QUrl(About::kWebAddress));
}

int64_t HexDisplay::viewStart() const
{
    return m_viewStart;
}

void HexDisplay::setViewStart(int64_t value)
{
    // A buffer that fits one page shows from byte 0: with the scroll bar
    // hidden, a view moved to 1 would hide the first byte for good.
    const int64_t view = m_realsc->isHidden() ? 0 : value;
    if (m_mapping.isExact()) {
        // The bar caps the value and the view follows it, as Value is the view.
        m_realsc->setValue(int32_t(std::clamp<int64_t>(view, INT32_MIN, INT32_MAX)));
        return;
    }
    m_viewStart = m_mapping.clamp(view);
    m_settingBar = true;
    m_realsc->setValue(m_mapping.valueFor(m_viewStart));
}

void HexDisplay::setCellBackColor(int cell, uint32_t bgr)
{
    m_grid->setBackColor(cell, bgr);
}

// Called for every Find, so that a screen reader, which does not see the red
// cells nor the readout far from the focus, says where the search ended.
void HexDisplay::findEnded(int64_t match)
{
    uint8_t b = 0;
    if (match >= 0 && MainMods::ByteBuffer.read(match, 1, &b))
        m_announcement.say(Readout::cellTip(match, b));
    else
        m_announcement.say(m_label1->text());
}

qint64 HexDisplay::maximumPosition() const
{
    return m_realsc->isHidden() ? 0 : m_mapping.lastView();
}

void HexDisplay::setPosition(qint64 position)
{
    setViewStart(position);
}

// The keyboard reached the grid. With no byte selected, entering selects the
// first byte in view just as a click on that cell would. With one selected,
// its character box stands for the grid: Tab goes back to it and Shift+Tab,
// coming from it, passes over the grid to the control before.
void HexDisplay::gridEntered(bool forward)
{
    if (!m_grid->hasFocus())
        return; // the focus went on meanwhile
    if (m_text1[2]->isHidden()) {
        ShowLab_Click(0);
        return;
    }
    if (forward)
        m_text1[2]->setFocus(Qt::TabFocusReason);
    else if (!m_realsc->isHidden())
        m_realsc->setFocus(Qt::BacktabFocusReason);
    else
        m_text1[1]->setFocus(Qt::BacktabFocusReason);
}

void HexDisplay::showReadout(const QString &text)
{
    setReadoutText(text);
    m_label1->show();
    reportFault();
}
