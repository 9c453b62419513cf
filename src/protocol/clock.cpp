#include "protocol/clock.h"

#include <chrono>

namespace vistrel {

uint32_t SystemClock::TickMs() const {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int64_t SystemClock::Now() const {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

const SystemClock& SystemClock::Instance() {
    static const SystemClock clock;
    return clock;
}

}  // namespace vistrel
