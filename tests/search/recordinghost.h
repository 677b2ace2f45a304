#pragma once
// A FindHost that records what the find step does to the main window. It
// caps the view start the way the main window's scroll bar does: at the
// buffer's upper bound when the buffer is longer than a page, else at 1.
#include "findhost.h"
#include "mainmods.h"

#include <QList>
#include <QMap>
#include <QStringList>
#include <QTest>
#include <algorithm>

class RecordingHost : public FindHost
{
public:
    int64_t value = 0;
    QMap<int, uint32_t> colours; // cell -> colour since the last repaint
    QList<int64_t> viewsSet;     // the view start after each setViewStart
    QStringList readouts;
    QList<int64_t> findsEnded; // the match each Find ended on, -1 for none

    // As the main window does: a buffer that fits one page never scrolls (the
    // scroll bar is hidden, so a view moved off 0 could not come back).
    int64_t valueMax() const
    {
        const DocumentFile &b = MainMods::ByteBuffer;
        return b.size() > 1600 ? b.upperBound() : 0;
    }

    int64_t viewStart() const override { return value; }
    void setViewStart(int64_t v) override
    {
        value = std::clamp<int64_t>(v, 0, valueMax());
        colours.clear(); // the repaint drops every colouring
        viewsSet.append(value);
    }
    void setCellBackColor(int cell, uint32_t bgr) override
    {
        if (cell >= 0 && cell < 1600)
            colours[cell] = bgr;
    }
    void showReadout(const QString &text) override { readouts.append(text); }
    void findEnded(int64_t match) override { findsEnded.append(match); }

    // Cells painted pure red, in order.
    QList<int> redCells() const
    {
        QList<int> cells;
        for (auto it = colours.cbegin(); it != colours.cend(); ++it)
            if (it.value() == 0x0000FF)
                cells.append(it.key());
        return cells;
    }
};

// Fills MainMods::ByteBuffer with `size` bytes of `filler` and writes `text` at `at`.
inline void setBuffer(int size, char filler, int at = 0, const QByteArray &text = {})
{
    QVERIFY(MainMods::ByteBuffer.allocate(size));
    for (int i = 0; i < size; ++i)
        MainMods::ByteBuffer[i] = uint8_t(filler);
    for (int i = 0; i < text.size(); ++i)
        MainMods::ByteBuffer[at + i] = uint8_t(text[i]);
}

inline QList<int> cellRange(int first, int count)
{
    QList<int> cells;
    for (int k = 0; k < count; ++k)
        cells.append(first + k);
    return cells;
}
