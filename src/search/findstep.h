#pragma once
// One press of Find, apart from the dialog: searches MainMods::ByteBuffer in
// place for the given bytes, moves the host's view to the match and paints
// the cells that show it. The search state lives here rather than in the
// dialog, so that closing the dialog does not restart the search.
#include "bytesource.h"
#include "findhost.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

namespace FindState {

// One-based position of the previous match, 0 when there is none (at start
// and after a search that found nothing). A Find with the same bytes as
// MainMods::LastFindText starts at index FindPos, one byte after that match;
// after nothing was found that is the first byte, so the search wraps.
extern int64_t FindPos;

} // namespace FindState

namespace FindStep {

// The readout shown when a search reaches the end of the buffer without a match.
inline QString notFoundText() { return QStringLiteral("Not found"); }

// Cells of the grid, and how many bytes before a match stay in view above it.
constexpr int kCellCount = 1600;
constexpr int kLeadIn = 9;
constexpr uint32_t kMatchColor = 0x0000FF; // &HBBGGRR pure red

// Runs one search step for `needle` (the exact bytes to find) and returns the
// index of the match, or nothing when there is none from the start index to
// the end of the buffer. A needle different from MainMods::LastFindText
// (bytes compared exactly) starts at the first byte in view. An empty needle
// counts as found at the start index, so each Find moves the view one byte.
std::optional<int64_t> run(FindHost &host, const QByteArray &needle, bool caseMatch);

// run() in two halves, for a search that runs beside the window: begin()
// settles where the search starts (and records the needle), finish() takes
// the match (or -1) and shows it as run() does.
int64_t begin(FindHost &host, const QByteArray &needle);
std::optional<int64_t> finish(FindHost &host, const QByteArray &needle, int64_t found);

// The buffer when it is read on demand, which is searched beside the window
// rather than by run(); nullptr when it is held in memory.
std::shared_ptr<const ByteSource> onDemandSource();

// The view start that brings a match at `index` into view: the match in
// cell 0 near the start of the buffer, else in cell kLeadIn.
int64_t viewStartFor(int64_t index);

} // namespace FindStep
