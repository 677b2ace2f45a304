#pragma once
// The maker's address and the About lines, kept in one place.
#include <QString>

namespace About {
inline const QString kWebAddress = QStringLiteral("https://www.veltrano.example/");
inline const QString kVersionLine = QStringLiteral("Veltrano Editor V1.01");
inline const QString kWebLine = QStringLiteral("More software from Veltrano at www.veltrano.example");
} // namespace About
