// How long a test waits for something that, on any machine, comes within
// moments: long enough that only a hang runs it out, even under the
// sanitizers on a loaded machine, and short of the test runner's own limit.
#pragma once

#include <chrono>

namespace tvtest {

constexpr std::chrono::seconds HangGuard{60};
constexpr int HangGuardMs = 60000;

}  // namespace tvtest
