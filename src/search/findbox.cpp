#include "findbox.h"

#include "ansi.h"
#include "backgroundfind.h"
#include "designcolours.h"
#include "findhost.h"
#include "findstep.h"
#include "hexconvert.h"
#include "inputcodes.h"
#include "units.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

QFont boxFont(bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

// The code the key filter sees, or nothing for keys it never filters:
// movement, Delete, Tab, function keys and Ctrl/Alt shortcuts such as paste
// or the dialog's access keys. A character the code page cannot hold gives 0,
// so it is discarded.
std::optional<int> filteredKeyAscii(const QKeyEvent &event)
{
    const InputCodes::TypedKey typed = InputCodes::typedKey(event);
    const bool shortcut = event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (typed.kind == InputCodes::TypedKey::None || (shortcut && typed.code >= 1 && typed.code <= 26
                                                     && event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z))
        return std::nullopt;
    return typed.kind == InputCodes::TypedKey::Unmappable ? 0 : typed.code;
}

} // namespace

FindBox::FindBox(FindHost *host, QWidget *owner)
    : QDialog(owner)
    , m_host(host)
    , m_search(new BackgroundFind(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral("Find Binary Bytes..."));
    setFixedSize(Units::twipsToPixels(5145), Units::twipsToPixels(1080));
    setPalette(DesignColours::onBackground(palette(), DesignColours::windowBackground()));
    setAutoFillBackground(true);
    setFont(boxFont(true));

    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(Units::twipsRect(1200, 240, 2895, 315));
    Text1->setMaxLength(kMaxBoxLength);

    Command2 = new QPushButton(QStringLiteral("&Find"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(Units::twipsRect(4200, 180, 885, 375));

    Command3 = new QPushButton(QStringLiteral("C&ancel"), this);
    Command3->setObjectName(QStringLiteral("Command3"));
    Command3->setGeometry(Units::twipsRect(4200, 585, 885, 375));
    Command3->setFont(boxFont(false));

    // Neither button answers Enter: a search starts only from the Find button.
    for (QPushButton *button : {Command2, Command3}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    Label1 = new QLabel(QStringLiteral("Find What :"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(Units::twipsRect(180, 240, 885, 210));

    Check1 = new QCheckBox(QStringLiteral("Case Match"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setGeometry(Units::twipsRect(1200, 720, 1515, 255));

    Check2 = new QCheckBox(QStringLiteral("Hex"), this);
    Check2->setObjectName(QStringLiteral("Check2"));
    Check2->setGeometry(Units::twipsRect(2880, 720, 1095, 210));

    Text1->setAccessibleName(Label1->text()); // for screen readers, the label beside it
    setTabOrder(Text1, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Check1);
    setTabOrder(Check1, Check2);

    Text1->installEventFilter(this);
    connect(Text1, &QLineEdit::textEdited, this, [this] { m_setBytes.reset(); });
    connect(Check2, &QCheckBox::toggled, this, [this] { Check2_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(m_search, &BackgroundFind::progressed, this,
            [this](int percent) { m_host->showReadout(QString::number(percent) + QLatin1Char('%')); });
    connect(m_search, &BackgroundFind::finished, this, [this](int status, qint64 index) {
        FindStep::finish(*m_host, m_searchNeedle, status == ChunkSearch::Result::Found ? index : -1);
    });
}

QString FindBox::noByteText()
{
    return QStringLiteral("Not searched: a character stands for no byte");
}

std::optional<QByteArray> FindBox::boxBytes() const
{
    if (m_setBytes && Text1->text() == m_setText)
        return m_setBytes;
    return Ansi::fromString(Text1->text());
}

void FindBox::setBoxBytes(const QString &text, const std::optional<QByteArray> &bytes)
{
    Text1->setText(text);
    // What the box holds after taking the text, which is what later reads compare with.
    m_setText = Text1->text();
    m_setBytes = bytes;
}

void FindBox::Check2_Click()
{
    if (Check2->isChecked()) {
        const std::optional<QByteArray> bytes = boxBytes();
        if (!bytes || bytes->size() > kMaxHexBytes) {
            // No digits can spell this text; stay with the characters.
            const QSignalBlocker blocker(Check2);
            Check2->setChecked(false);
            return;
        }
        setBoxBytes(HexText::toHexDigits(*bytes), std::nullopt);
    } else {
        const QString text = HexText::fromHexDigits(Text1->text());
        setBoxBytes(text, Ansi::fromString(text));
    }
}

void FindBox::Text1_KeyPress(int &KeyAscii)
{
    if (Check2->isChecked() && !HexText::isHexKey(KeyAscii))
        KeyAscii = 0;
}

void FindBox::Command2_Click()
{
    // Unticking Hex turns the digits into the characters they stand for.
    Check2->setChecked(false);
    const std::optional<QByteArray> needle = boxBytes();
    if (!needle) {
        m_host->showReadout(noByteText());
        m_host->findEnded(-1);
        return;
    }
    if (m_search->isRunning())
        return; // one search at a time; Cancel ends it
    if (const std::shared_ptr<const ByteSource> source = FindStep::onDemandSource()) {
        m_searchNeedle = *needle;
        m_search->start(source, *needle, FindStep::begin(*m_host, *needle), Check1->isChecked());
        return;
    }
    FindStep::run(*m_host, *needle, Check1->isChecked());
}

void FindBox::stopSearch()
{
    m_search->stop();
}

void FindBox::closeEvent(QCloseEvent *event)
{
    stopSearch();
    QDialog::closeEvent(event);
}

void FindBox::Command3_Click()
{
    close();
}

bool FindBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Text1 && event->type() == QEvent::InputMethod) {
        const auto *im = static_cast<QInputMethodEvent *>(event);
        if (im->commitString().isEmpty())
            return QDialog::eventFilter(watched, event); // pre-edit: the box shows it as usual
        // The pre-edit ends first; then each committed character goes
        // through the key filter as if typed.
        QInputMethodEvent preedit(im->preeditString(), im->attributes());
        QCoreApplication::sendEvent(Text1, &preedit);
        for (const InputCodes::TypedKey &typed : InputCodes::typedCharacters(im->commitString())) {
            int keyAscii = typed.kind == InputCodes::TypedKey::Code ? typed.code : 0;
            if (keyAscii != 0)
                Text1_KeyPress(keyAscii);
            if (keyAscii == 8)
                Text1->backspace();
            else if (keyAscii >= 32)
                Text1->insert(QString(Ansi::toChar(uint8_t(keyAscii))));
        }
        return true;
    }
    if (watched == Text1 && event->type() == QEvent::KeyPress) {
        if (const auto code = filteredKeyAscii(*static_cast<QKeyEvent *>(event))) {
            int keyAscii = *code;
            if (keyAscii != 0)
                Text1_KeyPress(keyAscii);
            if (keyAscii == 0)
                return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FindBox::keyPressEvent(QKeyEvent *event)
{
    // Enter and Escape do nothing here: no default button, and the box
    // closes only through Cancel or the window's close button.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
