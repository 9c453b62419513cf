// A fleet in this process, spoken to over loopback with the tests' own clients.
#include "sim/fleet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "sim/web_control.h"
#include "sim_test_util.h"

namespace vistrel::sim {
namespace {

using namespace std::chrono_literals;
using test::Post;
using test::UdpClient;

std::unique_ptr<Fleet> StartFleet(size_t count, const std::string& first,
                                  const std::function<void(FleetOptions&)>& adjust = {}) {
    FleetOptions options = GenerateFleet(count, 11, first);
    options.discoveryPort = 0;
    options.httpPort = 0;
    if (adjust) {
        adjust(options);
    }
    auto fleet = std::make_unique<Fleet>(std::move(options));
    std::string error;
    EXPECT_TRUE(fleet->Start(&error)) << error;
    return fleet;
}

Faults With(const std::function<void(Faults&)>& set) {
    Faults faults;
    set(faults);
    return faults;
}

// Waits for `pred` without a fixed sleep; false after `limit`.
bool Eventually(const std::function<bool()>& pred, std::chrono::milliseconds limit = 5s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return pred();
}

TEST(SimFleet, BroadcastProbeIsAnsweredByEveryProjectorFromItsOwnAddress) {
    auto fleet = StartFleet(5, "127.0.5.2");
    UdpClient console;
    ASSERT_TRUE(console.Ok());
    ASSERT_TRUE(console.Send("Hello 250#", "127.255.255.255", fleet->DiscoveryPort()));
    auto answers = console.Receive(5, 3s);
    ASSERT_EQ(answers.size(), 5u);
    std::set<std::string> senders;
    for (const auto& a : answers) {
        ASSERT_EQ(a.text.size(), 23u) << a.text;
        EXPECT_EQ(a.text.substr(0, 10), "Hello 13.#");
        auto index = fleet->FindByAddress(a.from);
        ASSERT_TRUE(index) << a.from;
        EXPECT_EQ(a.text.substr(11, 12), fleet->Mac(*index));
        EXPECT_EQ(a.fromPort, fleet->DiscoveryPort());
        senders.insert(a.from);
    }
    EXPECT_EQ(senders.size(), 5u);
    // Nothing more arrives: one answer per projector.
    EXPECT_TRUE(console.Receive(1, 200ms).empty());
}

TEST(SimFleet, UnicastProbeReachesOneProjectorAndOtherDatagramsAreIgnored) {
    auto fleet = StartFleet(3, "127.0.5.10");
    UdpClient console;
    console.Send("Hello 250#", fleet->Address(1), fleet->DiscoveryPort());
    auto answers = console.Receive(1, 5s);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].from, fleet->Address(1));
    EXPECT_EQ(answers[0].text, "Hello 13.# " + fleet->Mac(1));
    // The other projectors would have answered at the same moment: nothing more comes.
    EXPECT_TRUE(console.Receive(1, 300ms).empty());

    for (const char* other :
         {"Hello 250", "Hello 250##", "hello 250#", "Hello 13.# 0123456789AB"}) {
        console.Send(other, "127.255.255.255", fleet->DiscoveryPort());
        console.Send(other, fleet->Address(2), fleet->DiscoveryPort());
    }
    EXPECT_TRUE(console.Receive(1, 300ms).empty());
    EXPECT_TRUE(fleet->Log().WaitFor(
        [](const auto& entries) {
            return std::count_if(entries.begin(), entries.end(),
                                 [](const LogEntry& e) { return e.note == "ignored"; }) == 8;
        },
        2s));
}

TEST(SimFleet, ConsoleBindingTheSameDiscoveryPortStillHearsTheAnswers) {
    auto fleet = StartFleet(4, "127.0.5.20");
    // The console binds the wildcard address on the fleet's own port, as the real one does.
    UdpClient console("0.0.0.0", fleet->DiscoveryPort());
    ASSERT_TRUE(console.Ok());
    console.Send("Hello 250#", "127.255.255.255", fleet->DiscoveryPort());
    auto got = console.Receive(5, 5s);  // its own probe plus four answers
    size_t answers = std::count_if(got.begin(), got.end(), [](const test::Datagram& d) {
        return d.text.starts_with("Hello 13.#");
    });
    EXPECT_EQ(answers, 4u);
}

TEST(SimFleet, HttpBodiesArriveRawAndChangeTheProjector) {
    auto fleet = StartFleet(2, "127.0.5.30");
    fleet->UpdateState(0, [](ProjectorState& s) {
        s.power = kPowerOn;
        s.source = 0;
    });
    auto r = Post(fleet->Address(0), fleet->HttpPort(), "command=~0012 5");
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, kReplyOk);
    EXPECT_EQ(fleet->State(0).source, 1);
    // A percent-encoded body is not what the console sends, and is not decoded.
    EXPECT_EQ(Post(fleet->Address(0), fleet->HttpPort(), "command=%7E0012%205").body,
              kReplyTimeout);

    auto info = Post(fleet->Address(0), fleet->HttpPort(), "query=info");
    EXPECT_EQ(info.body, InfoReply(fleet->State(0)));
    // The other projector is a separate device.
    EXPECT_EQ(Post(fleet->Address(1), fleet->HttpPort(), "query=group").body,
              GroupReply(fleet->State(1)));

    auto log = fleet->Log().Entries();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0].kind, "http");
    EXPECT_EQ(log[0].projector, 0u);
    EXPECT_EQ(log[0].address, fleet->Address(0));
    EXPECT_EQ(log[0].body, "command=~0012 5");
    EXPECT_EQ(log[0].reply, kReplyOk);
    EXPECT_LE(log[0].timeMs, log[3].timeMs);
}

TEST(SimFleet, OnlyPostToTheControlPathIsServed) {
    auto fleet = StartFleet(1, "127.0.5.35");
    const std::string a = fleet->Address(0);
    const uint16_t port = fleet->HttpPort();
    auto get = test::RawHttp(a, port, "GET /tgi/return.tgi HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(get.status, 404);
    auto other =
        test::RawHttp(a, port, "POST /index.html HTTP/1.1\r\nContent-Length: 10\r\n\r\nquery=info");
    EXPECT_EQ(other.status, 404);
    auto expect = test::RawHttp(a, port,
                                "POST /tgi/return.tgi HTTP/1.1\r\nExpect: 100-continue\r\n"
                                "Content-Length: 10\r\n\r\nquery=user");
    // The body came with the header, so the reply follows without an interim answer.
    EXPECT_EQ(expect.body, UserReply(fleet->State(0)));
    // A body split over several packets is read whole.
    auto split = test::RawHttp(
        a, port, "POST /tgi/return.tgi HTTP/1.0\r\ncontent-length: 11\r\n\r\nquery=model");
    EXPECT_EQ(split.body, ModelReply(fleet->State(0)));
    auto huge = test::RawHttp(
        a, port, "POST /tgi/return.tgi HTTP/1.1\r\nContent-Length: 99999999\r\n\r\nquery=info");
    EXPECT_EQ(huge.status, 413);
}

TEST(SimFaults, DelayHangEmptyAndClose) {
    auto fleet = StartFleet(4, "127.0.5.40");
    const uint16_t port = fleet->HttpPort();
    fleet->SetFaults(0, With([](Faults& f) { f.replyDelayMs = 300; }));
    fleet->SetFaults(1, With([](Faults& f) { f.hang = true; }));
    fleet->SetFaults(2, With([](Faults& f) { f.emptyReply = true; }));
    fleet->SetFaults(3, With([](Faults& f) { f.closeWithoutReply = true; }));

    auto start = std::chrono::steady_clock::now();
    auto delayed = Post(fleet->Address(0), port, "query=info");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_EQ(delayed.body, InfoReply(fleet->State(0)));

    auto hung = Post(fleet->Address(1), port, "query=info", 500ms);
    EXPECT_TRUE(hung.connected);
    EXPECT_FALSE(hung.answered);
    EXPECT_TRUE(hung.raw.empty());

    auto empty = Post(fleet->Address(2), port, "query=info");
    EXPECT_TRUE(empty.answered);
    EXPECT_EQ(empty.status, 200);
    EXPECT_EQ(empty.body, "");

    auto closed = Post(fleet->Address(3), port, "query=info");
    EXPECT_TRUE(closed.connected);
    EXPECT_FALSE(closed.answered);
    EXPECT_TRUE(closed.raw.empty());

    std::vector<std::string> notes;
    for (const auto& e : fleet->Log().Entries()) {
        notes.push_back(e.note);
    }
    EXPECT_EQ(notes, (std::vector<std::string>{"delayed", "hang", "empty", "closed"}));

    // Clearing a fault restores ordinary answers.
    fleet->SetFaults(1, {});
    EXPECT_EQ(Post(fleet->Address(1), port, "query=info").body, InfoReply(fleet->State(1)));
}

TEST(SimFaults, CommandTimeoutGarbageAndTruncation) {
    auto fleet = StartFleet(1, "127.0.5.50");
    const std::string a = fleet->Address(0);
    const uint16_t port = fleet->HttpPort();
    fleet->UpdateState(0, [](ProjectorState& s) { s.power = kPowerOn; });
    fleet->SetFaults(0, With([](Faults& f) {
                         f.commandTimeout = true;
                         f.garbage = {"info"};
                         f.truncate = {{"control", 30}};
                     }));
    const ProjectorState before = fleet->State(0);
    EXPECT_EQ(Post(a, port, "command=~0012 5").body, kReplyTimeout);
    EXPECT_EQ(Post(a, port, "set=test").body, kReplyTimeout);
    EXPECT_EQ(fleet->State(0), before);

    std::string normal = InfoReply(before);
    auto garbage = Post(a, port, "query=info");
    ASSERT_TRUE(garbage.answered);
    EXPECT_EQ(garbage.body.size(), normal.size());
    EXPECT_NE(garbage.body, normal);

    auto cut = Post(a, port, "query=control");
    EXPECT_EQ(cut.body, ControlReply(before).substr(0, 30));
    // Topics without a fault answer in full.
    EXPECT_EQ(Post(a, port, "query=group").body, GroupReply(before));
}

TEST(SimFaults, SilentAndGoneProjectors) {
    auto fleet = StartFleet(3, "127.0.5.60");
    fleet->SetFaults(0, With([](Faults& f) { f.silentDiscovery = true; }));
    fleet->SetFaults(1, With([](Faults& f) { f.gone = true; }));
    UdpClient console;
    console.Send("Hello 250#", "127.255.255.255", fleet->DiscoveryPort());
    auto answers = console.Receive(1, 5s);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].from, fleet->Address(2));
    // The silent and the gone projector would have answered at the same moment.
    EXPECT_TRUE(console.Receive(1, 300ms).empty());
    // A silent projector still serves web control; a gone one refuses connections.
    EXPECT_TRUE(Post(fleet->Address(0), fleet->HttpPort(), "query=info").answered);
    EXPECT_FALSE(Post(fleet->Address(1), fleet->HttpPort(), "query=info").connected);

    fleet->SetFaults(1, {});
    EXPECT_TRUE(Post(fleet->Address(1), fleet->HttpPort(), "query=info").answered);
    console.Send("Hello 250#", fleet->Address(1), fleet->DiscoveryPort());
    auto back = console.Receive(1, 5s);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].from, fleet->Address(1));
}

TEST(SimFaults, GoneFromTheStartAndFaultsFromTheFleetFile) {
    std::string error;
    auto options = ParseFleetJson(R"({"projectors": [
        {"faults": {"gone": true}},
        {"mac": "0A0B0C0D0E0F", "faults": {"truncate": {"info": 5}, "replyDelayMs": 1}}
    ]})",
                                  "127.0.5.70", 3, &error);
    ASSERT_TRUE(options) << error;
    options->discoveryPort = 0;
    options->httpPort = 0;
    Fleet fleet(std::move(*options));
    ASSERT_TRUE(fleet.Start(&error)) << error;
    EXPECT_EQ(fleet.Address(1), "127.0.5.71");
    EXPECT_FALSE(Post("127.0.5.70", fleet.HttpPort(), "query=info").connected);
    EXPECT_EQ(Post("127.0.5.71", fleet.HttpPort(), "query=info").body, "<retu");
    UdpClient console;
    console.Send("Hello 250#", "127.255.255.255", fleet.DiscoveryPort());
    auto answers = console.Receive(1, 5s);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].text, "Hello 13.# 0A0B0C0D0E0F");
    EXPECT_TRUE(console.Receive(1, 300ms).empty());  // the gone one stays silent
}

TEST(SimFleet, SetNetworkMovesTheProjectorAboutASecondLater) {
    auto fleet = StartFleet(2, "127.0.5.80", [](FleetOptions& o) { o.relocationDelayMs = 300; });
    const uint16_t port = fleet->HttpPort();
    auto record = "set=network0" + std::string("7F0005C8") + "FF000000" + "7F000001" + "7F000001";
    EXPECT_EQ(Post("127.0.5.80", port, record).body, kReplyOk);
    // Until the move the old address still answers.
    EXPECT_EQ(fleet->Address(0), "127.0.5.80");
    ASSERT_TRUE(Eventually([&] { return fleet->Address(0) == "127.0.5.200"; }));
    EXPECT_TRUE(Eventually([&] { return Post("127.0.5.200", port, "query=info").answered; }));
    EXPECT_FALSE(Post("127.0.5.80", port, "query=info").connected);
    EXPECT_EQ(Post("127.0.5.200", port, "query=network").body,
              "<return>\n<network>7F0005C8FF0000007F0000017F0000010");

    UdpClient console;
    console.Send("Hello 250#", "127.255.255.255", fleet->DiscoveryPort());
    auto answers = console.Receive(2, 5s);
    ASSERT_EQ(answers.size(), 2u);
    std::set<std::string> from = {answers[0].from, answers[1].from};
    EXPECT_TRUE(from.count("127.0.5.200"));
    EXPECT_TRUE(from.count("127.0.5.81"));
}

TEST(SimFleet, LogFileHasOneLinePerRequestAndDatagram) {
    auto path = std::filesystem::temp_directory_path() /
                ("vistrel-sim-log-" + std::to_string(getpid()) + ".txt");
    std::filesystem::remove(path);
    {
        auto fleet = StartFleet(2, "127.0.5.90", [&](FleetOptions& o) { o.logFile = path; });
        Post(fleet->Address(0), fleet->HttpPort(), "query=user");
        UdpClient console;
        console.Send("Hello 250#", "127.255.255.255", fleet->DiscoveryPort());
        ASSERT_EQ(console.Receive(2, 5s).size(), 2u);
        fleet->Stop();
        EXPECT_NE(fleet->Summary().find("1 http, 2 datagrams"), std::string::npos)
            << fleet->Summary();
    }
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    std::filesystem::remove(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find(" 127.0.5.90 http \"query=user\" -> \"<return>\\n<user>"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find(" udp \"Hello 250#\" -> \"Hello 13.# "), std::string::npos);
}

TEST(SimFleet, StopClosesHungConnectionsAndEveryThread) {
    size_t before = test::ThreadsOfProcess();
    auto fleet = StartFleet(3, "127.0.5.100");
    EXPECT_EQ(test::ThreadsOfProcess(), before + static_cast<size_t>(fleet->ThreadCount()));
    fleet->SetFaults(0, With([](Faults& f) { f.hang = true; }));
    std::thread client([&] {
        auto r = Post(fleet->Address(0), fleet->HttpPort(), "query=info", 10s);
        EXPECT_FALSE(r.answered);
    });
    ASSERT_TRUE(fleet->Log().WaitFor([](const auto& e) { return !e.empty(); }, 5s));
    auto start = std::chrono::steady_clock::now();
    fleet->Stop();
    client.join();  // returns because the fleet closed the connection, not by its time limit
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(test::ThreadsOfProcess(), before);
    EXPECT_FALSE(Post("127.0.5.101", fleet->HttpPort(), "query=info").connected);
    fleet->Stop();
}

TEST(SimFleet, BusyPortIsReportedAndChosenPortsAreShared) {
    auto first = StartFleet(2, "127.0.5.110");
    FleetOptions clash = GenerateFleet(2, 1, "127.0.5.110");
    clash.discoveryPort = 0;
    clash.httpPort = first->HttpPort();
    Fleet second(std::move(clash));
    std::string error;
    EXPECT_FALSE(second.Start(&error));
    EXPECT_NE(error.find("127.0.5.110"), std::string::npos) << error;
    EXPECT_NE(first->HttpPort(), 0);
    EXPECT_NE(first->DiscoveryPort(), 0);
}

}  // namespace
}  // namespace vistrel::sim
