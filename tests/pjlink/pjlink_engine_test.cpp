// The PJLink engine against simulated projectors on loopback, and against raw peers that
// misbehave in ways no simulated projector does.
#include <gtest/gtest.h>

#include <asio.hpp>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "pjlink/pjlink_engine.h"
#include "sim/pjlink_fleet.h"

namespace vistrel::pjlink {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> Lines(std::initializer_list<const char*> commands) {
    std::vector<std::string> lines;
    for (const char* c : commands)
        lines.push_back(std::string(c) + "\r");
    return lines;
}

// Waits for a condition that another thread makes true, with a generous bound.
template <class Pred>
bool WaitFor(Pred pred) {
    for (int i = 0; i < 2000 && !pred(); ++i)
        std::this_thread::sleep_for(10ms);
    return pred();
}

struct FleetFixture : ::testing::Test {
    void SetUp() override {
        auto options = sim::GeneratePjlinkFleet(3, "127.0.32.2");
        options.port = 0;
        options.searchPort = 0;
        options.transition = 3600s;  // stays warming up until the test moves it on
        options.idleClose = 30s;
        options.projectors[0].commandClass = 1;
        options.projectors[1].commandClass = 2;
        options.projectors[1].password = "panel";
        options.projectors[2].power = 0;
        options.projectors[2].password.clear();
        fleet = std::make_unique<sim::PjlinkFleet>(std::move(options));
        std::string error;
        ASSERT_TRUE(fleet->Start(&error)) << error;
        EngineOptions engineOptions;
        engineOptions.port = fleet->Port();
        engine = std::make_unique<Engine>(engineOptions);
    }
    std::unique_ptr<sim::PjlinkFleet> fleet;
    std::unique_ptr<Engine> engine;
};

TEST_F(FleetFixture, PollsBothClassesOverOneReusedConnectionEach) {
    Exchange open = SendAndWait(*engine, fleet->Address(0), PollCommands(1), "");
    ASSERT_EQ(open.failure, Failure::None);
    EXPECT_FALSE(open.authenticated);
    Status s1;
    for (const std::string& line : open.replies)
        ApplyReply(ParseReply(line), s1);
    EXPECT_EQ(s1.commandClass, 1);
    EXPECT_EQ(s1.power, Power::On);
    EXPECT_EQ(SourceLabel(s1), "Digital 1");
    EXPECT_EQ(s1.lamps.at(0).hours, 400u);

    Exchange secured = SendAndWait(*engine, fleet->Address(1), PollCommands(2), "panel");
    ASSERT_EQ(secured.failure, Failure::None);
    EXPECT_TRUE(secured.authenticated);
    ASSERT_EQ(secured.replies.size(), PollCommands(2).size());
    Status s2;
    for (const std::string& line : secured.replies)
        ApplyReply(ParseReply(line), s2);
    EXPECT_EQ(s2.commandClass, 2);
    EXPECT_EQ(s2.software, "2.1");
    EXPECT_EQ(s2.inputs.size(), 5u);

    // Again within the idle time: the same connections, and no second digest.
    EXPECT_EQ(SendAndWait(*engine, fleet->Address(1), Lines({"%2INNM ?31"}), "panel").replies,
              std::vector<std::string>{"%2INNM=HDMI 1"});
    EXPECT_EQ(SendAndWait(*engine, fleet->Address(0), Lines({"%1POWR ?"}), "").replies,
              std::vector<std::string>{"%1POWR=1"});
    EXPECT_EQ(engine->ConnectionsOpened(), 2u);
    EXPECT_EQ(fleet->Accepted(), 2u);
    size_t toSecured = 0;
    for (const auto& entry : fleet->Log()) {
        EXPECT_EQ(entry.line.find("\r"), std::string::npos);
        if (entry.address == fleet->Address(1))
            ++toSecured;
    }
    EXPECT_EQ(toSecured, PollCommands(2).size() + 1);
}

TEST_F(FleetFixture, WrongPasswordIsRefusedAndTheRightOneThenWorks) {
    Exchange wrong = SendAndWait(*engine, fleet->Address(1), Lines({"%1POWR ?"}), "guess");
    EXPECT_EQ(wrong.failure, Failure::PasswordRefused);
    EXPECT_TRUE(wrong.replies.empty());
    EXPECT_EQ(fleet->Log().size(), 0u);  // the projector carried out nothing
    EXPECT_EQ(engine->OpenConnections(), 0u);
    Exchange none = SendAndWait(*engine, fleet->Address(1), Lines({"%1POWR ?"}), "");
    EXPECT_EQ(none.failure, Failure::PasswordRefused);
    Exchange right = SendAndWait(*engine, fleet->Address(1), Lines({"%1POWR ?"}), "panel");
    EXPECT_EQ(right.failure, Failure::None);
    EXPECT_EQ(right.replies, std::vector<std::string>{"%1POWR=1"});
}

TEST_F(FleetFixture, WarmUpAnswersBusyUntilItEnds) {
    const std::string ip = fleet->Address(2);
    Exchange on =
        SendAndWait(*engine, ip, Lines({"%1POWR 1", "%1POWR ?", "%1INPT 31", "%1POWR 0"}), "");
    ASSERT_EQ(on.failure, Failure::None);
    EXPECT_EQ(on.replies,
              (std::vector<std::string>{"%1POWR=OK", "%1POWR=3", "%1INPT=ERR3", "%1POWR=ERR3"}));
    fleet->SetPower(2, 1);  // warm-up over
    Exchange after = SendAndWait(*engine, ip, Lines({"%1INPT 31", "%1INPT 99", "%1XXXX ?"}), "");
    EXPECT_EQ(after.replies, (std::vector<std::string>{"%1INPT=OK", "%1INPT=ERR2", "%1XXXX=ERR1"}));
}

TEST(PjlinkEngine, ReopensAConnectionTheProjectorClosedWhileIdle) {
    auto options = sim::GeneratePjlinkFleet(1, "127.0.32.10");
    options.port = 0;
    options.searchPort = 0;
    options.idleClose = 100ms;
    sim::PjlinkFleet fleet(std::move(options));
    ASSERT_TRUE(fleet.Start());
    EngineOptions engineOptions;
    engineOptions.port = fleet.Port();
    Engine engine(engineOptions);
    ASSERT_EQ(SendAndWait(engine, fleet.Address(0), Lines({"%1POWR ?"}), "").failure,
              Failure::None);
    ASSERT_TRUE(WaitFor([&] { return fleet.IdleClosed() == 1; }));
    Exchange again = SendAndWait(engine, fleet.Address(0), Lines({"%1NAME ?"}), "");
    EXPECT_EQ(again.failure, Failure::None);
    EXPECT_EQ(again.replies, std::vector<std::string>{"%1NAME=PJLink 1"});
    EXPECT_EQ(engine.ConnectionsOpened(), 2u);
}

// A peer that accepts and sends `greeting`, then says nothing more (or never closes).
class RawPeer {
  public:
    RawPeer(const std::string& address, std::string greeting)
        : acceptor_(io_, {asio::ip::make_address_v4(address), 0}), greeting_(std::move(greeting)) {
        Accept();
        thread_ = std::thread([this] { io_.run(); });
    }
    ~RawPeer() {
        io_.stop();
        thread_.join();
    }
    uint16_t Port() const { return acceptor_.local_endpoint().port(); }

  private:
    void Accept() {
        acceptor_.async_accept([this](const asio::error_code& ec, asio::ip::tcp::socket s) {
            if (ec)
                return;
            sockets_.push_back(std::make_unique<asio::ip::tcp::socket>(std::move(s)));
            if (!greeting_.empty())
                asio::write(*sockets_.back(), asio::buffer(greeting_));
            Accept();
        });
    }
    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    std::string greeting_;
    std::vector<std::unique_ptr<asio::ip::tcp::socket>> sockets_;
    std::thread thread_;
};

TEST(PjlinkEngine, BoundsSilenceLongLinesGarbageAndRefusal) {
    EngineOptions options;
    options.replyTimeout = 200ms;
    options.connectTimeout = 500ms;
    {
        RawPeer silent("127.0.32.20", "");
        options.port = silent.Port();
        Engine engine(options);
        EXPECT_EQ(SendAndWait(engine, "127.0.32.20", Lines({"%1POWR ?"}), "").failure,
                  Failure::TimedOut);
    }
    {
        RawPeer chatty("127.0.32.21", std::string(5000, 'x'));
        options.port = chatty.Port();
        Engine engine(options);
        EXPECT_EQ(SendAndWait(engine, "127.0.32.21", Lines({"%1POWR ?"}), "").failure,
                  Failure::Malformed);
    }
    {
        RawPeer http("127.0.32.22", "HTTP/1.1 400 Bad\r\n");
        options.port = http.Port();
        Engine engine(options);
        EXPECT_EQ(SendAndWait(engine, "127.0.32.22", Lines({"%1POWR ?"}), "").failure,
                  Failure::Malformed);
    }
    Engine engine(options);  // nobody listens on 127.0.32.23
    EXPECT_EQ(SendAndWait(engine, "127.0.32.23", Lines({"%1POWR ?"}), "").failure,
              Failure::Unreachable);
    EXPECT_EQ(SendAndWait(engine, "255.255.255.255", Lines({"%1POWR ?"}), "").failure,
              Failure::BadAddress);
}

TEST(PjlinkEngine, StopEndsEveryWaitingExchangeOnce) {
    RawPeer silent("127.0.32.30", "PJLINK 0\r");
    EngineOptions options;
    options.port = silent.Port();
    options.replyTimeout = 3600s;
    options.connectTimeout = 3600s;
    auto engine = std::make_unique<Engine>(options);
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<Failure> ends;
    for (int i = 0; i < 5; ++i) {
        engine->Send("127.0.32.30", Lines({"%1POWR ?"}), "", [&](Exchange end) {
            std::lock_guard lock(mutex);
            ends.push_back(end.failure);
            cv.notify_all();
        });
    }
    ASSERT_TRUE(WaitFor([&] { return engine->OpenConnections() == 1; }));
    engine->Stop();
    std::unique_lock lock(mutex);
    EXPECT_EQ(ends, std::vector<Failure>(5, Failure::Stopped));
    lock.unlock();
    Exchange late = SendAndWait(*engine, "127.0.32.30", Lines({"%1POWR ?"}), "");
    EXPECT_EQ(late.failure, Failure::Stopped);
}

TEST(PjlinkEngine, BurstToManyProjectorsKeepsWithinTheConnectionCapAndEachOneInOrder) {
    auto fleetOptions = sim::GeneratePjlinkFleet(40, "127.0.32.40");
    fleetOptions.port = 0;
    fleetOptions.searchPort = 0;
    for (auto& p : fleetOptions.projectors)
        p.password.clear();
    sim::PjlinkFleet fleet(std::move(fleetOptions));
    std::string error;
    ASSERT_TRUE(fleet.Start(&error)) << error;
    EngineOptions options;
    options.port = fleet.Port();
    options.maxConnections = 6;
    options.closeWait = 60s;  // the simulator always closes its side first, however busy
    Engine engine(options);

    // Three exchanges to each projector, all sent at once: most wait for a connection, and
    // the idle ones are closed to make room.
    const std::vector<std::string> commands = {"%1POWR ?", "%1INPT ?", "%1NAME ?"};
    std::mutex mutex;
    std::condition_variable cv;
    size_t ended = 0;
    size_t failed = 0;
    for (const std::string& command : commands) {
        for (size_t i = 0; i < fleet.Size(); ++i) {
            engine.Send(fleet.Address(i), {command + "\r"}, "", [&](Exchange end) {
                std::lock_guard lock(mutex);
                ++ended;
                failed += end.failure != Failure::None || end.replies.size() != 1;
                cv.notify_all();
            });
        }
    }
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, 60s, [&] { return ended == 3 * fleet.Size(); }));
        EXPECT_EQ(failed, 0u);
    }
    EXPECT_LE(fleet.PeakConnections(), options.maxConnections);
    EXPECT_GE(engine.ConnectionsOpened(), fleet.Size());
    for (size_t i = 0; i < fleet.Size(); ++i) {
        std::vector<std::string> heard;
        for (const sim::PjlinkLogEntry& entry : fleet.Log()) {
            if (entry.address == fleet.Address(i))
                heard.push_back(entry.line);
        }
        EXPECT_EQ(heard, commands) << fleet.Address(i);
    }
}

}  // namespace
}  // namespace vistrel::pjlink
