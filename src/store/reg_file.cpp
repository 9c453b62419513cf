#include "store/reg_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

namespace vistrel {

namespace {

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

RegFile::Identity FromStat(const struct stat& st) {
    RegFile::Identity id;
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtime = st.st_mtim;
    id.ctime = st.st_ctim;
    return id;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string TempPrefix(const std::filesystem::path& path) {
    return path.filename().string() + ".tmp.";
}

}  // namespace

bool RegFile::Identity::operator==(const Identity& o) const {
    if (exists != o.exists)
        return false;
    if (!exists)
        return true;
    return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
           ctime.tv_nsec == o.ctime.tv_nsec;
}

RegFile::RegFile(std::filesystem::path path) : path_(std::move(path)) {}

RegFile::~RegFile() {
    Unlock();
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

RegFile::Identity RegFile::Stat() const {
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0)
        return {};
    return FromStat(st);
}

bool RegFile::Read(std::string& text, Identity& identity, std::string* error) const {
    text.clear();
    identity = {};
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        if (error)
            *error = Errno("cannot open " + path_.string());
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        if (error)
            *error = Errno("cannot stat " + path_.string());
        ::close(fd);
        return false;
    }
    text.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (error)
                *error = Errno("cannot read " + path_.string());
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    identity = FromStat(st);
    return true;
}

bool RegFile::Lock(int timeoutMs, std::string* error) {
    if (locked_)
        return true;
    if (lockFd_ < 0) {
        std::error_code ec;
        std::filesystem::create_directories(path_.parent_path(), ec);
        const std::string lockPath = path_.string() + ".lock";
        lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (lockFd_ < 0) {
            if (error)
                *error = Errno("cannot open lock file " + lockPath);
            return false;
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto pause = std::chrono::microseconds(200);
    while (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            if (error)
                *error = Errno("cannot lock " + path_.string());
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            if (error)
                *error = "another process holds the lock of " + path_.string();
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
    locked_ = true;
    return true;
}

void RegFile::Unlock() {
    if (!locked_)
        return;
    ::flock(lockFd_, LOCK_UN);
    locked_ = false;
}

bool RegFile::Write(const std::string& text, Identity& identity, std::string* error) {
    const std::filesystem::path dir = path_.parent_path();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        if (error)
            *error = "cannot create " + dir.string() + ": " + ec.message();
        return false;
    }

    // Only lock holders create temporary files, so any we find belong to a dead writer.
    const std::string prefix = TempPrefix(path_);
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) {
                ::unlinkat(::dirfd(d), e->d_name, 0);
            }
        }
        ::closedir(d);
    }

    const std::filesystem::path temp = dir / (prefix + std::to_string(::getpid()));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (error)
            *error = Errno("cannot create " + temp.string());
        return false;
    }
    struct stat old {};
    if (::stat(path_.c_str(), &old) == 0)
        ::fchmod(fd, old.st_mode & 07777);
    if (!WriteAll(fd, text) || ::fsync(fd) != 0) {
        if (error)
            *error = Errno("cannot write " + temp.string());
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    ::close(fd);
    if (beforeRename)
        beforeRename();
    if (::rename(temp.c_str(), path_.c_str()) != 0) {
        if (error)
            *error = Errno("cannot replace " + path_.string());
        ::unlink(temp.c_str());
        return false;
    }
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    identity = Stat();
    return true;
}

bool RegFile::MoveAside(std::filesystem::path& aside, std::string* error) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tm);
    const std::string base = path_.string() + ".bad-" + stamp;
    for (int n = 0; n < 1000; ++n) {
        aside = n == 0 ? base : base + "-" + std::to_string(n);
        // link + unlink never replaces an earlier copy kept aside.
        if (::link(path_.c_str(), aside.c_str()) == 0) {
            ::unlink(path_.c_str());
            return true;
        }
        if (errno == EEXIST)
            continue;
        // Without hard links (some network or FUSE file systems) a rename has to do.
        if ((errno == EPERM || errno == ENOTSUP || errno == ENOSYS) &&
            ::access(aside.c_str(), F_OK) != 0 && ::rename(path_.c_str(), aside.c_str()) == 0) {
            return true;
        }
        break;
    }
    if (error)
        *error = Errno("cannot move " + path_.string() + " aside");
    return false;
}

std::filesystem::path DefaultRegistryPath() {
    std::filesystem::path base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !home[0]) {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        base = std::filesystem::path(home) / ".config";
    }
    return base / "Brightwerk" / "registry.reg";
}

}  // namespace vistrel
