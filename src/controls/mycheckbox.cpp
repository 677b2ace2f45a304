#include "mycheckbox.h"

#include "inputcodes.h"
#include "propertyvalues.h"
#include "units.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace {

// Drawn at a fixed size whatever the control's size: the box and cross of a
// 210 x 210 twip design, at 15 twips a pixel.
const QRect kBox = Units::twipsRect(15, 15, 180, 180); // (1, 1), 12 x 12
const QPoint kCrossTopLeft(Units::twipsToPixels(45), Units::twipsToPixels(45));
const QPoint kCrossBottomRight(Units::twipsToPixels(150), Units::twipsToPixels(150));
const QColor kBoxFill(192, 192, 255); // &HFFC0C0
const QColor kBlue(0, 0, 255);        // &HFF0000

} // namespace

myCheckBox::myCheckBox(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

uint8_t myCheckBox::Checked() const
{
    return m_checked;
}

void myCheckBox::setChecked(uint8_t New_Checked)
{
    m_checked = New_Checked;
    update();
    emit PropertyChanged(QStringLiteral("Checked"));
}

void myCheckBox::Refresh()
{
    repaint();
}

void myCheckBox::InitProperties()
{
    m_checked = 0;
    update();
}

bool myCheckBox::ReadProperties(const PropertyBag &bag)
{
    const auto value = PropertyValues::toUInt8(bag.ReadProperty(QStringLiteral("Checked"), 0));
    if (!value)
        return false;
    setChecked(*value);
    return true;
}

void myCheckBox::WriteProperties(PropertyBag &bag) const
{
    bag.WriteProperty(QStringLiteral("Checked"), int(m_checked), 0);
}

QSize myCheckBox::sizeHint() const
{
    return QSize(Units::twipsToPixels(210), Units::twipsToPixels(210));
}

void myCheckBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.fillRect(kBox, kBoxFill);
    painter.setPen(QPen(kBlue, 1));
    painter.drawRect(kBox.adjusted(0, 0, -1, -1));
    if (m_checked != 0) {
        // Pixel n spans n..n+1. A two-pixel pen with square caps centred on
        // the path from 4 to 10 reaches from 3 to 11: exactly pixels 3 to 10.
        const QPointF a(kCrossTopLeft.x() + 1, kCrossTopLeft.y() + 1);
        const QPointF b(kCrossBottomRight.x(), kCrossBottomRight.y());
        painter.setPen(QPen(kBlue, 2, Qt::SolidLine, Qt::SquareCap));
        painter.drawLine(a, b);
        painter.drawLine(QPointF(b.x(), a.y()), QPointF(a.x(), b.y()));
    }
}

void myCheckBox::mousePressEvent(QMouseEvent *event)
{
    short button = InputCodes::buttonCode(event->button());
    short shift = InputCodes::shiftState(event->modifiers());
    float x = float(event->position().x());
    float y = float(event->position().y());
    if (event->button() == Qt::LeftButton)
        m_leftPressed = true;
    emit MouseDown(button, shift, x, y);
}

void myCheckBox::mouseMoveEvent(QMouseEvent *event)
{
    short button = InputCodes::buttonsCode(event->buttons());
    short shift = InputCodes::shiftState(event->modifiers());
    float x = float(event->position().x());
    float y = float(event->position().y());
    emit MouseMove(button, shift, x, y);
}

// A click is a left press and its release over the control; it follows the
// MouseUp, and changes nothing by itself.
void myCheckBox::mouseReleaseEvent(QMouseEvent *event)
{
    short button = InputCodes::buttonCode(event->button());
    short shift = InputCodes::shiftState(event->modifiers());
    float x = float(event->position().x());
    float y = float(event->position().y());
    const bool click = event->button() == Qt::LeftButton && m_leftPressed
        && rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_leftPressed = false;
    QPointer<myCheckBox> alive(this);
    emit MouseUp(button, shift, x, y);
    if (click && alive)
        emit Click();
}

void myCheckBox::keyPressEvent(QKeyEvent *event)
{
    short keyCode = InputCodes::keyCode(event->key());
    short shift = InputCodes::shiftState(event->modifiers());
    QPointer<myCheckBox> alive(this);
    emit KeyDown(keyCode, shift);
    if (!alive)
        return;
    bool discarded = false;
    if (const auto ascii = InputCodes::keyAscii(*event)) {
        short keyAscii = *ascii;
        emit KeyPress(keyAscii);
        if (!alive)
            return;
        discarded = keyAscii == 0;
    }
    // A key the host did not discard goes on to the parent, as any key the
    // control itself has no use for.
    event->setAccepted(discarded);
}

void myCheckBox::keyReleaseEvent(QKeyEvent *event)
{
    short keyCode = InputCodes::keyCode(event->key());
    short shift = InputCodes::shiftState(event->modifiers());
    emit KeyUp(keyCode, shift);
}
