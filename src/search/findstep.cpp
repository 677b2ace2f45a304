#include "findstep.h"

#include "bytesearch.h"
#include "mainmods.h"

#include <algorithm>

namespace FindState {
int32_t FindPos = 0;
} // namespace FindState

namespace FindStep {

int32_t viewStartFor(int32_t index)
{
    return index <= kLeadIn ? index : index - kLeadIn;
}

std::optional<int32_t> run(FindHost &host, const QByteArray &needle, bool caseMatch)
{
    using FindState::FindPos;
    const ByteStore &buffer = MainMods::ByteBuffer;

    if (needle != MainMods::LastFindText)
        FindPos = std::max<int32_t>(0, host.viewStart());
    MainMods::LastFindText = needle;

    const int64_t start = FindPos;
    int64_t found = -1;
    if (start < buffer.size()) {
        found = findBytes(buffer.data(), size_t(buffer.size()),
                          reinterpret_cast<const uint8_t *>(needle.constData()),
                          size_t(needle.size()), size_t(start), caseMatch);
    }
    if (found < 0) {
        FindPos = 0;
        host.showReadout(notFoundText());
        return std::nullopt;
    }

    // found < buffer.size() <= INT32_MAX, so found + 1 fits.
    const auto index = static_cast<int32_t>(found);
    FindPos = index + 1;
    host.setViewStart(viewStartFor(index));

    // The view may have stopped short of where it was asked to go (a short
    // buffer keeps the scroll range at 0..1), so paint from where it landed.
    const int64_t firstCell = int64_t(index) - host.viewStart();
    for (int64_t k = 0; k < needle.size(); ++k) {
        const int64_t cell = firstCell + k;
        if (cell < 0)
            continue;
        if (cell >= kCellCount)
            break;
        host.setCellBackColor(int(cell), kMatchColor);
    }
    return index;
}

} // namespace FindStep
