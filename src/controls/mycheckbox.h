#pragma once
// myCheckBox: a small check box drawn from shapes, a 12 x 12 box at (1, 1)
// with a blue cross while Checked is not 0. It holds no caption and never
// changes its own value: clicks, keys and mouse actions are only passed on to
// the host, which decides what to set. Checked is a byte, not a flag: reading
// it returns exactly the value last written.
//
// Event arguments are passed by reference, so every handler sees the changes
// of the handlers before it; a KeyAscii set to 0 discards the key (it is not
// passed on to the parent widget).
#include "propertybag.h"

#include <QWidget>
#include <cstdint>

class myCheckBox : public QWidget
{
    Q_OBJECT
public:
    explicit myCheckBox(QWidget *parent = nullptr);

    uint8_t Checked() const;
    // Stores the value, shows or hides the cross, then raises
    // PropertyChanged("Checked"), also when the value is unchanged.
    void setChecked(uint8_t New_Checked);

    // Repaints the control at once.
    void Refresh();

    // Design-time properties. ReadProperties returns false, leaving the value
    // as it was, when the stored "Checked" is not a byte.
    void InitProperties();
    bool ReadProperties(const PropertyBag &bag);
    void WriteProperties(PropertyBag &bag) const;

    QSize sizeHint() const override;

signals:
    void Click();
    void KeyDown(short &KeyCode, short &Shift);
    void KeyPress(short &KeyAscii);
    void KeyUp(short &KeyCode, short &Shift);
    void MouseDown(short &Button, short &Shift, float &X, float &Y);
    void MouseMove(short &Button, short &Shift, float &X, float &Y);
    void MouseUp(short &Button, short &Shift, float &X, float &Y);
    // The host's notice that a design-time property was written.
    void PropertyChanged(const QString &name);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    uint8_t m_checked = 0;
    // A left press on the control, so that its release there is a click.
    bool m_leftPressed = false;
};
