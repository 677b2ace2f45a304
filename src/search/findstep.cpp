#include "findstep.h"

#include "chunksearch.h"
#include "mainmods.h"

#include <algorithm>

namespace FindState {
int64_t FindPos = 0;
} // namespace FindState

namespace FindStep {

int64_t viewStartFor(int64_t index)
{
    return index <= kLeadIn ? index : index - kLeadIn;
}

std::shared_ptr<const ByteSource> onDemandSource()
{
    // Bytes held in one block are searched at once; any other store is read
    // from the disk, which takes long enough to need the thread.
    if (MainMods::ByteBuffer.span())
        return nullptr;
    return MainMods::ByteBuffer.source();
}

int64_t begin(FindHost &host, const QByteArray &needle)
{
    using FindState::FindPos;
    if (needle != MainMods::LastFindText)
        FindPos = std::max<int64_t>(0, host.viewStart());
    MainMods::LastFindText = needle;
    return FindPos;
}

std::optional<int64_t> run(FindHost &host, const QByteArray &needle, bool caseMatch)
{
    const int64_t start = begin(host, needle);
    const ChunkSearch::Result result =
        ChunkSearch::find(MainMods::ByteBuffer, reinterpret_cast<const uint8_t *>(needle.constData()),
                          needle.size(), start, caseMatch);
    return finish(host, needle, result.status == ChunkSearch::Result::Found ? result.index : -1);
}

std::optional<int64_t> finish(FindHost &host, const QByteArray &needle, int64_t found)
{
    using FindState::FindPos;
    if (found < 0) {
        FindPos = 0;
        host.showReadout(notFoundText());
        host.findEnded(-1);
        return std::nullopt;
    }

    const int64_t index = found;
    FindPos = index + 1;
    host.setViewStart(viewStartFor(index));

    // The view may have stopped short of where it was asked to go (a short
    // buffer keeps the scroll range at 0..1), so paint from where it landed.
    const int64_t firstCell = index - host.viewStart();
    for (int64_t k = 0; k < needle.size(); ++k) {
        const int64_t cell = firstCell + k;
        if (cell < 0)
            continue;
        if (cell >= kCellCount)
            break;
        host.setCellBackColor(int(cell), kMatchColor);
    }
    host.findEnded(index);
    return index;
}

} // namespace FindStep
