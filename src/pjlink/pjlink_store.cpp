#include "pjlink/pjlink_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "pjlink/pjlink_codec.h"
#include "protocol/host_address.h"

namespace vistrel::pjlink {

namespace {

constexpr char kProjectorsValue[] = "PJLinkProjectors";
constexpr char kGroupValuePrefix[] = "PJLinkGroup ";
constexpr char kFleetEntry[] = "*";

std::vector<std::string> SplitSpaces(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> LoadProjectors(RegStore& store) {
    std::vector<std::pair<std::string, std::string>> projectors;
    for (const std::string& ip : SplitSpaces(store.GetAppString(kProjectorsValue).value_or(""))) {
        if (!IsUsableHostAddress(ip))
            continue;
        projectors.emplace_back(ip, store.GetAppString(kGroupValuePrefix + ip).value_or(""));
    }
    return projectors;
}

bool SaveProjector(RegStore& store, const std::string& ip, const std::string& group) {
    if (!IsUsableHostAddress(ip))
        return false;
    RegStore::Batch batch(store);
    std::vector<std::string> ips = SplitSpaces(store.GetAppString(kProjectorsValue).value_or(""));
    if (std::find(ips.begin(), ips.end(), ip) == ips.end())
        ips.push_back(ip);
    std::string joined;
    for (const std::string& each : ips)
        joined += (joined.empty() ? "" : " ") + each;
    bool ok = store.SetAppString(kProjectorsValue, joined) == 1;
    const std::string groupValue = kGroupValuePrefix + ip;
    if (!group.empty() || store.GetAppString(groupValue))
        ok = store.SetAppString(groupValue, group) == 1 && ok;
    return batch.Commit() && ok;
}

bool RemoveProjector(RegStore& store, const std::string& ip) {
    RegStore::Batch batch(store);
    std::vector<std::string> ips = SplitSpaces(store.GetAppString(kProjectorsValue).value_or(""));
    const auto kept = std::remove(ips.begin(), ips.end(), ip);
    if (kept == ips.end())
        return true;
    ips.erase(kept, ips.end());
    std::string joined;
    for (const std::string& each : ips)
        joined += (joined.empty() ? "" : " ") + each;
    bool ok = store.SetAppString(kProjectorsValue, joined) == 1;
    // An empty group reads as none: a projector added again later starts without one.
    const std::string groupValue = kGroupValuePrefix + ip;
    if (store.GetAppString(groupValue).value_or("").size() > 0)
        ok = store.SetAppString(groupValue, "") == 1 && ok;
    return batch.Commit() && ok;
}

std::filesystem::path Passwords::DefaultPath(const std::filesystem::path& registryFile) {
    return registryFile.parent_path() / "pjlink-passwords";
}

bool Passwords::Load(std::string* error) {
    std::lock_guard lock(mutex_);
    return LoadLocked(error);
}

bool Passwords::LoadLocked(std::string* error) {
    fleet_.clear();
    byAddress_.clear();
    struct stat info {};
    if (::stat(file_.c_str(), &info) != 0)
        return errno == ENOENT;
    if ((info.st_mode & 077) != 0) {
        if (error)
            *error = file_.string() + " may be read by others: not used (chmod 600 it)";
        return false;
    }
    std::ifstream in(file_);
    if (!in) {
        if (error)
            *error = "cannot read " + file_.string();
        return false;
    }
    // One entry a line: "<address> <password>", "*" for the fleet-wide one.
    for (std::string line; std::getline(in, line);) {
        const size_t space = line.find(' ');
        if (space == std::string::npos)
            continue;
        const std::string who = line.substr(0, space);
        const std::string password = line.substr(space + 1);
        if (who == kFleetEntry)
            fleet_ = password;
        else if (IsUsableHostAddress(who))
            byAddress_[who] = password;
    }
    return true;
}

std::string Passwords::For(const std::string& ip) const {
    std::lock_guard lock(mutex_);
    auto it = byAddress_.find(ip);
    return it != byAddress_.end() ? it->second : fleet_;
}

bool Passwords::HasOwn(const std::string& ip) const {
    std::lock_guard lock(mutex_);
    return byAddress_.count(ip) != 0;
}

bool Passwords::HasFleet() const {
    std::lock_guard lock(mutex_);
    return !fleet_.empty();
}

bool Passwords::Set(const std::string& ip, const std::string& password, std::string* error) {
    const auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (password.size() > kMaxPassword)
        return fail("a PJLink password has at most 32 characters");
    if (std::any_of(password.begin(), password.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
        return fail("a PJLink password has no control characters");
    if (!ip.empty() && !IsUsableHostAddress(ip))
        return fail("not a projector address: " + ip);
    std::lock_guard lock(mutex_);
    // Written from what the file holds now: a file that cannot be read would otherwise be
    // replaced by this one entry and every other password lost.
    std::string unreadable;
    if (!LoadLocked(&unreadable))
        return fail(unreadable + "; nothing changed");
    if (ip.empty())
        fleet_ = password;
    else if (password.empty())
        byAddress_.erase(ip);
    else
        byAddress_[ip] = password;

    std::string text;
    if (!fleet_.empty())
        text += std::string(kFleetEntry) + " " + fleet_ + "\n";
    for (const auto& [who, secret] : byAddress_)
        text += who + " " + secret + "\n";
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    const std::filesystem::path temp = file_.string() + ".tmp";
    // Created 0600 from the start: the password never sits in a file others may read.
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail("cannot write " + temp.string() + ": " + std::strerror(errno));
    ::fchmod(fd, 0600);
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!written || !synced || ::rename(temp.c_str(), file_.c_str()) != 0) {
        ::unlink(temp.c_str());
        return fail("cannot write " + file_.string() + ": " + std::strerror(errno));
    }
    return true;
}

}  // namespace vistrel::pjlink
