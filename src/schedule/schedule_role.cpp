#include "schedule/schedule_role.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace vistrel {

namespace {

// "<store file>.<application name, lower case>.<suffix>": application keys compare without
// regard to case, so "Vistrel" and "vistrel" are one key.
std::filesystem::path BesideStore(const std::filesystem::path& storeFile, std::string_view appName,
                                  std::string_view suffix) {
    std::string app(appName);
    std::transform(app.begin(), app.end(), app.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::filesystem::path file = storeFile;
    file += "." + app + "." + std::string(suffix);
    return file;
}

}  // namespace

std::filesystem::path ScheduleRole::LockPathFor(const std::filesystem::path& storeFile,
                                                std::string_view appName) {
    return BesideStore(storeFile, appName, "schedule.lock");
}

ScheduleRole::ScheduleRole(std::filesystem::path lockFile, std::string holderName)
    : lockFile_(std::move(lockFile)), holderName_(std::move(holderName)) {}

ScheduleRole::~ScheduleRole() {
    Release();
}

bool ScheduleRole::TryAcquire() {
    if (Held())
        return true;
    std::error_code ec;
    if (lockFile_.has_parent_path())
        std::filesystem::create_directories(lockFile_.parent_path(), ec);
    const int fd = ::open(lockFile_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        lastError_ = "cannot open " + lockFile_.string() + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            lastError_ = "cannot lock " + lockFile_.string() + ": " + std::strerror(errno);
        }
        ::close(fd);
        return false;
    }
    fd_ = fd;
    lastError_.clear();
    const std::string text = holderName_ + " (pid " + std::to_string(::getpid()) + ")\n";
    // The description is only informative: a failed write leaves the role held.
    if (::ftruncate(fd_, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd_, text.data(), text.size(), 0);
    }
    return true;
}

void ScheduleRole::Release() {
    if (fd_ < 0)
        return;
    // Emptied before unlocking, so a reader never names a holder that has gone.
    [[maybe_unused]] const int truncated = ::ftruncate(fd_, 0);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

std::string ScheduleRole::Holder() const {
    const int fd = ::open(lockFile_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    // A holder that died leaves its text behind but not its lock.
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
        ::close(fd);
        return {};
    }
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n <= 0)
        return {};
    std::string text(buffer, static_cast<size_t>(n));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

std::filesystem::path WindowMark::PathFor(const std::filesystem::path& storeFile,
                                          std::string_view appName) {
    return BesideStore(storeFile, appName, "window.lock");
}

bool WindowMark::Present(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;  // no window has ever marked this store
    const bool present = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // also drops the probe's own lock
    return present;
}

WindowMark::WindowMark(std::filesystem::path file) {
    std::error_code ec;
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path(), ec);
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // Blocking: the only exclusive holder is a runner's momentary probe.
    int locked = -1;
    while (fd_ >= 0 && (locked = ::flock(fd_, LOCK_SH)) != 0 && errno == EINTR) {
    }
    if (fd_ >= 0 && locked != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

WindowMark::~WindowMark() {
    if (fd_ >= 0)
        ::close(fd_);
}

}  // namespace vistrel
