// vistrel-sim: a fleet of simulated projectors for the demo and for tests.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "sim/control_channel.h"
#include "sim/fleet.h"
#include "sim/fleet_options.h"
#include "sim/pjlink_fleet.h"
#include "sim/web_control.h"

namespace {

using namespace vistrel::sim;

constexpr int kDefaultCount = 10;

void PrintHelp() {
    std::cout << R"(Usage: vistrel-sim [options]

Simulates a fleet of projectors: each answers the discovery probe "Hello 250#" with
"Hello 13.#", a filler character and its MAC, sent from its own address, and serves web
control (POST /tgi/return.tgi) on its own address, with the state a real projector keeps.

Options:
  --count N             generated fleet of N projectors (default 10)
  --seed N              seed of the generated identities and states (default 1)
  --fleet FILE          JSON fleet file (see below); --count adds generated projectors
  --first-address A     projectors on consecutive addresses from A (default 127.0.0.2)
  --discovery-port N    UDP port of discovery (default 250; 0 chooses a free port)
  --http-port N         TCP port of web control (default 80; 0 chooses a free port)
  --log FILE            append one line per request and per datagram: time in ms,
                        projector address, kind, body and reply (control characters
                        escaped), and the fault that shaped it
  --duration SECONDS    stop by itself after this long (default: until SIGINT/SIGTERM)
  --control PATH        run-time control channel: a Unix socket at PATH (mode 0600, so
                        only this machine's owner can reach it); see below
  --pjlink-count N      also N PJLink projectors (default 0): every other one class 2,
                        every third one with the password "panel"; warming up and
                        cooling down take 2 s, idle connections close after 30 s
  --pjlink-first-address A  their first address (default: the one after the fleet's last)
  --pjlink-port N       TCP port of PJLink (default 4352; 0 chooses a free port)
  --pjlink-search-port N  UDP port of the class-2 search (default 4352; 0: a free port)
  --help                this text
  --version             print the version

Every projector shares the two port numbers on its own address. The first output line
reads "vistrel-sim: N projectors from A, discovery port P, http port Q, T threads".
On exit (SIGINT, SIGTERM, --duration or "stop") it prints a summary of the requests.

Modes:
  Loopback (default, no privileges): projectors on 127.0.0.2 upward; use unprivileged
  ports, e.g. --discovery-port 2500 --http-port 8080. A probe sent to 127.255.255.255
  reaches every projector, one sent to a projector's address reaches that one. Sockets
  set SO_REUSEADDR, so a console on this machine can bind the same discovery port.
  Real mode: the real ports 250 and 80 on addresses of a network namespace, e.g. the
  fleet side of a namespace pair (ip netns exec FLEET vistrel-sim --first-address
  10.77.128.1 --count 50). There a broadcast to 255.255.255.255 reaches the fleet.

Threads: a fixed pool of 2 I/O threads serves every socket of the fleet, whatever its
size, plus one thread for the control channel.

Replies: "<return>\n<result>OK" for a command or set carried out; "<return>\n<result>timeout"
for an unknown code, a malformed record, or any command but power-on while the projector
is off or in standby. A "set=network" with another address moves the projector there
about a second later.

Faults (per projector, in the fleet file under "faults" or at run time):
  "replyDelayMs": N        answer HTTP after N ms
  "hang": true             accept and read the request, never answer
  "emptyReply": true       answer with an empty body
  "closeWithoutReply": true  close the connection without answering
  "commandTimeout": true   every command= and set= answers the time-out text
  "garbage": ["info", ...] random bytes instead of the reply to these query topics
  "truncate": {"control": 30}  cut the reply to a query topic to N characters
  "silentDiscovery": true  never answer discovery
  "gone": true             no sockets at all (connections refused, no answers)

)" << FleetFileHelp()
              << "\n"
              << ControlHelp()
              << "Example: printf 'fault 127.0.0.5 hang on\\n' | socat - UNIX-CONNECT:PATH\n";
}

std::optional<long long> Integer(const char* text, long long low, long long high) {
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<long long> count;
    long long seed = 1;
    std::string fleetFile;
    std::string firstAddress = kDefaultFirstAddress;
    long long discoveryPort = 250;
    long long httpPort = 80;
    std::string logFile;
    std::string controlPath;
    double duration = 0;
    long long pjlinkCount = 0;
    std::string pjlinkFirstAddress;
    long long pjlinkPort = 4352;
    long long pjlinkSearchPort = 4352;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        }
        if (arg == "--version") {
            std::cout << "vistrel-sim " << VISTREL_VERSION << '\n';
            return 0;
        }
        if (i + 1 >= argc) {
            std::cerr << "vistrel-sim: " << arg << " needs a value (see --help)\n";
            return 2;
        }
        const char* value = argv[++i];
        std::optional<long long> number;
        bool ok = true;
        if (arg == "--count") {
            ok = (count = Integer(value, 0, 1000000)).has_value();
        } else if (arg == "--seed") {
            ok = (number = Integer(value, 0, INT64_MAX)).has_value();
            seed = number.value_or(0);
        } else if (arg == "--fleet") {
            fleetFile = value;
        } else if (arg == "--first-address") {
            firstAddress = value;
            ok = PackAddress(firstAddress).has_value();
        } else if (arg == "--discovery-port") {
            ok = (number = Integer(value, 0, 65535)).has_value();
            discoveryPort = number.value_or(0);
        } else if (arg == "--http-port") {
            ok = (number = Integer(value, 0, 65535)).has_value();
            httpPort = number.value_or(0);
        } else if (arg == "--log") {
            logFile = value;
        } else if (arg == "--duration") {
            char* end = nullptr;
            duration = std::strtod(value, &end);
            ok = end != value && *end == '\0' && duration > 0 && std::isfinite(duration);
        } else if (arg == "--pjlink-count") {
            ok = (number = Integer(value, 0, 100000)).has_value();
            pjlinkCount = number.value_or(0);
        } else if (arg == "--pjlink-first-address") {
            pjlinkFirstAddress = value;
            ok = PackAddress(pjlinkFirstAddress).has_value();
        } else if (arg == "--pjlink-port") {
            ok = (number = Integer(value, 0, 65535)).has_value();
            pjlinkPort = number.value_or(0);
        } else if (arg == "--pjlink-search-port") {
            ok = (number = Integer(value, 0, 65535)).has_value();
            pjlinkSearchPort = number.value_or(0);
        } else if (arg == "--control") {
            controlPath = value;
        } else {
            std::cerr << "vistrel-sim: unknown option " << arg << " (see --help)\n";
            return 2;
        }
        if (!ok) {
            std::cerr << "vistrel-sim: bad value for " << arg << ": " << value << '\n';
            return 2;
        }
    }

    FleetOptions options;
    if (!fleetFile.empty()) {
        std::string error;
        auto loaded = LoadFleetFile(fleetFile, firstAddress, static_cast<uint64_t>(seed), &error);
        if (!loaded) {
            std::cerr << "vistrel-sim: " << error << '\n';
            return 2;
        }
        options = std::move(*loaded);
        if (count && static_cast<size_t>(*count) > options.projectors.size()) {
            std::string last = options.projectors.empty()
                                   ? firstAddress
                                   : NextAddress(options.projectors.back().address).value_or("");
            FleetOptions more =
                GenerateFleet(static_cast<size_t>(*count), static_cast<uint64_t>(seed), last);
            for (size_t i = options.projectors.size(); i < more.projectors.size(); ++i) {
                more.projectors[i].address =
                    NextAddress(last, static_cast<uint32_t>(i - options.projectors.size()))
                        .value_or("");
                options.projectors.push_back(more.projectors[i]);
            }
        }
    } else {
        options = GenerateFleet(static_cast<size_t>(count.value_or(kDefaultCount)),
                                static_cast<uint64_t>(seed), firstAddress);
    }
    options.discoveryPort = static_cast<uint16_t>(discoveryPort);
    options.httpPort = static_cast<uint16_t>(httpPort);
    options.logFile = logFile;

    // Signals are taken by this thread alone (sigtimedwait below); block them before any
    // other thread starts so that they inherit the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    Fleet fleet(options);
    std::string error;
    if (!fleet.Start(&error)) {
        std::cerr << "vistrel-sim: " << error << '\n';
        return 1;
    }
    std::optional<PjlinkFleet> pjlink;
    if (pjlinkCount > 0) {
        if (pjlinkFirstAddress.empty()) {
            pjlinkFirstAddress = options.projectors.empty()
                                     ? firstAddress
                                     : NextAddress(options.projectors.back().address).value_or("");
        }
        PjlinkFleetOptions pjOptions =
            GeneratePjlinkFleet(static_cast<size_t>(pjlinkCount), pjlinkFirstAddress);
        pjOptions.port = static_cast<uint16_t>(pjlinkPort);
        pjOptions.searchPort = static_cast<uint16_t>(pjlinkSearchPort);
        pjlink.emplace(std::move(pjOptions));
        if (!pjlink->Start(&error)) {
            std::cerr << "vistrel-sim: " << error << '\n';
            return 1;
        }
    }
    std::optional<ControlChannel> control;
    if (!controlPath.empty()) {
        control.emplace(fleet, controlPath, [] { kill(getpid(), SIGTERM); });
        if (!control->Start(&error)) {
            std::cerr << "vistrel-sim: " << error << '\n';
            return 1;
        }
    }
    std::cout << "vistrel-sim: " << fleet.Size() << " projectors from "
              << (fleet.Size() ? fleet.Address(0) : firstAddress) << ", discovery port "
              << fleet.DiscoveryPort() << ", http port " << fleet.HttpPort() << ", "
              << fleet.ThreadCount() << " threads" << std::endl;
    if (pjlink) {
        std::cout << "vistrel-sim: " << pjlink->Size() << " PJLink projectors from "
                  << pjlink->Address(0) << ", port " << pjlink->Port() << ", search port "
                  << pjlink->SearchPort() << std::endl;
    }

    timespec limit{};
    if (duration > 0) {
        limit.tv_sec = static_cast<time_t>(duration);
        limit.tv_nsec = static_cast<long>((duration - static_cast<double>(limit.tv_sec)) * 1e9);
    }
    for (;;) {
        int sig =
            duration > 0 ? sigtimedwait(&signals, nullptr, &limit) : sigwaitinfo(&signals, nullptr);
        if (sig >= 0 || errno == EAGAIN) {
            break;
        }
    }
    if (control) {
        control->Stop();
    }
    if (pjlink)
        pjlink->Stop();
    fleet.Stop();
    std::cout << fleet.Summary() << std::flush;
    return 0;
}
