#pragma once

#include <QStringView>
#include <optional>

// The longest interval a refresh timer holds: 65535 ms.
constexpr int kMaxRefreshMs = 65535;

// The auto-refresh interval typed as seconds, in whole milliseconds (2.5 gives 2500).
// Text without a number, a negative number or more than 65.535 seconds gives nothing.
std::optional<int> refreshIntervalMs(QStringView secondsText);
