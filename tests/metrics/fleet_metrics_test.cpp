// The exporter's registry and endpoint: series follow the fleet (values, labels cut and made
// valid, series gone with their projector or their old labels), the exposition passes the
// real promtool, the endpoint refreshes before each scrape and says when its port is taken.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <prometheus/text_serializer.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

#include "metrics/counted_poll_transport.h"
#include "metrics/fleet_metrics.h"
#include "metrics/metrics_endpoint.h"
#include "metrics/metrics_test_support.h"
#include "protocol/text_encoding.h"

namespace vistrel::metrics::test {
namespace {

constexpr int64_t kNow = 1'800'000'000;

std::string Exposition(const FleetMetrics& metrics) {
    return prometheus::TextSerializer().Serialize(metrics.Collect());
}

ProjectorHealth Health(const std::string& mac, const std::string& ip) {
    ProjectorHealth h;
    h.mac = mac;
    h.ip = ip;
    return h;
}

Info Record(const std::string& mac, const std::string& name, const std::string& group) {
    Info record(mac);
    record.projectorName = name;
    record.groupName = group;
    return record;
}

TEST(FleetMetrics, SeriesFollowTheFleetAndPassPromtool) {
    FleetMetrics metrics("9.8.7.6");
    ProjectorHealth hall = Health("0011AABBCC01", "10.0.0.5");
    hall.power = "ON";
    hall.lampHours = 1234;
    hall.fwVersion = "A080";
    hall.lastAnswered = kNow - 7;
    // Silent past the threshold, its last power stale; its name a legacy 8-bit text longer
    // than any record field.
    ProjectorHealth lab = Health("0011AABBCC02", "10.0.0.6");
    lab.power = "ON";
    lab.notAnswering = true;
    const std::string longName = "Salle \xE9t\xE9 " + std::string(40, 'x');
    std::vector<Info> records = {Record(hall.mac, "Hall 1", "Lab"),
                                 Record(lab.mac, longName, "B\"1\\")};
    ConsoleReadings console;
    console.discoveryCycles = 5;
    console.ringDepth = 3;
    console.polling = true;
    metrics.RecordPoll(PollOutcome::kTimeout, std::chrono::milliseconds(8000));
    metrics.Update({hall, lab}, records, console, kNow);

    const std::string text = Exposition(metrics);
    const std::string hallLabels =
        R"({group="Lab",ip="10.0.0.5",mac="0011AABBCC01",model="",name="Hall 1")";
    EXPECT_NE(text.find("vistrel_projector_up" + hallLabels + "} 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("vistrel_projector_power_state" + hallLabels + R"(,state="on"} 1)"),
              std::string::npos);
    EXPECT_NE(text.find("vistrel_projector_lamp_usage_seconds" + hallLabels + "} 4442400\n"),
              std::string::npos);
    EXPECT_NE(text.find("vistrel_projector_last_answer_age_seconds" + hallLabels + "} 7\n"),
              std::string::npos);
    EXPECT_NE(text.find(R"(vistrel_projector_firmware_info{firmware="A080",group="Lab")"),
              std::string::npos);
    EXPECT_NE(text.find(R"(vistrel_build_info{version="9.8.7.6"} 1)"), std::string::npos);
    EXPECT_NE(text.find(R"(vistrel_polls_total{outcome="timeout"} 1)"), std::string::npos);
    EXPECT_NE(text.find("vistrel_request_ring_depth 3\n"), std::string::npos);

    // The silent one: down, no power state claimed, no lamp or age series it never had.
    const std::string labName = ProjectorTextAsUtf8(longName.substr(0, kNameLabelWidth));
    const std::string labLabels =
        R"({group="B\"1\\",ip="10.0.0.6",mac="0011AABBCC02",model="",name=")" + labName + "\"";
    EXPECT_NE(text.find("vistrel_projector_up" + labLabels + "} 0\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("vistrel_projector_power_state" + labLabels + R"(,state="on"} 1)"),
              std::string::npos);
    EXPECT_EQ(text.find("vistrel_projector_lamp_usage_seconds" + labLabels), std::string::npos);
    EXPECT_TRUE(IsValidUtf8(text));

    if (!HaveTool("promtool"))
        GTEST_SKIP() << "promtool not installed (scripts/install-deps.sh installs it)";
    const auto file = std::filesystem::temp_directory_path() /
                      ("vistrel-exposition-" + std::to_string(::getpid()) + ".txt");
    {
        std::ofstream out(file);
        out << text;
    }
    const ToolRun check = RunTool("promtool check metrics < " + file.string());
    std::filesystem::remove(file);
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_EQ(check.output, "") << "promtool has remarks on the names";

    // Renamed, and the other one gone: neither the old labels nor the gone projector stay.
    records[0].projectorName = "Hall 2";
    console.discoveryCycles = 7;
    metrics.Update({hall}, records, console, kNow + 1);
    // A source that started again from zero never takes the counter back.
    console.discoveryCycles = 2;
    metrics.Update({hall}, records, console, kNow + 2);
    console.discoveryCycles = 3;
    metrics.Update({hall}, records, console, kNow + 3);
    const std::string after = Exposition(metrics);
    EXPECT_EQ(after.find(R"(name="Hall 1")"), std::string::npos) << after;
    EXPECT_EQ(after.find("0011AABBCC02"), std::string::npos) << after;
    EXPECT_NE(after.find(R"(vistrel_projector_up{group="Lab",ip="10.0.0.5",mac="0011AABBCC01",)"
                         R"(model="",name="Hall 2"} 1)"),
              std::string::npos)
        << after;
    EXPECT_NE(after.find("vistrel_discovery_cycles_total 8\n"), std::string::npos) << after;
    EXPECT_EQ(metrics.Projectors(), 1u);
}

TEST(FleetMetrics, ProjectorsWhoseBytesReadAlikeNeverShareSeries) {
    FleetMetrics metrics("1");
    // The same text once as UTF-8, once as a legacy byte; the same address (one moved away).
    ProjectorHealth first = Health(
        "\xC3\xA9"
        "0000000001",
        "10.0.0.9");
    ProjectorHealth second = Health(
        "\xE9"
        "0000000001",
        "10.0.0.9");
    metrics.Update({first, second}, {}, {}, kNow);
    EXPECT_EQ(metrics.Projectors(), 1u);
    // The first leaving must not take series the second still points at.
    metrics.Update({second}, {}, {}, kNow);
    metrics.Update({second}, {}, {}, kNow);
    EXPECT_EQ(metrics.Projectors(), 1u);
    EXPECT_NE(Exposition(metrics).find("vistrel_projector_up{"), std::string::npos);
}

TEST(MetricsInputs, ListenAddressesAndPollEnds) {
    std::string why;
    auto where = ParseListenAddress("9464", &why);
    ASSERT_TRUE(where);
    EXPECT_EQ(where->Text(), "127.0.0.1:9464");
    where = ParseListenAddress("0.0.0.0:9100", &why);
    ASSERT_TRUE(where);
    EXPECT_EQ(where->Text(), "0.0.0.0:9100");
    for (const char* bad : {"", "0", "65536", "x", "localhost:9100", "10.0.0.1:", "1.2.3:80"})
        EXPECT_FALSE(ParseListenAddress(bad, &why)) << bad;

    EXPECT_EQ(ClassifyInfoReply({"", true}), PollOutcome::kTimeout);
    EXPECT_EQ(ClassifyInfoReply({"", false}), PollOutcome::kRefused);
    EXPECT_EQ(ClassifyInfoReply({"<return>\n<info>OK11234010A080", false}), PollOutcome::kOk);
    EXPECT_EQ(ClassifyInfoReply({"<html>busy</html>", false}), PollOutcome::kMalformed);
}

TEST(MetricsEndpoint, RefreshesBeforeEachScrapeAndSaysWhenThePortIsTaken) {
    // A port someone else listens on.
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(holder, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    ListenAddress where;
    where.port = ntohs(address.sin_port);

    auto registry = std::make_shared<prometheus::Registry>();
    auto& gauge = prometheus::BuildGauge().Name("scrapes").Help("h").Register(*registry).Add({});
    int refreshed = 0;
    const auto refresh = [&] { gauge.Set(++refreshed); };
    std::string why;
    EXPECT_EQ(MetricsEndpoint::Start(where, registry, refresh, &why), nullptr);
    EXPECT_NE(why.find(where.Text()), std::string::npos) << why;

    ::close(holder);
    auto endpoint = MetricsEndpoint::Start(where, registry, refresh, &why);
    ASSERT_NE(endpoint, nullptr) << why;
    const std::string url = "http://" + where.Text() + "/metrics";
    const auto first = HttpGet(url);
    const auto second = HttpGet(url);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->find("scrapes 1\n"), std::string::npos) << *first;
    EXPECT_NE(second->find("scrapes 2\n"), std::string::npos) << *second;
    endpoint.reset();
    EXPECT_FALSE(HttpGet(url));  // nothing serves once it is gone
}

}  // namespace
}  // namespace vistrel::metrics::test
