// The vistrel-sim program: its options, its first line, signals and the control socket.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "sim/control_channel.h"
#include "sim/fleet.h"
#include "sim_test_util.h"

extern char** environ;

namespace vistrel::sim {
namespace {

using namespace std::chrono_literals;

// A running vistrel-sim whose standard output goes to a file.
class SimProcess {
  public:
    explicit SimProcess(std::vector<std::string> args) {
        out_ = std::filesystem::temp_directory_path() /
               ("vistrel-sim-out-" + std::to_string(getpid()) + "-" + std::to_string(serial_++));
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        args.insert(args.begin(), VISTREL_SIM_BINARY);
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
        std::filesystem::remove(out_);
    }

    std::string Output() const {
        std::ifstream in(out_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Waits for the "vistrel-sim: ..." line and returns the two ports.
    bool Ports(uint16_t* discovery, uint16_t* http) {
        std::regex line("discovery port (\\d+), http port (\\d+)");
        for (int i = 0; i < 500; ++i) {
            std::smatch m;
            std::string text = Output();
            if (std::regex_search(text, m, line)) {
                *discovery = static_cast<uint16_t>(std::stoi(m[1]));
                *http = static_cast<uint16_t>(std::stoi(m[2]));
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    // Exit status, or -1 when the process did not end within `limit`.
    int Wait(std::chrono::milliseconds limit = 5s) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }
    pid_t Pid() const { return pid_; }

  private:
    static inline int serial_ = 0;
    pid_t pid_ = -1;
    std::filesystem::path out_;
};

std::string Converse(const std::string& path, const std::string& lines) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return "";
    }
    send(fd, lines.data(), lines.size(), MSG_NOSIGNAL);
    shutdown(fd, SHUT_WR);
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;) {
        out.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return out;
}

TEST(SimProgram, HelpNamesEveryOptionFaultAndMode) {
    SimProcess sim({"--help"});
    EXPECT_EQ(sim.Wait(), 0);
    std::string help = sim.Output();
    for (const char* word : {"--count",
                             "--seed",
                             "--fleet",
                             "--first-address",
                             "--discovery-port",
                             "--http-port",
                             "--log",
                             "--duration",
                             "--control",
                             "Loopback",
                             "Real mode",
                             "replyDelayMs",
                             "hang",
                             "emptyReply",
                             "commandTimeout",
                             "garbage",
                             "truncate",
                             "silentDiscovery",
                             "gone",
                             "fault T",
                             "2 I/O threads"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
}

TEST(SimProgram, BadOptionsAreRefused) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--count", "x"},
                                          {"--bogus", "1"},
                                          {"--http-port", "70000"},
                                          {"--first-address", "1.2.3"},
                                          {"--fleet", "/nonexistent/fleet.json"},
                                          {"--count"}}) {
        SimProcess sim(args);
        EXPECT_EQ(sim.Wait(), 2) << args[0];
    }
}

TEST(SimProgram, ServesUntilSigtermThenSummarises) {
    SimProcess sim({"--count", "3", "--first-address", "127.0.7.250", "--discovery-port", "0",
                    "--http-port", "0", "--seed", "9"});
    uint16_t discovery = 0;
    uint16_t http = 0;
    ASSERT_TRUE(sim.Ports(&discovery, &http)) << sim.Output();
    EXPECT_NE(sim.Output().find("3 projectors from 127.0.7.250"), std::string::npos);
    // The same seed names the same fleet in the program and in the library.
    auto r = test::Post("127.0.7.252", http, "query=group");
    EXPECT_EQ(r.body.substr(48, 8), GenerateFleet(3, 9, "127.0.7.250").projectors[2].state.name);
    test::UdpClient console;
    console.Send("Hello 250#", "127.255.255.255", discovery);
    EXPECT_EQ(console.Receive(3, 5s).size(), 3u);

    kill(sim.Pid(), SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_NE(sim.Output().find("requests: 1 http, 3 datagrams"), std::string::npos)
        << sim.Output();
}

TEST(SimProgram, DurationAndFleetFileAndControlSocket) {
    auto dir = std::filesystem::temp_directory_path();
    auto fleetFile = dir / ("vistrel-fleet-" + std::to_string(getpid()) + ".json");
    auto control = dir / ("vistrel-ctl-" + std::to_string(getpid()) + ".sock");
    {
        std::ofstream f(fleetFile);
        f << R"({"projectors": [{"group": "Lab", "name": "P1", "power": 1}], "count": 2})";
    }
    SimProcess sim({"--fleet", fleetFile.string(), "--first-address", "127.0.7.240",
                    "--discovery-port", "0", "--http-port", "0", "--control", control.string(),
                    "--duration", "30"});
    uint16_t discovery = 0;
    uint16_t http = 0;
    ASSERT_TRUE(sim.Ports(&discovery, &http)) << sim.Output();
    std::filesystem::remove(fleetFile);
    EXPECT_EQ(std::filesystem::status(control).permissions() & std::filesystem::perms::others_all,
              std::filesystem::perms::none);
    EXPECT_EQ(test::Post("127.0.7.240", http, "query=group").body.substr(16, 3), "Lab");

    std::string answer = Converse(control.string(),
                                  "list\nfault 127.0.7.241 gone on\n"
                                  "power 0 off\nfault 0 bogus on\n");
    EXPECT_NE(answer.find("OK 2 projectors"), std::string::npos) << answer;
    EXPECT_NE(answer.find("ERR unknown fault 'bogus'"), std::string::npos) << answer;
    EXPECT_FALSE(test::Post("127.0.7.241", http, "query=info").connected);
    EXPECT_EQ(test::Post("127.0.7.240", http, "command=~0012 5").body, "<return>\n<result>timeout");

    EXPECT_NE(Converse(control.string(), "stop\n").find("OK stopping"), std::string::npos);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(std::filesystem::exists(control));
}

TEST(SimProgram, DurationEndsTheRun) {
    SimProcess sim({"--count", "1", "--first-address", "127.0.7.230", "--discovery-port", "0",
                    "--http-port", "0", "--duration", "0.3"});
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_NE(sim.Output().find("requests: 0 http"), std::string::npos) << sim.Output();
}

TEST(SimControl, CommandsChangeStateAndFaults) {
    FleetOptions options = GenerateFleet(3, 4, "127.0.8.250");
    options.discoveryPort = 0;
    options.httpPort = 0;
    Fleet fleet(std::move(options));
    ASSERT_TRUE(fleet.Start());
    bool stop = false;
    EXPECT_EQ(RunControlCommand(fleet, "fault all delay 20", &stop), "OK\n");
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(fleet.GetFaults(i).replyDelayMs, 20);
    }
    EXPECT_EQ(RunControlCommand(fleet, "fault 1 garbage info on", &stop), "OK\n");
    EXPECT_EQ(RunControlCommand(fleet, "fault 1 truncate control 12", &stop), "OK\n");
    EXPECT_EQ(fleet.GetFaults(1).garbage, std::vector<std::string>{"info"});
    EXPECT_EQ(fleet.GetFaults(1).truncate.at("control"), 12);
    EXPECT_EQ(RunControlCommand(fleet, "fault 1 garbage info off", &stop), "OK\n");
    EXPECT_TRUE(fleet.GetFaults(1).garbage.empty());
    EXPECT_EQ(RunControlCommand(fleet, "fault " + fleet.Mac(2) + " silent on", &stop), "OK\n");
    EXPECT_TRUE(fleet.GetFaults(2).silentDiscovery);
    EXPECT_EQ(RunControlCommand(fleet, "fault 2 clear", &stop), "OK\n");
    EXPECT_EQ(fleet.GetFaults(2), Faults{});

    EXPECT_EQ(RunControlCommand(fleet, R"(set 0 {"control": {"volume": 3}, "power": 2})", &stop),
              "OK\n");
    EXPECT_EQ(fleet.State(0).control.volume, 3);
    EXPECT_EQ(fleet.State(0).power, kPowerStandby);
    EXPECT_EQ(RunControlCommand(fleet, R"(set 0 {"volum": 3})", &stop).substr(0, 4), "ERR ");
    EXPECT_EQ(RunControlCommand(fleet, R"(set 0 {"address": "127.0.8.1"})", &stop).substr(0, 4),
              "ERR ");
    EXPECT_EQ(RunControlCommand(fleet, "power 127.0.8.251 off", &stop), "OK\n");
    EXPECT_EQ(fleet.State(1).power, kPowerOff);
    EXPECT_EQ(RunControlCommand(fleet, "power 9 off", &stop), "ERR no projector '9'\n");
    EXPECT_NE(RunControlCommand(fleet, "show 1", &stop).find("\"mac\":\"" + fleet.Mac(1)),
              std::string::npos);
    EXPECT_FALSE(stop);
    RunControlCommand(fleet, "stop", &stop);
    EXPECT_TRUE(stop);
}

}  // namespace
}  // namespace vistrel::sim
