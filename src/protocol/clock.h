// Time as the console's logic sees it, injectable so that tests are exact.
#pragma once

#include <cstdint>

namespace vistrel {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds of a monotonic counter that wraps at 2^32.
    virtual uint32_t TickMs() const = 0;
    // Seconds since 1970-01-01 00:00:00 UTC.
    virtual int64_t Now() const = 0;
};

class SystemClock final : public Clock {
public:
    uint32_t TickMs() const override;
    int64_t Now() const override;
    static const SystemClock& Instance();
};

}  // namespace vistrel
