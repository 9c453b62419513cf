#include "sim/request_log.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace vistrel::sim {
namespace {

std::string Escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c >= 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

RequestLog::RequestLog() : start_(std::chrono::steady_clock::now()) {}

bool RequestLog::OpenFile(const std::string& path) {
    std::lock_guard lock(mutex_);
    file_.close();
    if (path.empty()) {
        return true;
    }
    file_.open(path, std::ios::out | std::ios::app);
    return file_.is_open();
}

int64_t RequestLog::ElapsedMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start_)
        .count();
}

void RequestLog::Add(LogEntry entry) {
    entry.timeMs = ElapsedMs();
    {
        std::lock_guard lock(mutex_);
        (entry.kind == "udp" ? udpCount_ : httpCount_)++;
        if (!entry.note.empty()) {
            auto found = std::find_if(noteCounts_.begin(), noteCounts_.end(),
                                      [&](const auto& p) { return p.first == entry.note; });
            if (found == noteCounts_.end()) {
                noteCounts_.emplace_back(entry.note, 1);
            } else {
                ++found->second;
            }
        }
        if (file_.is_open()) {
            file_ << FormatLine(entry) << '\n';
            file_.flush();
        }
        if (entries_.size() >= kMemoryCap) {
            entries_.erase(entries_.begin(), entries_.begin() + kMemoryCap / 2);
        }
        entries_.push_back(std::move(entry));
    }
    changed_.notify_all();
}

std::vector<LogEntry> RequestLog::Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

size_t RequestLog::Size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void RequestLog::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

bool RequestLog::WaitFor(const std::function<bool(const std::vector<LogEntry>&)>& pred,
                         std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return pred(entries_); });
}

std::string RequestLog::Summary() const {
    std::lock_guard lock(mutex_);
    std::ostringstream out;
    out << "requests: " << httpCount_ << " http, " << udpCount_ << " datagrams in " << ElapsedMs()
        << " ms\n";
    for (const auto& [note, count] : noteCounts_) {
        out << "  " << note << ": " << count << '\n';
    }
    return out.str();
}

std::string RequestLog::FormatLine(const LogEntry& e) {
    return std::to_string(e.timeMs) + ' ' + e.address + ' ' + e.kind + " \"" + Escaped(e.body) +
           "\" -> \"" + Escaped(e.reply) + '"' + (e.note.empty() ? "" : " [" + e.note + "]");
}

}  // namespace vistrel::sim
