// Monotonic time in microseconds: every deadline of the simulator is measured on it.
#ifndef UNIT_SIM_CLOCK_H
#define UNIT_SIM_CLOCK_H

#include <chrono>
#include <cstdint>
#include <limits>

constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

inline int64_t nowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

#endif
