// The real thing: inside a private network namespace, a Prometheus server started here scrapes
// run-schedules --metrics watching a simulated fleet, and its query API shows the simulator's
// values, a projector that stops answering going down, and the README's alert rules at work.
// The README's configuration and rules also pass promtool.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "cli/cli_fixture.h"
#include "health/health_thresholds.h"
#include "metrics/metrics_test_support.h"
#include "store/reg_store.h"

namespace vistrel::metrics::test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr const char* kAgent = "127.0.0.1:9464";
constexpr const char* kServer = "127.0.0.1:9090";

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The ```yaml block that follows `marker` in README.md.
std::string ReadmeBlock(const std::string& marker) {
    const std::string readme = ReadFile(VISTREL_README);
    const size_t at = readme.find(marker);
    if (at == std::string::npos)
        return {};
    const size_t open = readme.find("```yaml\n", at);
    const size_t close = readme.find("\n```", open);
    if (open == std::string::npos || close == std::string::npos)
        return {};
    return readme.substr(open + 8, close - open - 8 + 1);
}

// Brings the loopback interface of the current namespace up, without any helper program.
bool LoopbackUp(std::string* why) {
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = s >= 0 && ::ioctl(s, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags |= IFF_UP, ::ioctl(s, SIOCSIFFLAGS, &request) == 0);
    if (!up)
        *why = std::string("cannot bring lo up: ") + std::strerror(errno);
    if (s >= 0)
        ::close(s);
    return up;
}

bool WriteProc(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    return static_cast<bool>(out.flush());
}

// Moves this process (single-threaded at this point) into a network namespace of its own:
// directly as root, else inside a user namespace of its own.
bool EnterPrivateNetwork(std::string* why) {
    if (::unshare(CLONE_NEWNET) != 0) {
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
            *why = std::string("unshare: ") + std::strerror(errno);
            return false;
        }
        WriteProc("/proc/self/setgroups", "deny");
        if (!WriteProc("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !WriteProc("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
            *why = "cannot map this user into the new namespace";
            return false;
        }
    }
    return LoopbackUp(why);
}

// A Prometheus server of the test's own, stopped (and waited for) when this goes.
class PrometheusServer {
  public:
    bool Start(const std::filesystem::path& dir, const std::string& config, std::string* why) {
        const auto configFile = dir / "prometheus.yml";
        std::ofstream(configFile) << config;
        std::filesystem::create_directories(dir / "data");
        log_ = dir / "prometheus.log";
        const std::vector<std::string> args = {"prometheus", "--config.file=" + configFile.string(),
                                               "--storage.tsdb.path=" + (dir / "data").string(),
                                               "--web.listen-address=" + std::string(kServer)};
        pid_ = ::fork();
        if (pid_ == 0) {
            const int out = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, 1);
            ::dup2(out, 2);
            std::vector<char*> argv;
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execvp("prometheus", argv.data());
            ::_exit(127);
        }
        if (pid_ < 0) {
            *why = std::string("fork: ") + std::strerror(errno);
            return false;
        }
        return true;
    }
    ~PrometheusServer() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        // A clean stop takes a moment (it writes its head block); a stuck one is killed.
        for (int i = 0; i < 200; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
                return;
            std::this_thread::sleep_for(50ms);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    std::string Log() const { return ReadFile(log_); }

  private:
    pid_t pid_ = -1;
    std::filesystem::path log_;
};

// The result vector of an instant query, or an empty array while the server cannot answer.
json Query(const std::string& expression) {
    std::string escaped;
    for (char c : expression) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_')
            escaped += c;
        else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            escaped += hex;
        }
    }
    const auto body = HttpGet(std::string("http://") + kServer + "/api/v1/query?query=" + escaped);
    if (!body)
        return json::array();
    const json reply = json::parse(*body, nullptr, false);
    if (reply.is_discarded() || reply.value("status", "") != "success")
        return json::array();
    return reply["data"]["result"];
}

// mac -> value of each series of `expression`.
std::map<std::string, double> ByMac(const std::string& expression) {
    std::map<std::string, double> values;
    for (const json& series : Query(expression))
        values[series["metric"].value("mac", "")] =
            std::stod(series["value"][1].get<std::string>());
    return values;
}

bool Eventually(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(250ms);
    }
    return true;
}

TEST(PrometheusReadme, ConfigurationAndAlertRulesPassPromtool) {
    if (!HaveTool("promtool"))
        GTEST_SKIP() << "promtool not installed (scripts/install-deps.sh installs it)";
    const std::string config = ReadmeBlock("<!-- prometheus.yml -->");
    const std::string rules = ReadmeBlock("<!-- vistrel-alerts.yml -->");
    ASSERT_FALSE(config.empty()) << "README lacks the scrape configuration";
    ASSERT_FALSE(rules.empty()) << "README lacks the alert rules";
    const auto dir =
        std::filesystem::temp_directory_path() / ("vistrel-readme-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "prometheus.yml") << config;
    std::ofstream(dir / "vistrel-alerts.yml") << rules;
    const ToolRun checkRules =
        RunTool("promtool check rules " + (dir / "vistrel-alerts.yml").string());
    EXPECT_EQ(checkRules.status, 0) << checkRules.output;
    EXPECT_NE(checkRules.output.find("SUCCESS: 2 rules found"), std::string::npos)
        << checkRules.output;
    // The configuration names the rules file beside it, as README says to install them.
    const ToolRun checkConfig =
        RunTool("cd " + dir.string() + " && promtool check config prometheus.yml");
    EXPECT_EQ(checkConfig.status, 0) << checkConfig.output;
    std::filesystem::remove_all(dir);
}

class PrometheusScrape : public cli::test::CliTest {};

TEST_F(PrometheusScrape, ServerSeesTheFleetAndAProjectorGoingDown) {
    std::string why;
    if (!HaveTool("prometheus"))
        GTEST_SKIP() << "prometheus not installed (scripts/install-deps.sh installs it)";
    if (!EnterPrivateNetwork(&why))
        GTEST_SKIP() << "no private network namespace (" << why
                     << "); this test never runs in the machine's own namespace";
    const std::string rules = ReadmeBlock("<!-- vistrel-alerts.yml -->");
    ASSERT_FALSE(rules.empty());
    std::ofstream(dir_ / "vistrel-alerts.yml") << rules;

    // Powered on (a projector in standby reports no lamp hours); lamps on both sides of the
    // default warning threshold of 3000 hours.
    StartFleet(3, [](sim::FleetOptions& o) {
        const int hours[] = {1200, 3500, 4100};
        for (size_t i = 0; i < o.projectors.size(); ++i) {
            o.projectors[i].state.power = sim::kPowerOn;
            o.projectors[i].state.lampHours = hours[i];
        }
    });
    // Silence counts after the shortest threshold the console accepts.
    {
        RegStore store(StoreFile(), "vistrel");
        HealthThresholds thresholds;
        thresholds.notAnsweringSeconds = kMinNotAnsweringSeconds;
        ASSERT_EQ(SaveHealthThresholds(store, thresholds), 1);
    }
    timers_.discoveryOverride = 1000ms;
    std::atomic<bool> stop{false};
    cli::test::LiveText live;
    cli::test::CliRun run;
    std::thread agent([&] {
        run = Run({"run-schedules", "--metrics", kAgent}, true, &stop, &live);
    });
    struct Join {
        std::atomic<bool>& stop;
        std::thread& thread;
        ~Join() {
            stop = true;
            if (thread.joinable())
                thread.join();
        }
    } join{stop, agent};
    ASSERT_TRUE(live.WaitFor("serving metrics", 30s)) << live.Text();

    PrometheusServer server;
    ASSERT_TRUE(server.Start(dir_,
                             std::string("global: {scrape_interval: 1s, evaluation_interval: 1s}\n"
                                         "rule_files: [vistrel-alerts.yml]\n"
                                         "scrape_configs:\n"
                                         "  - job_name: vistrel\n"
                                         "    static_configs: [{targets: ['") +
                                 kAgent + "']}]\n",
                             &why))
        << why;

    // Every projector up, with the lamp hours the simulator keeps, as the server stored them.
    std::map<std::string, double> lamps;
    const bool allUp = Eventually(
        [&] {
            const auto up = ByMac("vistrel_projector_up");
            lamps = ByMac("vistrel_projector_lamp_usage_seconds");
            return up.size() == 3 && lamps.size() == 3 &&
                   std::all_of(up.begin(), up.end(), [](const auto& v) { return v.second == 1; });
        },
        90s);
    ASSERT_TRUE(allUp) << server.Log() << live.Text();
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(lamps[Fleet().Mac(i)], Fleet().State(i).lampHours * 3600.0) << Fleet().Mac(i);

    // The README's lamp rule picks out exactly the lamps over the agent's warning threshold.
    std::set<std::string> overThreshold;
    for (size_t i = 0; i < 3; ++i) {
        if (Fleet().State(i).lampHours >= 3000)
            overThreshold.insert(Fleet().Mac(i));
    }
    EXPECT_TRUE(Eventually(
        [&] {
            std::set<std::string> alerting;
            for (const json& alert : Query("ALERTS{alertname=\"VistrelLampHours\"}"))
                alerting.insert(alert["metric"].value("mac", ""));
            return alerting == overThreshold;
        },
        30s));

    // One projector goes away: the server sees it go down, the others stay up.
    sim::Faults gone;
    gone.gone = true;
    Fleet().SetFaults(1, gone);
    const bool wentDown = Eventually(
        [&] {
            const auto up = ByMac("vistrel_projector_up");
            return up.size() == 3 && up.at(Fleet().Mac(1)) == 0 && up.at(Fleet().Mac(0)) == 1 &&
                   up.at(Fleet().Mac(2)) == 1;
        },
        90s);
    EXPECT_TRUE(wentDown) << live.Text();
    EXPECT_GT(ByMac("vistrel_polls_total{outcome=\"refused\"}").size() +
                  ByMac("vistrel_polls_total{outcome=\"timeout\"}").size(),
              0u);
}

}  // namespace
}  // namespace vistrel::metrics::test
