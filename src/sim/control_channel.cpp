#include "sim/control_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "sim/fleet.h"

namespace vistrel::sim {
namespace {

constexpr size_t kMaxLine = 64 * 1024;

std::vector<size_t> Targets(const Fleet& fleet, const std::string& which) {
    std::vector<size_t> out;
    if (which == "all") {
        for (size_t i = 0; i < fleet.Size(); ++i) {
            out.push_back(i);
        }
        return out;
    }
    if (auto i = fleet.FindByAddress(which)) {
        return {*i};
    }
    if (auto i = fleet.FindByMac(which)) {
        return {*i};
    }
    if (!which.empty() && which.find_first_not_of("0123456789") == std::string::npos) {
        size_t index = std::stoul(which);
        if (index < fleet.Size()) {
            return {index};
        }
    }
    return out;
}

std::optional<bool> OnOff(const std::string& word) {
    if (word == "on" || word == "1" || word == "true") {
        return true;
    }
    if (word == "off" || word == "0" || word == "false") {
        return false;
    }
    return std::nullopt;
}

std::string FaultText(const Faults& f) {
    std::string out;
    auto add = [&](const std::string& s) { out += (out.empty() ? "" : ",") + s; };
    if (f.replyDelayMs)
        add("delay=" + std::to_string(f.replyDelayMs));
    if (f.hang)
        add("hang");
    if (f.emptyReply)
        add("empty");
    if (f.closeWithoutReply)
        add("close");
    if (f.commandTimeout)
        add("command-timeout");
    for (const auto& t : f.garbage)
        add("garbage=" + t);
    for (const auto& [t, n] : f.truncate)
        add("truncate=" + t + ":" + std::to_string(n));
    if (f.silentDiscovery)
        add("silent");
    if (f.gone)
        add("gone");
    return out.empty() ? "-" : out;
}

// Applies "fault NAME [VALUE...]" to one fault set; empty string on success, else the error.
std::string ChangeFault(Faults& f, std::istringstream& words) {
    std::string name;
    std::string value;
    words >> name >> value;
    if (name == "clear") {
        f = Faults{};
        return "";
    }
    if (name == "delay") {
        try {
            f.replyDelayMs = std::max(0, std::stoi(value));
        } catch (const std::exception&) {
            return "delay needs milliseconds";
        }
        return "";
    }
    if (name == "garbage" || name == "truncate") {
        std::string topic = value;
        std::string setting;
        words >> setting;
        if (name == "garbage") {
            auto on = OnOff(setting);
            if (topic.empty() || !on) {
                return "usage: fault T garbage TOPIC on|off";
            }
            std::erase(f.garbage, topic);
            if (*on) {
                f.garbage.push_back(topic);
            }
            return "";
        }
        if (topic.empty() || setting.empty()) {
            return "usage: fault T truncate TOPIC N|off";
        }
        if (setting == "off") {
            f.truncate.erase(topic);
            return "";
        }
        try {
            f.truncate[topic] = std::max(0, std::stoi(setting));
        } catch (const std::exception&) {
            return "truncate needs a length";
        }
        return "";
    }
    auto on = OnOff(value);
    if (!on) {
        return "fault " + name + " needs on or off";
    }
    if (name == "hang") {
        f.hang = *on;
    } else if (name == "empty") {
        f.emptyReply = *on;
    } else if (name == "close") {
        f.closeWithoutReply = *on;
    } else if (name == "command-timeout") {
        f.commandTimeout = *on;
    } else if (name == "silent") {
        f.silentDiscovery = *on;
    } else if (name == "gone") {
        f.gone = *on;
    } else {
        return "unknown fault '" + name + "'";
    }
    return "";
}

}  // namespace

const char* ControlHelp() {
    return R"(Control commands (one per line; T is an index, an address, a MAC or "all"):
  list                          one line per projector: index address mac power faults
  show T                        the projector as JSON (the fleet file's layout)
  set T JSON                    merge JSON fields into the projector, e.g.
                                set 3 {"power":0,"control":{"volume":7}}
  power T on|off|standby
  fault T delay MS              answer HTTP after MS milliseconds (0: at once)
  fault T hang on|off           accept, read, never answer
  fault T empty on|off          answer with an empty body
  fault T close on|off          read the request, close without answering
  fault T command-timeout on|off  every command= and set= answers the time-out text
  fault T garbage TOPIC on|off  random bytes instead of the reply to query=TOPIC
  fault T truncate TOPIC N|off  cut the reply to query=TOPIC to N characters
  fault T silent on|off         ignore discovery probes
  fault T gone on|off           close (or reopen) every socket of the projector
  fault T clear                 no faults
  log [N]                       the last N request log lines (default 20)
  summary                       totals
  stop                          stop the simulator
)";
}

std::string RunControlCommand(Fleet& fleet, const std::string& line, bool* stopRequested) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command.empty()) {
        return "";
    }
    if (command == "help") {
        return ControlHelp();
    }
    if (command == "summary") {
        return fleet.Summary();
    }
    if (command == "stop") {
        if (stopRequested) {
            *stopRequested = true;
        }
        return "OK stopping\n";
    }
    if (command == "log") {
        size_t count = 20;
        words >> count;
        auto entries = fleet.Log().Entries();
        size_t from = entries.size() > count ? entries.size() - count : 0;
        std::string out;
        for (size_t i = from; i < entries.size(); ++i) {
            out += RequestLog::FormatLine(entries[i]) + '\n';
        }
        return out + "OK " + std::to_string(entries.size() - from) + " lines\n";
    }
    if (command == "list") {
        std::string out;
        for (size_t i = 0; i < fleet.Size(); ++i) {
            ProjectorConfig c = fleet.Config(i);
            out += std::to_string(i) + ' ' + c.address + ' ' + c.mac + ' ' +
                   (c.state.power == kPowerOn    ? "on"
                    : c.state.power == kPowerOff ? "off"
                                                 : "standby") +
                   ' ' + FaultText(c.faults) + '\n';
        }
        return out + "OK " + std::to_string(fleet.Size()) + " projectors\n";
    }
    std::string which;
    words >> which;
    std::vector<size_t> targets = Targets(fleet, which);
    if (command != "show" && command != "set" && command != "power" && command != "fault") {
        return "ERR unknown command '" + command + "' (try help)\n";
    }
    if (targets.empty()) {
        return "ERR no projector '" + which + "'\n";
    }
    if (command == "show") {
        std::string out;
        for (size_t i : targets) {
            out += ProjectorJson(fleet.Config(i)) + '\n';
        }
        return out + "OK\n";
    }
    if (command == "power") {
        std::string word;
        words >> word;
        int power = word == "on"        ? kPowerOn
                    : word == "off"     ? kPowerOff
                    : word == "standby" ? kPowerStandby
                                        : -1;
        if (power < 0) {
            return "ERR power on|off|standby\n";
        }
        for (size_t i : targets) {
            fleet.UpdateState(i, [&](ProjectorState& s) { s.power = power; });
        }
        return "OK\n";
    }
    if (command == "set") {
        std::string json;
        std::getline(words, json);
        for (size_t i : targets) {
            ProjectorConfig config = fleet.Config(i);
            std::string error;
            if (!ApplyProjectorJson(json, config, &error)) {
                return "ERR " + error + '\n';
            }
            if (config.address != fleet.Address(i) || config.mac != fleet.Mac(i)) {
                return "ERR address and mac are fixed (use set=network to move a projector)\n";
            }
            fleet.SetState(i, config.state);
            fleet.SetFaults(i, config.faults);
        }
        return "OK\n";
    }
    std::string rest;
    std::getline(words, rest);
    for (size_t i : targets) {
        Faults faults = fleet.GetFaults(i);
        std::istringstream faultWords(rest);
        std::string error = ChangeFault(faults, faultWords);
        if (!error.empty()) {
            return "ERR " + error + '\n';
        }
        fleet.SetFaults(i, faults);
    }
    return "OK\n";
}

ControlChannel::ControlChannel(Fleet& fleet, std::string path, std::function<void()> onStop)
    : fleet_(fleet), path_(std::move(path)), onStop_(std::move(onStop)) {}

ControlChannel::~ControlChannel() {
    Stop();
}

bool ControlChannel::Start(std::string* error) {
    sockaddr_un addr{};
    if (path_.size() >= sizeof addr.sun_path) {
        *error = "control socket path too long: " + path_;
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0 || pipe2(wakeFds_, O_CLOEXEC) != 0) {
        *error = std::string("control socket: ") + std::strerror(errno);
        Stop();
        return false;
    }
    // A socket file left by a run that did not end cleanly is replaced; other files are not.
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
        unlink(path_.c_str());
    }
    mode_t oldMask = umask(0077);
    int rc = bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    umask(oldMask);
    if (rc != 0 || listen(listenFd_, 8) != 0) {
        *error = "control socket " + path_ + ": " + std::strerror(errno);
        close(listenFd_);
        listenFd_ = -1;
        Stop();
        return false;
    }
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void ControlChannel::Stop() {
    if (thread_.joinable()) {
        char byte = 0;
        [[maybe_unused]] ssize_t n = write(wakeFds_[1], &byte, 1);
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
    if (listenFd_ >= 0) {
        close(listenFd_);
        listenFd_ = -1;
        unlink(path_.c_str());
    }
    for (int& fd : wakeFds_) {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }
}

void ControlChannel::Serve() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents) {
            return;
        }
        if (fds[0].revents & POLLIN) {
            int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                ServeClient(client);
                close(client);
            }
        }
    }
}

void ControlChannel::ServeClient(int fd) {
    std::string pending;
    char buf[4096];
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents) {
            return;
        }
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) {
            return;
        }
        pending.append(buf, static_cast<size_t>(n));
        if (pending.size() > kMaxLine) {
            return;
        }
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            bool stop = false;
            std::string answer = RunControlCommand(fleet_, line, &stop);
            for (size_t sent = 0; sent < answer.size();) {
                ssize_t w = send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
                if (w <= 0) {
                    return;
                }
                sent += static_cast<size_t>(w);
            }
            if (stop && onStop_) {
                onStop_();
            }
        }
    }
}

}  // namespace vistrel::sim
