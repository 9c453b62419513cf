// What the console remembers about PJLink projectors: the addresses added by hand and the
// groups it keeps for them (PJLink has no groups), in the store under value names of their
// own; and the passwords, in a file of their own (mode 0600) beside the store, never in it.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/reg_store.h"

namespace vistrel::pjlink {

// Application-key values: "PJLinkProjectors" (addresses separated by spaces) and one
// "PJLinkGroup <address>" per projector with a group.
std::vector<std::pair<std::string, std::string>> LoadProjectors(RegStore& store);
// Adds (or regroups) one projector; false when the store could not be written.
bool SaveProjector(RegStore& store, const std::string& ip, const std::string& group);
// Forgets one projector (its group too); false when the store could not be written.
bool RemoveProjector(RegStore& store, const std::string& ip);

// The passwords file: a fleet-wide password and per-address ones. Thread-safe.
class Passwords {
  public:
    // "<config dir>/Brightwerk/pjlink-passwords".
    static std::filesystem::path DefaultPath(const std::filesystem::path& registryFile);

    explicit Passwords(std::filesystem::path file) : file_(std::move(file)) {}
    // Reads the file again; a missing file is an empty one. False (with `error`) when it
    // exists but cannot be read, or others may read it (then it is not used).
    bool Load(std::string* error = nullptr);
    // The projector's own password, else the fleet-wide one, else empty.
    std::string For(const std::string& ip) const;
    // Which of them For() gives, for listings that must not show the password itself.
    bool HasOwn(const std::string& ip) const;
    bool HasFleet() const;
    // Empty `ip`: the fleet-wide password. An empty password removes it. Written at once
    // (mode 0600, atomically). False with `error` on a password PJLink cannot carry, an
    // existing file that cannot be read (it is left as it is) or a failed write.
    bool Set(const std::string& ip, const std::string& password, std::string* error = nullptr);

  private:
    bool LoadLocked(std::string* error);

    mutable std::mutex mutex_;  // the polling reads while a dialog may set
    std::filesystem::path file_;
    std::string fleet_;
    std::map<std::string, std::string> byAddress_;
};

}  // namespace vistrel::pjlink
