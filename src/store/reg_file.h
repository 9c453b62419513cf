// The file behind the store: whole-file reads, atomic replacement (temporary file in the
// same folder, fsync, rename, fsync of the folder) and an advisory lock shared by every
// process that uses the same file.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

namespace vistrel {

class RegFile {
  public:
    // What identifies one version of the file: a rename gives a new inode, an edit in
    // place a new size or modification/change time (nanoseconds).
    struct Identity {
        bool exists = false;
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        timespec mtime{};
        timespec ctime{};
        bool operator==(const Identity& o) const;
    };

    explicit RegFile(std::filesystem::path path);
    ~RegFile();
    RegFile(const RegFile&) = delete;
    RegFile& operator=(const RegFile&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    Identity Stat() const;
    // Reads the whole file and the identity of what was read. A missing file yields an
    // empty text with `exists` false. False (with a message) on a read error.
    bool Read(std::string& text, Identity& identity, std::string* error) const;

    // Takes the advisory lock (flock on "<file>.lock"), waiting at most `timeoutMs`.
    bool Lock(int timeoutMs, std::string* error);
    void Unlock();
    bool Locked() const { return locked_; }

    // Replaces the file atomically with `text`. Call with the lock held. Leftover
    // temporary files of writers that died are removed first.
    bool Write(const std::string& text, Identity& identity, std::string* error);

    // Renames the file to "<file>.bad-<UTC time>[-n]" and returns that path.
    bool MoveAside(std::filesystem::path& aside, std::string* error);

    // Test hook: runs after the temporary file is written and synced, before the rename.
    std::function<void()> beforeRename;

  private:
    std::filesystem::path path_;
    int lockFd_ = -1;
    bool locked_ = false;
};

// ${XDG_CONFIG_HOME:-~/.config}/Brightwerk/registry.reg
std::filesystem::path DefaultRegistryPath();

}  // namespace vistrel
