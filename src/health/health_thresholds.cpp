#include "health/health_thresholds.h"

namespace vistrel {

namespace {

bool InRange(uint32_t value, uint32_t low, uint32_t high) {
    return value >= low && value <= high;
}

}  // namespace

std::string CheckHealthThresholds(const HealthThresholds& t) {
    const std::string lampRange =
        std::to_string(kMinLampThreshold) + " and " + std::to_string(kMaxLampThreshold);
    if (!InRange(t.lampWarningHours, kMinLampThreshold, kMaxLampThreshold))
        return "The lamp warning threshold must be between " + lampRange + " hours.";
    if (!InRange(t.lampCriticalHours, kMinLampThreshold, kMaxLampThreshold))
        return "The lamp critical threshold must be between " + lampRange + " hours.";
    if (t.lampCriticalHours < t.lampWarningHours)
        return "The lamp critical threshold must not be below the warning threshold.";
    if (!InRange(t.notAnsweringSeconds, kMinNotAnsweringSeconds, kMaxNotAnsweringSeconds)) {
        return "The not-answering time must be between " + std::to_string(kMinNotAnsweringSeconds) +
               " and " + std::to_string(kMaxNotAnsweringSeconds) + " seconds.";
    }
    return {};
}

HealthThresholds SanitizeHealthThresholds(HealthThresholds t) {
    const HealthThresholds defaults;
    if (!InRange(t.lampWarningHours, kMinLampThreshold, kMaxLampThreshold))
        t.lampWarningHours = defaults.lampWarningHours;
    if (!InRange(t.lampCriticalHours, kMinLampThreshold, kMaxLampThreshold))
        t.lampCriticalHours = defaults.lampCriticalHours;
    if (t.lampCriticalHours < t.lampWarningHours) {
        t.lampWarningHours = defaults.lampWarningHours;
        t.lampCriticalHours = defaults.lampCriticalHours;
    }
    if (!InRange(t.notAnsweringSeconds, kMinNotAnsweringSeconds, kMaxNotAnsweringSeconds))
        t.notAnsweringSeconds = defaults.notAnsweringSeconds;
    return t;
}

HealthThresholds LoadHealthThresholds(RegStore& store) {
    const HealthThresholds defaults;
    HealthThresholds t;
    t.lampWarningHours = store.GetAppDword(kLampWarningValue, defaults.lampWarningHours);
    t.lampCriticalHours = store.GetAppDword(kLampCriticalValue, defaults.lampCriticalHours);
    t.notAnsweringSeconds = store.GetAppDword(kNotAnsweringValue, defaults.notAnsweringSeconds);
    return SanitizeHealthThresholds(t);
}

int SaveHealthThresholds(RegStore& store, const HealthThresholds& t) {
    if (!CheckHealthThresholds(t).empty())
        return 0;
    // One batch: another process never reads a warning threshold above the critical one.
    RegStore::Batch batch(store);
    if (!batch.Ok())
        return 0;
    if (store.SetAppDword(kLampWarningValue, t.lampWarningHours) == 0 ||
        store.SetAppDword(kLampCriticalValue, t.lampCriticalHours) == 0 ||
        store.SetAppDword(kNotAnsweringValue, t.notAnsweringSeconds) == 0) {
        return 0;
    }
    return batch.Commit() ? 1 : 0;
}

}  // namespace vistrel
