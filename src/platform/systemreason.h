#pragma once
// The system's own words for an errno value, as the reason a file operation
// failed. One place, so that every message says it the same way.
#include <QString>

QString systemReason(int error);
