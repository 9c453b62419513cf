// Which program fires the scheduled tasks of one store. Tasks must fire once, yet the
// console window and a headless runner may both be running on the same store: the first
// to take the role holds it until it ends (or releases it), and the others leave the firing
// to it and try again later. The role is an exclusive flock on a small file next to the
// store, so it passes on by itself when its holder ends, however it ends.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vistrel {

class ScheduleRole {
  public:
    // The lock file of the role for one store file and application key:
    // "<store folder>/<store file name>.<application name, lower case>.schedule.lock".
    static std::filesystem::path LockPathFor(const std::filesystem::path& storeFile,
                                             std::string_view appName);

    // `holderName` says who holds the role while this object does ("console window",
    // "vistrel-cli run-schedules"); others read it in Holder().
    ScheduleRole(std::filesystem::path lockFile, std::string holderName);
    ~ScheduleRole();  // releases
    ScheduleRole(const ScheduleRole&) = delete;
    ScheduleRole& operator=(const ScheduleRole&) = delete;

    // Takes the role when nobody holds it. True when this object holds it, already or now.
    // Never waits. False too when the lock file cannot be opened (see LastError).
    bool TryAcquire();
    bool Held() const { return fd_ >= 0; }
    void Release();

    // The holder's own description, "<name> (pid N)", as it wrote it; empty when the role
    // is free or the holder has not written it yet.
    std::string Holder() const;
    const std::filesystem::path& LockFile() const { return lockFile_; }
    const std::string& LastError() const { return lastError_; }

  private:
    std::filesystem::path lockFile_;
    std::string holderName_;
    int fd_ = -1;
    std::string lastError_;
};

}  // namespace vistrel
