#pragma once
// What the desktop backends share so that they answer alike: how long one
// public call may take, and how a caption is cut to the caller's bound.
#include <QString>

#include <chrono>

namespace BackendRules {

using Clock = std::chrono::steady_clock;

// A whole operation (one public call) gets this long, however many round
// trips it makes.
constexpr std::chrono::milliseconds kOperationTimeout{3000};

// The first `count` characters (code points, never half a surrogate pair).
QString firstCodePoints(const QString &text, int count);

} // namespace BackendRules
