#pragma once
// RealvScroll: a self-drawn vertical scroll bar. It reports a position, Value,
// inside ValueMin..ValueMax, raises Change after every change of position and
// MouseUp on every button release over it. All arithmetic (thumb placement,
// thumb length, shades, drag and tick steps) lives in ScrollModel; this widget
// only turns Qt input into model calls and paints the model's state.
//
// Invariant: after any user interaction ValueMin <= Value <= ValueMax. The
// Value setter caps at ValueMax but stores a value below ValueMin unchanged.
#include "propertybag.h"
#include "scrollmodel.h"

#include <QCursor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <optional>

class QTimer;

// What the bar's position means to its host, when Value stands for something
// wider than a 32-bit Value can hold (a host may map a larger range onto the
// bar). Assistive technology reads and sets the bar in these numbers.
class RealvScrollPosition
{
public:
    virtual ~RealvScrollPosition() = default;
    virtual qint64 position() const = 0;
    virtual qint64 minimumPosition() const = 0;
    virtual qint64 maximumPosition() const = 0;
    virtual qint64 positionStep() const = 0;
    // Moves the bar to stand for `position`, already within the range.
    virtual void setPosition(qint64 position) = 0;
};

class RealvScroll : public QWidget
{
    Q_OBJECT
    Q_CLASSINFO("BackColor", "Returns/sets the background color used to display text and graphics in an object.")
    Q_CLASSINFO("Enabled", "Returns/sets a value that determines whether an object can respond to user-generated events.")
    Q_CLASSINFO("Refresh", "Forces a complete repaint of a object.")
    Q_CLASSINFO("MousePointer", "Returns/sets the type of mouse pointer displayed when over part of an object.")
    Q_CLASSINFO("MouseIcon", "Sets a custom mouse icon.")
    Q_CLASSINFO("MouseUp", "Occurs when the user releases the mouse button while an object has the focus.")
public:
    explicit RealvScroll(QWidget *parent = nullptr);
    ~RealvScroll() override;

    // 25 x 299 pixels, the size the main window gives it.
    QSize sizeHint() const override;

    // Colours are &HBBGGRR values, as stored in a design.
    uint32_t BackColor() const;
    void setBackColor(uint32_t New_BackColor);

    int32_t ValueMax() const;
    void setValueMax(int32_t New_ValueMax);

    int32_t Value() const;
    void setValue(int32_t New_Value);

    bool Enabled() const;
    void setEnabled(bool New_Enabled);

    // Full redraw, then an immediate repaint of the surface.
    void Refresh();

    int16_t MousePointer() const;
    void setMousePointer(int16_t New_MousePointer);

    QCursor MouseIcon() const;
    void setMouseIcon(const QCursor &New_MouseIcon);

    int32_t ValueMin() const;
    void setValueMin(int32_t New_ValueMin);

    int32_t ValueLargeChange() const;
    void setValueLargeChange(int32_t New_ValueLargeChange);

    int32_t ValueSmallChange() const;
    void setValueSmallChange(int32_t New_ValueSmallChange);

    // The host's meaning of the position, or null (the default): Value itself.
    // Not owned; the host keeps it alive as long as the bar.
    void setPositionSource(RealvScrollPosition *source);
    RealvScrollPosition *positionSource() const { return m_positionSource; }

    // Design-time properties: a new instance, loading a stored design, and
    // storing it. ReadProperties returns false when a stored value cannot be
    // converted; the names read before it keep their loaded values.
    void InitProperties();
    bool ReadProperties(const PropertyBag &bag);
    void WriteProperties(PropertyBag &bag) const;

signals:
    // Raised on every button release over the control, before the control ends
    // its own drag or auto-repeat. Arguments are passed by reference.
    void MouseUp(short &Button, short &Shift, float &X, float &Y);
    // Raised after every change of position (even to the same value).
    void Change();
    // The property-changed notice: a design-time property was set.
    void PropertyChanged(const QString &name);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // The full redraw: shades, background picture, thumb length and place.
    void UserControl_Resize();
    // The paint routine, run at once (background picture plus the thumb).
    void UserControl_Paint();
    void Timer1_Timer();
    void runDragSteps(float y);
    void stopInput();
    void syncSize();
    void syncTimer();
    void applyCursor();
    void raiseChange();

    ScrollModel m_model;
    QImage m_background;
    QTimer *m_timer = nullptr; // Timer1
    uint32_t m_backColor = 0xFFFFFF;
    int16_t m_mousePointer = 0;
    std::optional<QCursor> m_mouseIcon;
    bool m_focusFrameShown = false; // CurrentSet
    RealvScrollPosition *m_positionSource = nullptr;
    // Re-entry through the event processing of a drag step or of a Change
    // handler: a move during the step's own yield runs without yielding, a
    // move during Change is taken up by the running drag loop, and a tick
    // during a tick's Change is dropped (the timer fires again), so handlers
    // never nest more than one level deep.
    bool m_inDragStep = false;
    bool m_inDragYield = false;
    std::optional<float> m_pendingDragY;
    bool m_inTick = false;
};
