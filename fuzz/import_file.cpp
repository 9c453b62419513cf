// The file `vistrel-cli import` reads: written by export, then edited by a person or brought
// from elsewhere. Every part, wrong types, huge numbers, deep nesting, invalid UTF-8. A file
// is either refused with exit 2 and a line that says why, or its records are listed (the dry
// run); either way nothing reaches the network.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/cli_options.h"
#include "cli/settings_commands.h"
#include "fuzz_check.h"

using namespace vistrel;
using fuzz::Check;

namespace {

const std::filesystem::path& WorkFolder() {
    static const std::filesystem::path folder = [] {
        std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        auto path = base / ("vistrel-fuzz-import-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

// A loopback port that is listened on and never accepted: a connection to it stays pending,
// so any attempt to send is seen.
struct Listener {
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        Check(fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                  ::listen(fd, 16) == 0 &&
                  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0,
              "a loopback listener for the run");
        port = ntohs(addr.sin_port);
    }
    bool Pending() const {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }
    int fd = -1;
    uint16_t port = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Listener listener;
    const std::filesystem::path file = WorkFolder() / "import.json";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // The command as `import FILE --include identity,network --dry-run 127.0.0.1` leaves it
    // after parsing (the parser itself, a thousand times slower than the import, is left out).
    cli::CliOptions options;
    options.importFile = file.string();
    options.ips = {"127.0.0.1"};
    options.dryRun = true;
    options.profile.bindAddress = "127.0.0.1";
    options.profile.httpPort = listener.port;
    for (const char* part : cli::kImportParts)
        options.importParts.emplace_back(part);
    std::ostringstream out, err;
    std::istringstream in;
    cli::CliEnvironment env(out, err);
    env.in = &in;
    env.defaultStore = WorkFolder() / "registry.reg";
    const cli::CliContext context{options, env};
    const int status = cli::RunImport(context);
    Check(status == cli::kExitOk || status == cli::kExitUsage,
          "an import file is taken or refused as the user's mistake");
    Check(!listener.Pending(), "an import file that is checked sends nothing");
    if (status != cli::kExitOk) {
        Check(!err.str().empty() && err.str().back() == '\n', "a refusal says why on a line");
        Check(out.str().empty(), "a refused file lists nothing to send");
    }
    return 0;
}
