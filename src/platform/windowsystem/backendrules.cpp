#include "backendrules.h"

namespace BackendRules {

QString firstCodePoints(const QString &text, int count)
{
    qsizetype end = 0;
    int taken = 0;
    while (end < text.size() && taken < count) {
        end += (text.at(end).isHighSurrogate() && end + 1 < text.size()
                && text.at(end + 1).isLowSurrogate())
            ? 2
            : 1;
        ++taken;
    }
    return text.left(end);
}

} // namespace BackendRules
