// The console's persistent state, laid out as registry keys under
// HKEY_CURRENT_USER\Software\Brightwerk\<application name> and kept in one text file
// (see reg_text.h). The operations and their result values follow the registry-based
// original so that every caller sees the same contract; none throws.
//
// Names: a group or MAC text is one key name. Names the tree cannot hold are refused with
// the operation's failure value: empty, containing a backslash (it would nest keys),
// control characters (line breaks would split the file's lines), invalid UTF-8, or longer
// than 255 bytes. Quotes and ']' are fine. Key names compare without regard to case.
//
// Reads never create anything: a missing key or value yields the default and the file is
// left as it is, so projectors that only answered discovery leave no trace. Keys are
// created when something is written under them.
//
// Sharing: several processes may use one file. Every change is a read-modify-write under
// an advisory lock, written atomically; a change made elsewhere is picked up before the
// next operation. Wrap many operations in a Batch to take the lock once and write at most
// once. Problems (a damaged file moved aside, a failed write) are kept in LastError() and
// passed to the error handler; they never stop the console.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/clock.h"
#include "protocol/records.h"
#include "store/reg_errors.h"
#include "store/reg_file.h"
#include "store/reg_tree.h"

namespace vistrel {

// Group key kinds.
inline constexpr int kGroupKeyRoot = 1;       // \Group\<name>
inline constexpr int kGroupKeyProjector = 2;  // \Group\<name>\Projector
inline constexpr int kGroupKeyNetwork = 3;    // \Group\<name>\Network
inline constexpr int kGroupKeyAlert = 4;      // \Group\<name>\Alert
inline constexpr int kGroupKeyScheduler = 5;  // \Group\<name>\Scheduler<index>
// Projector key kinds.
inline constexpr int kProjectorKeyRoot = 1;       // \Projector\<mac>
inline constexpr int kProjectorKeyScheduler = 2;  // \Projector\<mac>\Scheduler<index>

inline constexpr std::string_view kMakerWord = "Brightwerk";
inline constexpr std::string_view kAllProjectorsGroup = "All Projectors";
// Enumeration sees names of at most this many bytes (a 60-byte buffer with terminator).
inline constexpr size_t kEnumNameLimit = 59;

// An open key. Owned by the caller; closing only forgets it. It names a path, so a key
// deleted by someone else makes later operations on the handle fail with kRegKeyDeleted.
class RegKey {
  public:
    RegKey() = default;
    explicit RegKey(std::vector<std::string> path) : path_(std::move(path)), open_(true) {}
    explicit operator bool() const { return open_; }
    void Close() { open_ = false; }
    const std::vector<std::string>& Path() const { return path_; }

  private:
    friend class RegStore;
    std::vector<std::string> path_;
    bool open_ = false;
    // Where the key was last found, valid while the store's tree generation is unchanged.
    mutable const void* owner_ = nullptr;
    mutable RegNode* node_ = nullptr;
    mutable uint64_t generation_ = 0;
};

class RegStore {
  public:
    // `file`: the backing file (DefaultRegistryPath() for the real console). `appName`:
    // the application name, normally AppNameFromExecutable(argv[0]).
    RegStore(std::filesystem::path file, std::string appName,
             const Clock& clock = SystemClock::Instance());
    ~RegStore();
    RegStore(const RegStore&) = delete;
    RegStore& operator=(const RegStore&) = delete;

    // The executable's file name without folder and extension.
    static std::string AppNameFromExecutable(std::string_view argv0);
    // "Software\\Brightwerk\\" + application name.
    static std::string AppKeyPathFor(std::string_view appName);
    const std::string& AppKeyPath() const { return appKeyPath_; }
    const std::filesystem::path& FilePath() const { return file_.Path(); }

    RegKey OpenAppKey();
    uint32_t GetAppDword(std::string_view name, uint32_t defaultValue);
    int SetAppDword(std::string_view name, uint32_t value);
    // Text values (REG_SZ) of the application key, for settings that are not numbers.
    // nullopt when absent or stored as another kind; reading creates nothing.
    std::optional<std::string> GetAppString(std::string_view name);
    // 1 on success; 0 for an empty name, text the file cannot hold, or a failed write.
    int SetAppString(std::string_view name, std::string_view text);

    RegKey OpenGroupKey(std::string_view group, int kind, int index);
    uint32_t GetGroupDword(std::string_view group, int kind, int index, std::string_view name,
                           uint32_t defaultValue);
    int SetGroupDword(std::string_view group, int kind, int index, std::string_view name,
                      uint32_t value);

    RegKey OpenProjectorKey(std::string_view mac, int kind, int index);
    uint32_t GetProjectorDword(std::string_view mac, int kind, int index, std::string_view name,
                               uint32_t defaultValue);
    int SetProjectorDword(std::string_view mac, int kind, int index, std::string_view name,
                          uint32_t value);

    // 1 when `task` was filled, 0 for an empty name or a null task.
    int ReadGroupTask(std::string_view group, int index, SchedTask* task);
    int ReadProjectorTask(std::string_view mac, int index, SchedTask* task);
    // Nonzero when the task was stored, 0 for an empty name, a null task or a failed write.
    int WriteGroupTask(std::string_view group, int index, const SchedTask* task);
    int WriteProjectorTask(std::string_view mac, int index, const SchedTask* task);

    // 1 when the key has no values left (or a deletion failed part-way), 0 when
    // enumeration failed (null or deleted key, a value name too long for the buffer).
    int DeleteAllValues(const RegKey& key);
    // 0 on success, else an error code. Empty `name`: every subkey (each must have no
    // subkeys of its own); otherwise only the subkey spelled exactly `name`.
    long DeleteSubKeys(const RegKey& key, std::string_view name = {});
    // 1 when the group's key is gone afterwards, 0 otherwise.
    int DeleteGroup(std::string_view group);
    // Moves the group's key, with every value and subkey (its "Scheduler%d" keys among
    // them), to `newName`. A change of case only is a rename too. 1 on success; 0 when the
    // old group does not exist, a name is invalid, another group already has the new name,
    // or the write failed.
    int RenameGroup(std::string_view oldName, std::string_view newName);
    // Group names in enumeration order, without "All Projectors" and names too long for
    // the enumeration buffer. Creates nothing.
    std::vector<std::string> LoadGroupNames();

    // Low-level access on handles, for tools and tests.
    std::optional<uint32_t> QueryDword(const RegKey& key, std::string_view name);
    long SetDword(const RegKey& key, std::string_view name, uint32_t value);
    bool KeyExists(const std::vector<std::string>& relativePath);
    // A DWORD of the key at a path relative to AppKeyPath, without creating anything.
    std::optional<uint32_t> ReadDword(const std::vector<std::string>& relativePath,
                                      std::string_view name);
    // Names of the subkeys of a key relative to AppKeyPath, in enumeration order, as the
    // enumeration buffer sees them (longer names are left out). Creates nothing.
    std::vector<std::string> SubKeyNames(const std::vector<std::string>& relativePath);

    // Takes the file lock for its lifetime, applies changes to the cache and writes them
    // once at the end (or at Commit). Nested batches join the outermost one.
    class Batch {
      public:
        explicit Batch(RegStore& store);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        // Writes pending changes; false when the lock could not be taken or the write failed.
        bool Commit();
        bool Ok() const;

      private:
        RegStore& store_;
        bool outer_;
    };

    // The last problem met (empty when none), and a handler told of each new one. The
    // handler runs on the thread of the failing operation with the store locked: it may
    // call the store from that thread but must not wait for other threads that use it.
    std::string LastError() const;
    void SetErrorHandler(std::function<void(const std::string&)> handler);
    // Number of times the file was written by this object (for tests and benchmarks).
    uint64_t WriteCount() const;
    // Test hook, see RegFile::beforeRename.
    void SetBeforeRenameHook(std::function<void()> hook) { file_.beforeRename = std::move(hook); }

  private:
    using Path = std::vector<std::string>;

    std::optional<Path> AppPath() const;
    std::optional<Path> GroupPath(std::string_view group, int kind, int index) const;
    std::optional<Path> ProjectorPath(std::string_view mac, int kind, int index) const;
    RegKey OpenOrCreate(const std::optional<Path>& path);
    RegKey OpenExisting(const std::optional<Path>& path);
    uint32_t GetDword(const RegKey& key, std::string_view name, uint32_t defaultValue);
    int ReadTask(const RegKey& key, SchedTask* task);
    int WriteTask(const RegKey& key, const SchedTask* task);
    // Open-or-create the key at path and change it inside one batch; 1 when written.
    int SetDwordCommitted(const std::optional<Path>& path, std::string_view name, uint32_t value);
    int WriteTaskCommitted(const std::optional<Path>& path, const SchedTask* task);
    long EnumKey(const RegKey& key, size_t index, std::string& name);
    long EnumValue(const RegKey& key, size_t index, std::string& name);
    long DeleteValue(const RegKey& key, std::string_view name);
    long DeleteKey(const RegKey& parent, std::string_view name);

    RegNode* Find(const Path& path);
    RegNode* Find(const RegKey& key);
    // Brings the cache up to date with the file (reloading only when it changed).
    void Refresh();
    void Reload();
    bool BeginBatch();
    bool Flush();
    void EndBatch();
    void ReportError(const std::string& message);

    RegFile file_;
    std::string appName_;
    std::string appKeyPath_;
    const Clock& clock_;
    std::unique_ptr<RegNode> root_;
    RegFile::Identity identity_;
    std::string lastText_;  // the file's text as last read or written
    bool loaded_ = false;
    uint64_t generation_;   // changes whenever a node may have gone away
    bool blocked_ = false;  // the file is unreadable and could not be moved aside

    mutable std::recursive_mutex mutex_;
    int batchDepth_ = 0;
    bool batchOk_ = false;
    bool dirty_ = false;
    uint64_t writeCount_ = 0;
    std::string lastError_;
    std::function<void(const std::string&)> errorHandler_;
};

}  // namespace vistrel
