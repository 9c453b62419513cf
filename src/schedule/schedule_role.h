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

// A console window's mark on a store, held for the window's whole life. The window needs the
// discovery port for everything it shows, a headless runner only to fire tasks: so a runner
// leaves the role (and the port) to any open window and takes it back when the last one ends.
// A shared flock: several windows may hold it at once.
class WindowMark {
  public:
    // "<store folder>/<store file name>.<application name, lower case>.window.lock".
    static std::filesystem::path PathFor(const std::filesystem::path& storeFile,
                                         std::string_view appName);
    // Whether some window holds the mark in `file` now.
    static bool Present(const std::filesystem::path& file);

    explicit WindowMark(std::filesystem::path file);  // takes the mark
    ~WindowMark();
    WindowMark(const WindowMark&) = delete;
    WindowMark& operator=(const WindowMark&) = delete;

    // False when the file could not be opened or locked: the window runs on unmarked.
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace vistrel
