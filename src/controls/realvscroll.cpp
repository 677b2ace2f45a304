#include "realvscroll.h"

#include "inputcodes.h"
#include "propertyvalues.h"
#include "realvscrollaccessible.h"
#include "scrollrender.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

namespace {

constexpr uint32_t kDefaultBackColor = 0xFFFFFF;
constexpr int32_t kDefaultValueMax = 100;
constexpr int32_t kDefaultLargeChange = 5;
constexpr int32_t kDefaultSmallChange = 1;

} // namespace

RealvScroll::RealvScroll(QWidget *parent)
    : QWidget(parent)
    , m_timer(new QTimer(this))
{
    RealvScrollAccessible::install();
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_timer->setInterval(ScrollModel::kSlowInterval);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &RealvScroll::Timer1_Timer);
    // A control made from code starts with a new instance's values, so it
    // has a range before any design is read into it.
    InitProperties();
}

RealvScroll::~RealvScroll() = default;

uint32_t RealvScroll::BackColor() const
{
    return m_backColor;
}

void RealvScroll::setBackColor(uint32_t New_BackColor)
{
    m_backColor = New_BackColor;
    emit PropertyChanged(QStringLiteral("BackColor"));
    UserControl_Resize();
}

int32_t RealvScroll::ValueMax() const
{
    return m_model.valueMax();
}

void RealvScroll::setValueMax(int32_t New_ValueMax)
{
    m_model.setValueMax(New_ValueMax);
    emit PropertyChanged(QStringLiteral("ValueMax"));
}

int32_t RealvScroll::Value() const
{
    return m_model.value();
}

// Every change of position, from the user or from code, is announced once
// the host has answered Change: a host's position may follow Value only then.
void RealvScroll::raiseChange()
{
    QPointer<RealvScroll> alive(this);
    emit Change();
    if (alive)
        RealvScrollAccessible::announceValue(this);
}

void RealvScroll::setPositionSource(RealvScrollPosition *source)
{
    m_positionSource = source;
}

// When the thumb cannot be placed (no range), the value is kept and Change
// is still raised, so the host's view follows Value; only the thumb stays.
void RealvScroll::setValue(int32_t New_Value)
{
    syncSize();
    m_model.setValue(New_Value);
    emit PropertyChanged(QStringLiteral("Value"));
    QPointer<RealvScroll> alive(this);
    raiseChange();
    if (alive)
        UserControl_Paint();
}

bool RealvScroll::Enabled() const
{
    return isEnabled();
}

void RealvScroll::setEnabled(bool New_Enabled)
{
    QWidget::setEnabled(New_Enabled);
    emit PropertyChanged(QStringLiteral("Enabled"));
}

void RealvScroll::Refresh()
{
    UserControl_Resize();
}

int16_t RealvScroll::MousePointer() const
{
    return m_mousePointer;
}

void RealvScroll::setMousePointer(int16_t New_MousePointer)
{
    m_mousePointer = New_MousePointer;
    applyCursor();
    emit PropertyChanged(QStringLiteral("MousePointer"));
}

QCursor RealvScroll::MouseIcon() const
{
    return m_mouseIcon.value_or(QCursor());
}

// The plain arrow, which is what QCursor() gives, stands for "no icon".
void RealvScroll::setMouseIcon(const QCursor &New_MouseIcon)
{
    if (New_MouseIcon.shape() == Qt::ArrowCursor)
        m_mouseIcon.reset();
    else
        m_mouseIcon = New_MouseIcon;
    applyCursor();
    emit PropertyChanged(QStringLiteral("MouseIcon"));
}

int32_t RealvScroll::ValueMin() const
{
    return m_model.valueMin();
}

void RealvScroll::setValueMin(int32_t New_ValueMin)
{
    m_model.setValueMin(New_ValueMin);
    emit PropertyChanged(QStringLiteral("ValueMin"));
}

int32_t RealvScroll::ValueLargeChange() const
{
    return m_model.valueLargeChange();
}

void RealvScroll::setValueLargeChange(int32_t New_ValueLargeChange)
{
    m_model.setValueLargeChange(New_ValueLargeChange);
    emit PropertyChanged(QStringLiteral("ValueLargeChange"));
}

int32_t RealvScroll::ValueSmallChange() const
{
    return m_model.valueSmallChange();
}

void RealvScroll::setValueSmallChange(int32_t New_ValueSmallChange)
{
    m_model.setValueSmallChange(New_ValueSmallChange);
    emit PropertyChanged(QStringLiteral("ValueSmallChange"));
}

void RealvScroll::InitProperties()
{
    m_model.setValueMax(kDefaultValueMax);
    m_model.storeValue(0);
    m_model.setValueMin(0);
    m_model.setValueLargeChange(kDefaultLargeChange);
    m_model.setValueSmallChange(kDefaultSmallChange);
}

bool RealvScroll::ReadProperties(const PropertyBag &bag)
{
    using namespace PropertyValues;

    const auto backColor = toColour(bag.ReadProperty(QStringLiteral("BackColor"), kDefaultBackColor));
    if (!backColor)
        return false;
    m_backColor = *backColor;

    const auto valueMax = toInt32(bag.ReadProperty(QStringLiteral("ValueMax"), kDefaultValueMax));
    if (!valueMax)
        return false;
    m_model.setValueMax(*valueMax);

    const auto value = toInt32(bag.ReadProperty(QStringLiteral("Value"), 0));
    if (!value)
        return false;
    m_model.storeValue(*value);

    const auto enabled = toBool(bag.ReadProperty(QStringLiteral("Enabled"), true));
    if (!enabled)
        return false;
    QWidget::setEnabled(*enabled);

    const auto pointer = toInt16(bag.ReadProperty(QStringLiteral("MousePointer"), 0));
    if (!pointer)
        return false;
    m_mousePointer = *pointer;
    applyCursor();

    const auto icon = cursorFromVariant(bag.ReadProperty(QStringLiteral("MouseIcon"), QString()));
    if (!icon)
        return false;
    setMouseIcon(icon->value_or(QCursor()));

    const auto valueMin = toInt32(bag.ReadProperty(QStringLiteral("ValueMin"), 0));
    if (!valueMin)
        return false;
    m_model.setValueMin(*valueMin);

    const auto large = toInt32(bag.ReadProperty(QStringLiteral("ValueLargeChange"), kDefaultLargeChange));
    if (!large)
        return false;
    m_model.setValueLargeChange(*large);

    const auto small = toInt32(bag.ReadProperty(QStringLiteral("ValueSmallChange"), kDefaultSmallChange));
    if (!small)
        return false;
    m_model.setValueSmallChange(*small);
    return true;
}

void RealvScroll::WriteProperties(PropertyBag &bag) const
{
    bag.WriteProperty(QStringLiteral("BackColor"), QVariant::fromValue<uint>(m_backColor),
                      QVariant::fromValue<uint>(kDefaultBackColor));
    bag.WriteProperty(QStringLiteral("ValueMax"), m_model.valueMax(), kDefaultValueMax);
    bag.WriteProperty(QStringLiteral("Value"), m_model.value(), 0);
    bag.WriteProperty(QStringLiteral("Enabled"), isEnabled(), true);
    bag.WriteProperty(QStringLiteral("MousePointer"), int(m_mousePointer), 0);
    bag.WriteProperty(QStringLiteral("MouseIcon"), PropertyValues::cursorToText(m_mouseIcon),
                      QString());
    bag.WriteProperty(QStringLiteral("ValueMin"), m_model.valueMin(), 0);
    bag.WriteProperty(QStringLiteral("ValueLargeChange"), m_model.valueLargeChange(),
                      kDefaultLargeChange);
    bag.WriteProperty(QStringLiteral("ValueSmallChange"), m_model.valueSmallChange(),
                      kDefaultSmallChange);
}

// --- drawing ----------------------------------------------------------------

void RealvScroll::UserControl_Resize()
{
    syncSize();
    m_model.computeArrowColumn();
    m_model.computeShades(m_backColor);
    m_background = ScrollRender::background(m_model, width(), height(), m_backColor, devicePixelRatioF());
    m_model.computeThumbLength();
    m_model.placeThumbForRedraw();
    UserControl_Paint();
}

void RealvScroll::UserControl_Paint()
{
    repaint();
}

void RealvScroll::paintEvent(QPaintEvent *)
{
    // A move to a screen of another ratio redraws the same picture in that
    // screen's pixels; the model and the thumb are unchanged.
    if (!m_background.isNull() && !qFuzzyCompare(m_background.devicePixelRatio(), devicePixelRatioF()))
        m_background = ScrollRender::background(m_model, width(), height(), m_backColor, devicePixelRatioF());
    QPainter painter(this);
    if (m_background.isNull())
        painter.fillRect(rect(), ScrollRender::colour(m_backColor));
    else
        painter.drawImage(0, 0, m_background);
    ScrollRender::paintThumb(painter, m_model, width());
    if (m_focusFrameShown)
        ScrollRender::ring(painter, 0, 0, width() - 1, height() - 1, Qt::black);
}

void RealvScroll::resizeEvent(QResizeEvent *)
{
    UserControl_Resize();
}

QSize RealvScroll::sizeHint() const
{
    return QSize(25, 299);
}

// --- input ------------------------------------------------------------------

void RealvScroll::mousePressEvent(QMouseEvent *event)
{
    syncSize();
    m_model.mousePress(InputCodes::buttonCode(event->button()), float(event->position().y()));
    syncTimer();
    event->accept();
}

void RealvScroll::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_model.isDragging())
        return;
    const float y = float(event->position().y());
    if (!m_inDragStep) {
        runDragSteps(y);
    } else if (m_inDragYield) {
        // A move queued behind the one being handled: its own step, without
        // a yield of its own, so the nesting stops here.
        m_inDragYield = false;
        syncSize();
        if (m_model.dragStep(y)) {
            UserControl_Paint();
            raiseChange();
        }
        m_inDragYield = true;
    } else {
        // Arrived while a Change handler yields: run it after that handler.
        m_pendingDragY = y;
    }
}

// Each step paints, lets pending events run, then raises Change, also when a
// release came in meanwhile. Moves that arrive while a Change handler runs
// are taken up by this loop rather than nesting deeper.
void RealvScroll::runDragSteps(float y)
{
    QPointer<RealvScroll> alive(this);
    m_inDragStep = true;
    std::optional<float> next = y;
    while (next && m_model.isDragging()) {
        m_pendingDragY.reset();
        syncSize();
        if (m_model.dragStep(*next)) {
            UserControl_Paint();
            m_inDragYield = true;
            QCoreApplication::processEvents();
            if (!alive)
                return;
            m_inDragYield = false;
            raiseChange();
            if (!alive)
                return;
        }
        next = m_pendingDragY;
    }
    m_pendingDragY.reset();
    m_inDragStep = false;
}

void RealvScroll::mouseReleaseEvent(QMouseEvent *event)
{
    short button = InputCodes::buttonCode(event->button());
    short shift = InputCodes::shiftState(event->modifiers());
    float x = float(event->position().x());
    float y = float(event->position().y());
    QPointer<RealvScroll> alive(this);
    emit MouseUp(button, shift, x, y);
    if (!alive)
        return;
    m_model.mouseRelease();
    syncTimer();
    event->accept();
}

void RealvScroll::keyPressEvent(QKeyEvent *event)
{
    const int16_t code = InputCodes::keyCode(event->key());
    m_model.keyPress(code);
    syncTimer();
    const bool ours = code == ScrollModel::kKeyPageUp || code == ScrollModel::kKeyPageDown
        || code == ScrollModel::kKeyUp || code == ScrollModel::kKeyDown;
    event->setAccepted(ours);
}

// Qt on X11 reports a held key as release/press pairs; only the real release
// ends the repeat, or a held Page Down would restart the timer on every
// auto-repeat and never reach a tick.
void RealvScroll::keyReleaseEvent(QKeyEvent *event)
{
    if (event->isAutoRepeat()) {
        event->ignore();
        return;
    }
    m_model.keyRelease();
    syncTimer();
}

void RealvScroll::focusInEvent(QFocusEvent *)
{
    m_focusFrameShown = true;
    update();
}

// The release of a key held while the focus leaves goes to another widget;
// without this the control would page on for ever.
void RealvScroll::focusOutEvent(QFocusEvent *)
{
    m_focusFrameShown = false;
    if (m_model.repeatMode() != ScrollModel::RepeatMouse) {
        m_model.keyRelease();
        syncTimer();
    }
    update();
}

// A control disabled or hidden under a held button never sees the release.
void RealvScroll::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        stopInput();
    QWidget::changeEvent(event);
}

void RealvScroll::hideEvent(QHideEvent *)
{
    stopInput();
}

void RealvScroll::stopInput()
{
    m_model.cancelInput();
    syncTimer();
}

void RealvScroll::Timer1_Timer()
{
    if (m_inTick)
        return;
    syncSize();
    const ScrollModel::TickResult result = m_model.tick();
    if (result != ScrollModel::TickResult::Stepped) {
        syncTimer();
        return;
    }
    QPointer<RealvScroll> alive(this);
    m_inTick = true;
    UserControl_Paint();
    syncTimer();
    raiseChange();
    if (!alive)
        return;
    m_inTick = false;
    m_model.finishTick();
    syncTimer();
}

// --- helpers ----------------------------------------------------------------

void RealvScroll::syncSize()
{
    m_model.setSurfaceSize(width(), height());
}

void RealvScroll::syncTimer()
{
    if (m_timer->interval() != m_model.timerInterval())
        m_timer->setInterval(m_model.timerInterval());
    if (m_model.isTimerEnabled() && !m_timer->isActive())
        m_timer->start();
    else if (!m_model.isTimerEnabled() && m_timer->isActive())
        m_timer->stop();
}

void RealvScroll::applyCursor()
{
    if (m_mousePointer == InputCodes::kCustomPointer) {
        if (m_mouseIcon)
            setCursor(*m_mouseIcon);
        else
            unsetCursor();
        return;
    }
    if (const auto shape = InputCodes::pointerShape(m_mousePointer))
        setCursor(*shape);
    else
        unsetCursor();
}
