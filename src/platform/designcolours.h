#pragma once
// The palette of a window whose background colour the design fixes. Text
// drawn straight on that background (labels, check boxes) must not follow
// the desktop's palette: a dark theme's light text on the design's pale
// background is unreadable. Everything the design leaves to the system
// (buttons, lists, text boxes) keeps the system's own matching pair.
#include <QColor>
#include <QPalette>

namespace DesignColours {

// &HFFC0C0, the background of every window of the program.
inline QColor windowBackground()
{
    return QColor(192, 192, 255);
}

// base with the window background set to background and the text on it
// black; disabled text a dark grey that still reads on the pale colour.
inline QPalette onBackground(QPalette base, const QColor &background)
{
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        base.setColor(group, QPalette::Window, background);
        base.setColor(group, QPalette::WindowText, group == QPalette::Disabled ? QColor(80, 80, 80) : Qt::black);
    }
    return base;
}

} // namespace DesignColours
