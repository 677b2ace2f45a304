#pragma once
// The texts the main window shows about a byte: the selection readout above
// the grid and each cell's hover tip. Positions are one-based for the user.
#include <QString>
#include <cstdint>

namespace Readout {

// Decimal without leading zeros; hexadecimal in upper case, no prefix.
inline QString decimal(int64_t v) { return QString::number(v); }
inline QString hexadecimal(int64_t v) { return QString::number(v, 16).toUpper(); }

// "Byte : 166 Hex : A6" for the byte at index 165.
inline QString selection(int64_t index)
{
    const int64_t pos = index + 1;
    return QStringLiteral("Byte : ") + decimal(pos) + QStringLiteral(" Hex : ") + hexadecimal(pos);
}

// "Position 1, Asc 77, Hex 4D" for the byte 77 at index 0.
inline QString cellTip(int64_t index, uint8_t byte)
{
    return QStringLiteral("Position ") + decimal(index + 1) + QStringLiteral(", Asc ")
        + decimal(byte) + QStringLiteral(", Hex ") + hexadecimal(byte);
}

} // namespace Readout
