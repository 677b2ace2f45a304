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

#include <QCursor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>

class QTimer;

class RealvScroll : public QWidget
{
    Q_OBJECT
public:
    explicit RealvScroll(QWidget *parent = nullptr);
    ~RealvScroll() override;

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

private:
    // Members (the ScrollModel, the surface image, Timer1, CurrentSet) follow.
};
