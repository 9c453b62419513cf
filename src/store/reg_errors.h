// Result codes of the key store's low-level operations. The values are those of the
// registry API the store imitates, so callers that pass them on report familiar numbers.
#pragma once

#include <cstdint>

namespace vistrel {

inline constexpr long kRegSuccess = 0;
inline constexpr long kRegFileNotFound = 2;
inline constexpr long kRegAccessDenied = 5;  // e.g. deleting a key that still has subkeys
inline constexpr long kRegInvalidHandle = 6;
inline constexpr long kRegInvalidName = 123;  // a name the store refuses (see IsValidKeyName)
inline constexpr long kRegMoreData = 234;     // name does not fit the enumeration buffer
inline constexpr long kRegNoMoreItems = 259;  // enumeration index past the end
inline constexpr long kRegWriteFault = 29;    // the backing file could not be written
inline constexpr long kRegKeyDeleted = 1018;  // the key behind a handle no longer exists

}  // namespace vistrel
