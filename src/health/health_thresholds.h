// When a projector needs attention: the lamp hours that warn and that are critical, and how
// long a projector may stay silent before it counts as not answering. Kept as DWORD values
// of the console's application key, beside "Interval".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store/reg_store.h"

namespace vistrel {

inline constexpr std::string_view kLampWarningValue = "HealthLampWarningHours";
inline constexpr std::string_view kLampCriticalValue = "HealthLampCriticalHours";
inline constexpr std::string_view kNotAnsweringValue = "HealthNotAnsweringSeconds";

// Projectors report lamp hours in four digits, so a threshold above 9999 could never be passed.
inline constexpr uint32_t kMinLampThreshold = 1;
inline constexpr uint32_t kMaxLampThreshold = 9999;
inline constexpr uint32_t kMinNotAnsweringSeconds = 10;
inline constexpr uint32_t kMaxNotAnsweringSeconds = 24 * 60 * 60;

struct HealthThresholds {
    uint32_t lampWarningHours = 3000;
    uint32_t lampCriticalHours = 4000;
    uint32_t notAnsweringSeconds = 120;

    bool operator==(const HealthThresholds&) const = default;
};

// Empty when the thresholds can be used; otherwise what is wrong, in words for the operator.
std::string CheckHealthThresholds(const HealthThresholds& thresholds);

// `raw` with every value that is out of range or inconsistent replaced by its default.
HealthThresholds SanitizeHealthThresholds(HealthThresholds raw);

// The stored thresholds. A value that is missing, out of range or inconsistent (a critical
// lamp threshold below the warning one, typed into the file by hand) gives its default, so
// a damaged setting never silences every alert. Reading creates nothing.
HealthThresholds LoadHealthThresholds(RegStore& store);
// Stores all three at once; 1 on success, 0 when CheckHealthThresholds refuses them or the
// store could not be written.
int SaveHealthThresholds(RegStore& store, const HealthThresholds& thresholds);

}  // namespace vistrel
