// What a scrape of the exporter costs at fleet scale: an HTTP GET of /metrics served by the
// exporter's endpoint, refreshed as the service refreshes it (a copy of the projector table,
// the health model brought up to date, every series set), for N projectors with every
// per-projector series present and labels at full width. Prints the scrape times, the size of
// the exposition and the resident memory the exporter adds.
//
//   bench_metrics_scrape [--count N] [--scrapes S]
#include <curl/curl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "health/fleet_health.h"
#include "metrics/fleet_metrics.h"
#include "metrics/metrics_endpoint.h"
#include "protocol/console.h"

namespace {

using namespace vistrel;
using Steady = std::chrono::steady_clock;

long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, n, field) == 0)
            return std::stol(line.substr(n));
    }
    return -1;
}

Info Record(int i) {
    char mac[16];
    std::snprintf(mac, sizeof mac, "02BE%08X", i);
    Info info(mac);
    char ip[20];
    std::snprintf(ip, sizeof ip, "10.%d.%d.%d", i / 62500 % 250, i / 250 % 250, i % 250 + 1);
    info.ip = ip;
    info.power = i % 3 == 0 ? "standby" : "ON";
    info.lampHour = std::to_string(1000 + i % 4000);
    char firmware[8];
    std::snprintf(firmware, sizeof firmware, "A%03d", 100 + i % 900);
    info.fwVersion = firmware;
    // Full-width names: 32 bytes each.
    char name[80];
    std::snprintf(name, sizeof name, "Lecture room %05d, building %04d", i, i / 40);
    info.projectorName = std::string(name).substr(0, 32);
    std::snprintf(name, sizeof name, "Building %04d - floor %02d - wing A", i / 40, i % 40 / 8);
    info.groupName = std::string(name).substr(0, 32);
    info.freshness = 5;
    return info;
}

uint16_t FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

double CpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double InUseMb() {
    return static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0);
}

size_t Get(CURL* easy, std::string& body) {
    body.clear();
    const CURLcode result = curl_easy_perform(easy);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (result != CURLE_OK || status != 200)
        std::fprintf(stderr, "GET: %s, status %ld\n", curl_easy_strerror(result), status);
    return body.size();
}

}  // namespace

int main(int argc, char** argv) {
    int count = 5000;
    int scrapes = 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--count") == 0)
            count = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--scrapes") == 0)
            scrapes = std::atoi(argv[i + 1]);
    }

    // The console's side, as the service has it before any exporter exists.
    Console console;
    {
        auto table = console.table.Lock();
        for (int i = 0; i < count; ++i) {
            Info record = Record(i);
            record.pollTick = console.clock.TickMs();
            table.Store(record);
        }
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURL* easy = curl_easy_init();
    std::string body;
    const long before = StatusKb("VmRSS:");
    const double inUseBefore = InUseMb();

    auto health = std::make_shared<FleetHealth>(console.clock);
    auto fleetMetrics = std::make_shared<metrics::FleetMetrics>("bench");
    double refreshMs = 0;
    const auto refresh = [&] {
        const auto start = Steady::now();
        std::vector<Info> records;
        {
            auto table = console.table.Lock();
            records = table.Records();
        }
        health->Update(records);
        fleetMetrics->Update(health->Snapshot(), records, {}, console.clock.Now());
        refreshMs = std::chrono::duration<double, std::milli>(Steady::now() - start).count();
    };
    metrics::ListenAddress where;
    where.port = FreePort();
    std::string why;
    auto endpoint = metrics::MetricsEndpoint::Start(where, fleetMetrics, refresh, &why);
    if (!endpoint) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    std::string url = "http://";
    url += where.Text();
    url += "/metrics";
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);  // a fresh connection per scrape
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(
        easy, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t n, void* out) -> size_t {
            static_cast<std::string*>(out)->append(data, size * n);
            return size * n;
        });

    // The first scrape creates every series; the later ones only set values.
    auto start = Steady::now();
    const size_t firstBytes = Get(easy, body);
    const double firstMs = std::chrono::duration<double, std::milli>(Steady::now() - start).count();
    const double firstRefreshMs = refreshMs;
    size_t series = 0;
    for (size_t at = 0; (at = body.find('\n', at)) != std::string::npos; ++at)
        series += at + 1 < body.size() && body[at + 1] != '#';
    std::vector<double> times, refreshes;
    const double cpuBefore = CpuMs();
    for (int i = 0; i < scrapes; ++i) {
        start = Steady::now();
        if (Get(easy, body) < firstBytes / 2) {
            std::fprintf(stderr, "scrape %d came back short: %zu bytes\n", i, body.size());
            return 1;
        }
        times.push_back(std::chrono::duration<double, std::milli>(Steady::now() - start).count());
        refreshes.push_back(refreshMs);
    }
    const double cpuPerScrape = (CpuMs() - cpuBefore) / scrapes;
    std::string().swap(body);  // the client's copy is not the exporter's
    const long after = StatusKb("VmRSS:");
    const double inUseAfter = InUseMb();
    std::sort(times.begin(), times.end());
    std::sort(refreshes.begin(), refreshes.end());
    std::printf("projectors %d, series %zu, exposition %zu bytes\n", count, series, firstBytes);
    std::printf("first scrape (creates the series): %.1f ms, of which refresh %.1f ms\n", firstMs,
                firstRefreshMs);
    std::printf("scrape over HTTP, %d scrapes: min %.1f ms, median %.1f ms, max %.1f ms\n", scrapes,
                times.front(), times[times.size() / 2], times.back());
    std::printf("  of which refresh (table copy, health model, series): median %.1f ms\n",
                refreshes[refreshes.size() / 2]);
    std::printf("  CPU time of the whole process per scrape (server and client): %.1f ms\n",
                cpuPerScrape);
    std::printf("heap in use: +%.1f MB after the scrapes (what the exporter keeps)\n",
                inUseAfter - inUseBefore);
    std::printf(
        "resident memory: %ld kB before the exporter, %ld kB after %d scrapes: +%.1f MB "
        "(peak of the process %ld kB)\n",
        before, after, scrapes + 1, (after - before) / 1024.0, StatusKb("VmHWM:"));
    endpoint.reset();
    curl_easy_cleanup(easy);
    curl_global_cleanup();
    return 0;
}
