// Monotonic time for the native benchmarks. (<chrono> cannot be used: its
// unit suffixes do not exist in the GBK execution character set.)
#pragma once

#include <time.h>

namespace quillane::bench {

inline double NowMillis() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

inline double NowMicros() { return NowMillis() * 1e3; }

}  // namespace quillane::bench
