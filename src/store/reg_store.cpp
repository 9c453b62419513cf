#include "store/reg_store.h"

#include <atomic>

#include "store/reg_text.h"

namespace vistrel {

namespace {

// Writers hold the lock for milliseconds; waiting longer means something is stuck, and
// the console's GUI thread must not freeze for long.
constexpr int kLockTimeoutMs = 3000;

// Generations are unique across stores, so a handle never mistakes another store's node
// for its own.
uint64_t NextGeneration() {
    static std::atomic<uint64_t> counter{1};
    return ++counter;
}
constexpr std::string_view kHive = "HKEY_CURRENT_USER";

constexpr const char* kTaskEnabled = "TaskEanbled";
constexpr const char* kTaskPeriod = "TaskPeriod";
constexpr const char* kTaskTime = "TaskTime";
constexpr const char* kTaskDate = "TaskDate";
constexpr const char* kTaskStart = "TaskStart";
constexpr const char* kTaskCmd = "TaskCmd";

}  // namespace

RegStore::RegStore(std::filesystem::path file, std::string appName, const Clock& clock)
    : file_(std::move(file)),
      appName_(std::move(appName)),
      appKeyPath_(AppKeyPathFor(appName_)),
      clock_(clock),
      root_(std::make_unique<RegNode>()),
      generation_(NextGeneration()) {}

RegStore::~RegStore() = default;

std::string RegStore::AppKeyPathFor(std::string_view appName) {
    return "Software\\" + std::string(kMakerWord) + "\\" + std::string(appName);
}

std::string RegStore::AppNameFromExecutable(std::string_view argv0) {
    const size_t slash = argv0.find_last_of("/\\");
    if (slash != std::string_view::npos)
        argv0.remove_prefix(slash + 1);
    const size_t dot = argv0.rfind('.');
    if (dot != std::string_view::npos && dot > 0)
        argv0 = argv0.substr(0, dot);
    return std::string(argv0);
}

// ---- cache and file ---------------------------------------------------------------------

void RegStore::Refresh() {
    if (batchDepth_ > 0 && batchOk_ && loaded_)
        return;  // the lock keeps others out meanwhile
    if (loaded_ && file_.Stat() == identity_)
        return;
    Reload();
}

void RegStore::Reload() {
    std::string text;
    RegFile::Identity id;
    std::string error;
    if (!file_.Read(text, id, &error)) {
        ReportError(error);
        return;
    }
    auto fresh = std::make_unique<RegNode>();
    std::string parseError;
    if (!id.exists || ParseReg(text, *fresh, &parseError)) {
        root_ = std::move(fresh);
        generation_ = NextGeneration();
        identity_ = id;
        lastText_ = id.exists ? std::move(text) : std::string();
        loaded_ = true;
        blocked_ = false;
        return;
    }

    // A damaged file is only moved under the lock, after a second look: a writer may have
    // replaced it in the meantime.
    if (!file_.Locked()) {
        if (!file_.Lock(kLockTimeoutMs, &error)) {
            ReportError(error);
            return;
        }
        Reload();
        file_.Unlock();
        return;
    }
    std::filesystem::path aside;
    if (file_.MoveAside(aside, &error)) {
        ReportError(file_.Path().string() + " could not be read (" + parseError + "); kept as " +
                    aside.string() + ", starting from an empty store");
        root_ = std::make_unique<RegNode>();
        generation_ = NextGeneration();
        identity_ = file_.Stat();
        lastText_.clear();
        loaded_ = true;
        blocked_ = false;
    } else {
        // Keep the file untouched: no write may replace it while it is unreadable.
        ReportError(file_.Path().string() + " could not be read (" + parseError + ") and " + error +
                    "; changes are not saved");
        root_ = std::make_unique<RegNode>();
        generation_ = NextGeneration();
        identity_ = id;
        lastText_.clear();
        loaded_ = true;
        blocked_ = true;
    }
}

bool RegStore::BeginBatch() {
    std::string error;
    batchOk_ = file_.Lock(kLockTimeoutMs, &error);
    if (!batchOk_) {
        ReportError(error);
        return false;
    }
    if (!loaded_ || !(file_.Stat() == identity_))
        Reload();
    if (blocked_)
        batchOk_ = false;
    dirty_ = false;
    return batchOk_;
}

bool RegStore::Flush() {
    if (!batchOk_)
        return false;
    if (!dirty_)
        return true;
    dirty_ = false;
    std::string text = SerializeReg(*root_);
    if (text == lastText_ && identity_.exists)
        return true;  // changed and changed back
    std::string error;
    RegFile::Identity id;
    if (!file_.Write(text, id, &error)) {
        ReportError(error);
        loaded_ = false;
        Reload();  // the cache must match the file again
        return false;
    }
    identity_ = id;
    lastText_ = std::move(text);
    ++writeCount_;
    return true;
}

void RegStore::EndBatch() {
    Flush();
    file_.Unlock();
    batchOk_ = false;
}

RegStore::Batch::Batch(RegStore& store) : store_(store) {
    store_.mutex_.lock();
    outer_ = store_.batchDepth_++ == 0;
    if (outer_)
        store_.BeginBatch();
}

RegStore::Batch::~Batch() {
    if (outer_)
        store_.EndBatch();
    --store_.batchDepth_;
    store_.mutex_.unlock();
}

bool RegStore::Batch::Commit() {
    return outer_ ? store_.Flush() : store_.batchOk_;
}

bool RegStore::Batch::Ok() const {
    return store_.batchOk_;
}

void RegStore::ReportError(const std::string& message) {
    lastError_ = message;
    if (errorHandler_)
        errorHandler_(message);
}

std::string RegStore::LastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

void RegStore::SetErrorHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard lock(mutex_);
    errorHandler_ = std::move(handler);
}

uint64_t RegStore::WriteCount() const {
    std::lock_guard lock(mutex_);
    return writeCount_;
}

RegNode* RegStore::Find(const Path& path) {
    RegNode* node = root_.get();
    for (const auto& part : path) {
        node = node->FindChild(part);
        if (!node)
            return nullptr;
    }
    return node;
}

RegNode* RegStore::Find(const RegKey& key) {
    if (key.owner_ == this && key.generation_ == generation_ && key.node_)
        return key.node_;
    RegNode* node = Find(key.path_);
    key.owner_ = this;
    key.node_ = node;
    key.generation_ = generation_;
    return node;
}

// ---- paths and keys ---------------------------------------------------------------------

std::optional<RegStore::Path> RegStore::AppPath() const {
    if (!IsValidKeyName(appName_))
        return std::nullopt;
    return Path{std::string(kHive), "Software", std::string(kMakerWord), appName_};
}

std::optional<RegStore::Path> RegStore::GroupPath(std::string_view group, int kind,
                                                  int index) const {
    auto path = AppPath();
    if (!path || !IsValidKeyName(group))
        return std::nullopt;
    path->push_back("Group");
    path->emplace_back(group);
    switch (kind) {
        case kGroupKeyRoot:
            break;
        case kGroupKeyProjector:
            path->push_back("Projector");
            break;
        case kGroupKeyNetwork:
            path->push_back("Network");
            break;
        case kGroupKeyAlert:
            path->push_back("Alert");
            break;
        case kGroupKeyScheduler:
            path->push_back("Scheduler" + std::to_string(index));
            break;
        default:
            return std::nullopt;
    }
    return path;
}

std::optional<RegStore::Path> RegStore::ProjectorPath(std::string_view mac, int kind,
                                                      int index) const {
    auto path = AppPath();
    if (!path || !IsValidKeyName(mac))
        return std::nullopt;
    path->push_back("Projector");
    path->emplace_back(mac);
    switch (kind) {
        case kProjectorKeyRoot:
            break;
        case kProjectorKeyScheduler:
            path->push_back("Scheduler" + std::to_string(index));
            break;
        default:
            return std::nullopt;
    }
    return path;
}

RegKey RegStore::OpenOrCreate(const std::optional<Path>& path) {
    if (!path)
        return {};
    std::lock_guard lock(mutex_);
    Refresh();
    if (RegNode* found = Find(*path)) {
        RegKey key(*path);
        key.owner_ = this;
        key.node_ = found;
        key.generation_ = generation_;
        return key;
    }
    Batch batch(*this);
    if (!batch.Ok())
        return {};
    RegNode* node = root_.get();
    bool created = false;
    for (const auto& part : *path) {
        bool made = false;
        node = node->AddChild(part, &made);
        created = created || made;
    }
    dirty_ = dirty_ || created;
    if (!batch.Commit())
        return {};
    return RegKey(*path);
}

RegKey RegStore::OpenExisting(const std::optional<Path>& path) {
    if (!path)
        return {};
    std::lock_guard lock(mutex_);
    Refresh();
    return Find(*path) ? RegKey(*path) : RegKey();
}

bool RegStore::KeyExists(const std::vector<std::string>& relativePath) {
    auto path = AppPath();
    if (!path)
        return false;
    path->insert(path->end(), relativePath.begin(), relativePath.end());
    std::lock_guard lock(mutex_);
    Refresh();
    return Find(*path) != nullptr;
}

std::optional<uint32_t> RegStore::ReadDword(const std::vector<std::string>& relativePath,
                                            std::string_view name) {
    auto path = AppPath();
    if (!path)
        return std::nullopt;
    path->insert(path->end(), relativePath.begin(), relativePath.end());
    std::lock_guard lock(mutex_);
    Refresh();
    const RegNode* node = Find(*path);
    const RegValue* v = node ? node->FindValue(name) : nullptr;
    if (!v || !v->isDword)
        return std::nullopt;
    return v->dword;
}

std::optional<uint32_t> RegStore::QueryDword(const RegKey& key, std::string_view name) {
    if (!key)
        return std::nullopt;
    std::lock_guard lock(mutex_);
    Refresh();
    const RegNode* node = Find(key);
    if (!node)
        return std::nullopt;
    const RegValue* v = node->FindValue(name);
    if (!v || !v->isDword)
        return std::nullopt;
    return v->dword;
}

long RegStore::SetDword(const RegKey& key, std::string_view name, uint32_t value) {
    if (!key)
        return kRegInvalidHandle;
    if (!IsValidValueName(name))
        return kRegInvalidName;
    Batch batch(*this);
    if (!batch.Ok())
        return kRegWriteFault;
    RegNode* node = Find(key);
    if (!node)
        return kRegKeyDeleted;
    if (node->SetDword(name, value))
        dirty_ = true;
    return batch.Commit() ? kRegSuccess : kRegWriteFault;
}

long RegStore::EnumKey(const RegKey& key, size_t index, std::string& name) {
    if (!key)
        return kRegInvalidHandle;
    std::lock_guard lock(mutex_);
    Refresh();
    const RegNode* node = Find(key);
    if (!node)
        return kRegKeyDeleted;
    if (index >= node->subkeys.size())
        return kRegNoMoreItems;
    const std::string& found = node->subkeys[index]->name;
    if (found.size() > kEnumNameLimit)
        return kRegMoreData;
    name = found;
    return kRegSuccess;
}

long RegStore::EnumValue(const RegKey& key, size_t index, std::string& name) {
    if (!key)
        return kRegInvalidHandle;
    std::lock_guard lock(mutex_);
    Refresh();
    const RegNode* node = Find(key);
    if (!node)
        return kRegKeyDeleted;
    if (index >= node->values.size())
        return kRegNoMoreItems;
    const std::string& found = node->values[index].name;
    if (found.size() > kEnumNameLimit)
        return kRegMoreData;
    name = found;
    return kRegSuccess;
}

long RegStore::DeleteValue(const RegKey& key, std::string_view name) {
    if (!key)
        return kRegInvalidHandle;
    Batch batch(*this);
    if (!batch.Ok())
        return kRegWriteFault;
    RegNode* node = Find(key);
    if (!node)
        return kRegKeyDeleted;
    if (!node->RemoveValue(name))
        return kRegFileNotFound;
    dirty_ = true;
    return batch.Commit() ? kRegSuccess : kRegWriteFault;
}

long RegStore::DeleteKey(const RegKey& parent, std::string_view name) {
    if (!parent)
        return kRegInvalidHandle;
    Batch batch(*this);
    if (!batch.Ok())
        return kRegWriteFault;
    RegNode* node = Find(parent);
    if (!node)
        return kRegKeyDeleted;
    const RegNode* child = node->FindChild(name);
    if (!child)
        return kRegFileNotFound;
    if (!child->subkeys.empty())
        return kRegAccessDenied;
    node->RemoveChild(name);
    generation_ = NextGeneration();
    dirty_ = true;
    return batch.Commit() ? kRegSuccess : kRegWriteFault;
}

// ---- application, group and projector values ---------------------------------------------

RegKey RegStore::OpenAppKey() {
    return OpenOrCreate(AppPath());
}

uint32_t RegStore::GetDword(const RegKey& key, std::string_view name, uint32_t defaultValue) {
    if (!key)
        return defaultValue;
    return QueryDword(key, name).value_or(defaultValue);
}

uint32_t RegStore::GetAppDword(std::string_view name, uint32_t defaultValue) {
    if (name.empty())
        return 0;
    return GetDword(OpenExisting(AppPath()), name, defaultValue);
}

int RegStore::SetAppDword(std::string_view name, uint32_t value) {
    if (name.empty())
        return 0;
    Batch batch(*this);
    const RegKey key = OpenAppKey();
    if (!key || SetDword(key, name, value) != kRegSuccess)
        return 0;
    return batch.Commit() ? 1 : 0;
}

std::optional<std::string> RegStore::GetAppString(std::string_view name) {
    auto path = AppPath();
    if (name.empty() || !path)
        return std::nullopt;
    std::lock_guard lock(mutex_);
    Refresh();
    const RegNode* node = Find(*path);
    const RegValue* v = node ? node->FindValue(name) : nullptr;
    if (!v || v->isDword)
        return std::nullopt;
    return DecodeRegString(v->raw);
}

int RegStore::SetAppString(std::string_view name, std::string_view text) {
    if (name.empty() || !IsValidValueName(name) || !IsValidStringValue(text))
        return 0;
    Batch batch(*this);
    if (!batch.Ok())
        return 0;
    const RegKey key = OpenAppKey();
    RegNode* node = key ? Find(key) : nullptr;
    if (!node)
        return 0;
    std::string raw = EncodeRegString(text);
    const RegValue* old = node->FindValue(name);
    if (!old || old->isDword || old->raw != raw) {
        node->SetRaw(name, std::move(raw));
        dirty_ = true;
    }
    return batch.Commit() ? 1 : 0;
}

RegKey RegStore::OpenGroupKey(std::string_view group, int kind, int index) {
    if (group.empty())
        return {};
    return OpenOrCreate(GroupPath(group, kind, index));
}

uint32_t RegStore::GetGroupDword(std::string_view group, int kind, int index, std::string_view name,
                                 uint32_t defaultValue) {
    if (group.empty() || name.empty())
        return 0;
    return GetDword(OpenExisting(GroupPath(group, kind, index)), name, defaultValue);
}

int RegStore::SetGroupDword(std::string_view group, int kind, int index, std::string_view name,
                            uint32_t value) {
    if (group.empty() || name.empty())
        return 0;
    return SetDwordCommitted(GroupPath(group, kind, index), name, value);
}

RegKey RegStore::OpenProjectorKey(std::string_view mac, int kind, int index) {
    if (mac.empty())
        return {};
    return OpenOrCreate(ProjectorPath(mac, kind, index));
}

uint32_t RegStore::GetProjectorDword(std::string_view mac, int kind, int index,
                                     std::string_view name, uint32_t defaultValue) {
    if (mac.empty() || name.empty())
        return 0;
    return GetDword(OpenExisting(ProjectorPath(mac, kind, index)), name, defaultValue);
}

int RegStore::SetProjectorDword(std::string_view mac, int kind, int index, std::string_view name,
                                uint32_t value) {
    if (mac.empty() || name.empty())
        return 0;
    return SetDwordCommitted(ProjectorPath(mac, kind, index), name, value);
}

int RegStore::SetDwordCommitted(const std::optional<Path>& path, std::string_view name,
                                uint32_t value) {
    Batch batch(*this);
    const RegKey key = OpenOrCreate(path);
    if (!key || SetDword(key, name, value) != kRegSuccess)
        return 0;
    return batch.Commit() ? 1 : 0;
}

// ---- tasks ------------------------------------------------------------------------------

int RegStore::ReadTask(const RegKey& key, SchedTask* task) {
    // The six values come from one look at the file, never half from an older version.
    std::lock_guard lock(mutex_);
    Refresh();
    const RegNode* node = key ? Find(key) : nullptr;
    auto read = [&](const char* name) -> std::optional<uint32_t> {
        const RegValue* v = node ? node->FindValue(name) : nullptr;
        if (!v || !v->isDword)
            return std::nullopt;
        return v->dword;
    };
    task->enabled = static_cast<int32_t>(read(kTaskEnabled).value_or(0));
    task->period = static_cast<int32_t>(read(kTaskPeriod).value_or(0));
    // One reading of the clock for all three defaults. Stored times are the low 32 bits,
    // read back as unsigned.
    const int64_t now = clock_.Now();
    auto readTime = [&](const char* name) -> int64_t {
        const auto v = read(name);
        return v ? static_cast<int64_t>(*v) : now;
    };
    task->time = readTime(kTaskTime);
    task->date = readTime(kTaskDate);
    task->start = readTime(kTaskStart);
    task->command = static_cast<int32_t>(read(kTaskCmd).value_or(0));
    return 1;
}

int RegStore::WriteTask(const RegKey& key, const SchedTask* task) {
    if (!key)
        return 0;
    int written = 0;
    auto put = [&](const char* name, uint32_t value) {
        if (SetDword(key, name, value) == kRegSuccess)
            ++written;
    };
    put(kTaskEnabled, static_cast<uint32_t>(task->enabled));
    put(kTaskPeriod, static_cast<uint32_t>(task->period));
    put(kTaskTime, static_cast<uint32_t>(task->time));
    put(kTaskDate, static_cast<uint32_t>(task->date));
    put(kTaskStart, static_cast<uint32_t>(task->start));
    put(kTaskCmd, static_cast<uint32_t>(task->command));
    return written;
}

int RegStore::ReadGroupTask(std::string_view group, int index, SchedTask* task) {
    if (group.empty() || !task)
        return 0;
    return ReadTask(OpenExisting(GroupPath(group, kGroupKeyScheduler, index)), task);
}

int RegStore::ReadProjectorTask(std::string_view mac, int index, SchedTask* task) {
    if (mac.empty() || !task)
        return 0;
    return ReadTask(OpenExisting(ProjectorPath(mac, kProjectorKeyScheduler, index)), task);
}

int RegStore::WriteGroupTask(std::string_view group, int index, const SchedTask* task) {
    if (group.empty() || !task)
        return 0;
    return WriteTaskCommitted(GroupPath(group, kGroupKeyScheduler, index), task);
}

int RegStore::WriteProjectorTask(std::string_view mac, int index, const SchedTask* task) {
    if (mac.empty() || !task)
        return 0;
    return WriteTaskCommitted(ProjectorPath(mac, kProjectorKeyScheduler, index), task);
}

int RegStore::WriteTaskCommitted(const std::optional<Path>& path, const SchedTask* task) {
    // All six values reach the file in one write, or none do.
    Batch batch(*this);
    const int written = WriteTask(OpenOrCreate(path), task);
    return written > 0 && batch.Commit() ? 1 : 0;
}

// ---- deletion and enumeration -----------------------------------------------------------

int RegStore::DeleteAllValues(const RegKey& key) {
    Batch batch(*this);
    std::string name;
    while (true) {
        const long r = EnumValue(key, 0, name);
        if (r == kRegNoMoreItems)
            return 1;
        if (r != kRegSuccess)
            return 0;
        if (DeleteValue(key, name) != kRegSuccess)
            return 1;
    }
}

long RegStore::DeleteSubKeys(const RegKey& key, std::string_view name) {
    if (!key)
        return kRegInvalidHandle;
    Batch batch(*this);
    std::string found;
    if (name.empty()) {
        while (true) {
            const long r = EnumKey(key, 0, found);
            if (r == kRegNoMoreItems)
                break;
            if (r != kRegSuccess)
                return r;
            const long d = DeleteKey(key, found);
            if (d != kRegSuccess)
                return d;
        }
        return batch.Commit() ? kRegSuccess : kRegWriteFault;
    }
    for (size_t i = 0;; ++i) {
        const long r = EnumKey(key, i, found);
        if (r == kRegNoMoreItems)
            return kRegSuccess;
        // A name too long for the buffer cannot be the one asked for; look further.
        if (r == kRegMoreData)
            continue;
        if (r != kRegSuccess)
            return r;
        if (found == name) {
            const long d = DeleteKey(key, found);
            if (d != kRegSuccess)
                return d;
            return batch.Commit() ? kRegSuccess : kRegWriteFault;
        }
    }
}

int RegStore::DeleteGroup(std::string_view group) {
    if (group.empty())
        return 0;
    const auto groupPath = GroupPath(group, kGroupKeyRoot, 0);
    if (!groupPath)
        return 0;
    Batch batch(*this);
    if (!batch.Ok())
        return 0;
    // Only an existing group is deleted; otherwise the steps below would create it first.
    const RegNode* groupNode = Find(*groupPath);
    if (!groupNode)
        return 0;
    const std::string storedName = groupNode->name;  // the caller's spelling may differ in case

    for (int kind : {kGroupKeyProjector, kGroupKeyNetwork, kGroupKeyAlert}) {
        const RegKey key = OpenGroupKey(group, kind, 0);
        DeleteAllValues(key);
        DeleteSubKeys(key);
    }
    RegKey scheduler;
    for (int index = 0; index < kTaskCount; ++index) {
        scheduler = OpenGroupKey(group, kGroupKeyScheduler, index);
        DeleteAllValues(scheduler);
    }
    DeleteSubKeys(scheduler);

    const RegKey groupKey = OpenExisting(groupPath);
    if (!groupKey || DeleteSubKeys(groupKey) != kRegSuccess)
        return 0;
    auto parentPath = AppPath();
    parentPath->push_back("Group");
    const RegKey parent = OpenExisting(parentPath);
    if (!parent)
        return 0;
    const long r = DeleteSubKeys(parent, storedName);
    if (r != kRegSuccess || !batch.Commit())
        return 0;
    return Find(*groupPath) ? 0 : 1;
}

int RegStore::RenameGroup(std::string_view oldName, std::string_view newName) {
    const auto oldPath = GroupPath(oldName, kGroupKeyRoot, 0);
    const auto newPath = GroupPath(newName, kGroupKeyRoot, 0);
    if (!oldPath || !newPath)
        return 0;
    Batch batch(*this);
    if (!batch.Ok())
        return 0;
    RegNode* oldNode = Find(*oldPath);
    if (!oldNode)
        return 0;
    const RegNode* existing = Find(*newPath);
    if (existing && existing != oldNode)
        return 0;  // never merge two groups' settings
    if (oldNode->name == newName)
        return 1;
    auto parentPath = AppPath();
    parentPath->push_back("Group");
    RegNode* parent = Find(*parentPath);
    if (!parent)
        return 0;
    // Detach the subtree, then re-insert it under the new name so that enumeration order
    // follows the new spelling.
    std::vector<RegValue> values = std::move(oldNode->values);
    std::vector<std::unique_ptr<RegNode>> subkeys = std::move(oldNode->subkeys);
    const std::string storedName = oldNode->name;
    parent->RemoveChild(storedName);
    // The old node is freed: handles that found it must look their path up again.
    generation_ = NextGeneration();
    RegNode* moved = parent->AddChild(newName);
    moved->values = std::move(values);
    moved->subkeys = std::move(subkeys);
    dirty_ = true;
    return batch.Commit() ? 1 : 0;
}

std::vector<std::string> RegStore::SubKeyNames(const std::vector<std::string>& relativePath) {
    std::vector<std::string> names;
    auto path = AppPath();
    if (!path)
        return names;
    path->insert(path->end(), relativePath.begin(), relativePath.end());
    std::lock_guard lock(mutex_);
    const RegKey key = OpenExisting(path);
    if (!key)
        return names;
    std::string name;
    for (size_t i = 0;; ++i) {
        const long r = EnumKey(key, i, name);
        if (r == kRegNoMoreItems || r == kRegKeyDeleted)
            break;
        if (r == kRegSuccess)
            names.push_back(name);
    }
    return names;
}

std::vector<std::string> RegStore::LoadGroupNames() {
    std::vector<std::string> names = SubKeyNames({"Group"});
    std::erase_if(names,
                  [](const std::string& name) { return KeyNamesEqual(name, kAllProjectorsGroup); });
    return names;
}

}  // namespace vistrel
