#include "protocol/http_request.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/host_address.h"
#include "protocol/test_http_server.h"

namespace vistrel {
namespace {

using testing::RefusingPort;
using testing::TestHttpServer;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

HttpOptions OptionsFor(uint16_t port) {
    HttpOptions options;
    options.port = port;
    return options;
}

// The head of a raw request split into lines, without the blank line that ends it.
std::vector<std::string> HeadLines(const std::string& request) {
    std::vector<std::string> lines;
    const size_t end = request.find("\r\n\r\n");
    if (end == std::string::npos) {
        return lines;
    }
    size_t at = 0;
    while (at < end) {
        const size_t next = request.find("\r\n", at);
        lines.push_back(request.substr(at, next - at));
        at = next + 2;
    }
    return lines;
}

std::string BodyOf(const std::string& request) {
    const size_t end = request.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : request.substr(end + 4);
}

// Header lines whose name matches, compared without regard to case.
std::vector<std::string> HeadersNamed(const std::string& request, const std::string& name) {
    std::vector<std::string> found;
    for (const std::string& line : HeadLines(request)) {
        if (line.size() > name.size() && line[name.size()] == ':' &&
            strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
            found.push_back(line);
        }
    }
    return found;
}

long long MsSince(SteadyClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start)
        .count();
}

class HttpRequestTest : public ::testing::Test {
  protected:
    // Sends `body` to the server and returns the raw request it captured.
    std::string RoundTrip(const std::string& body) {
        server.SetResponse(TestHttpServer::Response(200, "OK", "<return>\n<result>OK"));
        CXHttpRequest request(server.Address(), body, OptionsFor(server.Port()));
        std::string reply;
        EXPECT_TRUE(request.Send("POST", reply));
        EXPECT_EQ(reply, "<return>\n<result>OK");
        const std::vector<std::string> requests = server.Requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? std::string() : requests.back();
    }

    TestHttpServer server{"127.0.1.1"};
};

TEST_F(HttpRequestTest, PostsToTheFixedPathWithTheOneHeaderAndTheBodyUnchanged) {
    const std::string body = "command=~0000 1";
    const std::string raw = RoundTrip(body);
    const std::vector<std::string> lines = HeadLines(raw);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "POST /tgi/return.tgi HTTP/1.1");
    EXPECT_EQ(HeadersNamed(raw, "Host"),
              std::vector<std::string>{"Host: 127.0.1.1:" + std::to_string(server.Port())});
    EXPECT_EQ(HeadersNamed(raw, "Content-Type"),
              std::vector<std::string>{"Content-Type: application/x-www-form-urlencoded"});
    EXPECT_EQ(HeadersNamed(raw, "Content-Length"),
              std::vector<std::string>{"Content-Length: " + std::to_string(body.size())});
    EXPECT_TRUE(HeadersNamed(raw, "Expect").empty());
    EXPECT_TRUE(HeadersNamed(raw, "Proxy-Connection").empty());
    EXPECT_EQ(BodyOf(raw), body);
}

TEST_F(HttpRequestTest, BodiesTravelByteForByteWithoutEncoding) {
    // A blank-padded record, characters that form encoding would escape, and raw bytes.
    const std::string group =
        "set=group" + std::string("Lab") + std::string(29, ' ') + "P1" + std::string(30, ' ');
    ASSERT_EQ(group.size(), 73u);
    EXPECT_EQ(BodyOf(RoundTrip(group)), group);

    server.SetResponse(TestHttpServer::Response(200, "OK", "x"));
    const std::string odd =
        std::string("set=user1a b+c%20d&e=f~\t") + "\xc3\xa9\xff" + std::string(1, '\0') + "end  ";
    CXHttpRequest request(server.Address(), odd, OptionsFor(server.Port()));
    std::string reply;
    EXPECT_TRUE(request.Send("POST", reply));
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(BodyOf(server.Requests().back()), odd);
}

TEST_F(HttpRequestTest, LargeBodyIsSentWithoutWaitingForContinue) {
    // Clients announce large bodies with "Expect: 100-continue" by default; a projector's
    // server may never answer that, so the announcement must not be made.
    const std::string body = "set=test" + std::string(1536 * 1024, ' ') + "~";
    const std::string raw = RoundTrip(body);
    EXPECT_TRUE(HeadersNamed(raw, "Expect").empty());
    EXPECT_EQ(BodyOf(raw), body);
}

TEST_F(HttpRequestTest, ReplyIsTheBytesAsReceivedWhateverTheStatus) {
    const std::string text =
        std::string("<return>\n<info>OK\r\n\xc3\xa9\xff") + std::string(1, '\0') + "tail  ";
    server.SetResponse(TestHttpServer::Response(200, "OK", text));
    CXHttpRequest ok(server.Address(), "query=info", OptionsFor(server.Port()));
    std::string reply;
    EXPECT_TRUE(ok.Send("POST", reply));
    EXPECT_EQ(reply, text);

    // Error text with a 404 is still a reply; the caller judges it by its content.
    server.SetResponse(TestHttpServer::Response(404, "Not Found", "no such page"));
    CXHttpRequest missing(server.Address(), "query=info", OptionsFor(server.Port()));
    EXPECT_TRUE(missing.Send("POST", reply));
    EXPECT_EQ(reply, "no such page");

    // A body that ends with the connection rather than a length is read whole.
    server.SetResponse(TestHttpServer::Response(500, "Oops", "<result>timeout</result>", false));
    CXHttpRequest unsized(server.Address(), "query=info", OptionsFor(server.Port()));
    EXPECT_TRUE(unsized.Send("POST", reply));
    EXPECT_EQ(reply, "<result>timeout</result>");
}

TEST_F(HttpRequestTest, EmptyOrMissingAnswerIsAFailureWithAnEmptyReply) {
    server.SetResponse(TestHttpServer::Response(200, "OK", ""));
    CXHttpRequest empty(server.Address(), "query=info", OptionsFor(server.Port()));
    std::string reply = "stale";
    EXPECT_FALSE(empty.Send("POST", reply));
    EXPECT_EQ(reply, "");

    server.SetMode(TestHttpServer::Mode::kCloseAtOnce);
    CXHttpRequest hungUp(server.Address(), "query=info", OptionsFor(server.Port()));
    reply = "stale";
    EXPECT_FALSE(hungUp.Send("POST", reply));
    EXPECT_EQ(reply, "");
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(HttpRequest, RefusedConnectionFailsWithAnEmptyReply) {
    RefusingPort refusing("127.0.1.2");
    CXHttpRequest request("127.0.1.2", "query=info", OptionsFor(refusing.Port()));
    std::string reply = "stale";
    const auto start = SteadyClock::now();
    EXPECT_FALSE(request.Send("POST", reply));
    EXPECT_EQ(reply, "");
    EXPECT_LT(MsSince(start), 5000);
}

TEST(HttpRequest, EmptyHostFailsAtOnceAndLeavesTheReply) {
    CXHttpRequest request("", "query=info");
    std::string reply = "previous";
    EXPECT_FALSE(request.Send("POST", reply));
    EXPECT_EQ(reply, "previous");
}

TEST_F(HttpRequestTest, HostOrMethodThatIsNotPlainIsRefusedBeforeAnyConnection) {
    server.SetResponse(TestHttpServer::Response(200, "OK", "answer"));
    const std::string hosts[] = {"127.0.1.1/x?", "user@127.0.1.1", "127.0.1.1:80", "127.0.1.1 ",
                                 "127.0.1.1\r\nX: y"};
    for (const std::string& host : hosts) {
        CXHttpRequest request(host, "query=info", OptionsFor(server.Port()));
        std::string reply = "stale";
        EXPECT_FALSE(request.Send("POST", reply)) << host;
        EXPECT_EQ(reply, "") << host;
    }
    CXHttpRequest request(server.Address(), "query=info", OptionsFor(server.Port()));
    for (const std::string method : {"", "POST\r\nX-Injected: 1", "post", "PO ST"}) {
        std::string reply = "stale";
        EXPECT_FALSE(request.Send(method, reply)) << method;
        EXPECT_EQ(reply, "") << method;
    }
    EXPECT_EQ(server.Connections(), 0u);
}

// "0.0.0.0" connects to this workstation itself on Linux: a listener on 127.0.0.1 would
// answer in a projector's place. Such addresses, and every other one that is not one host,
// never open a connection.
TEST(HttpRequest, AddressThatIsNotOneHostNeverConnects) {
    TestHttpServer local("127.0.0.1");
    local.SetResponse(TestHttpServer::Response(200, "OK", "<return>\n<result>OK"));
    for (const std::string host :
         {"0.0.0.0", "0.1.2.3", "255.255.255.255", "224.0.0.1", "239.255.255.250", "240.0.0.1",
          "localhost", "127.0.0.01", "127.1", "127.0.0.1.", "2130706433"}) {
        CXHttpRequest request(host, "set=user", OptionsFor(local.Port()));
        std::string reply = "stale";
        EXPECT_FALSE(request.Send("POST", reply)) << host;
        EXPECT_EQ(reply, "") << host;
    }
    EXPECT_EQ(local.Connections(), 0u);

    // The same listener is reachable by its own address: the refusals above were the
    // address check's, not a dead server's.
    CXHttpRequest direct("127.0.0.1", "query=info", OptionsFor(local.Port()));
    std::string reply;
    EXPECT_TRUE(direct.Send("POST", reply));
    EXPECT_EQ(local.Connections(), 1u);
}

TEST(HostAddress, OnlyDottedQuadsOfOneHostAreUsable) {
    for (const char* usable : {"127.0.0.1", "127.255.255.254", "10.77.128.1", "192.168.1.255",
                               "1.0.0.0", "223.255.255.255", "172.16.0.0"}) {
        EXPECT_TRUE(IsUsableHostAddress(usable)) << usable;
    }
    for (const char* unusable :
         {"", "0.0.0.0", "0.255.255.255", "224.0.0.0", "255.255.255.255", "240.1.2.3", "256.1.1.1",
          "1.2.3", "1.2.3.4.5", "1..2.3", ".1.2.3", "1.2.3.", "01.2.3.4", "1.2.3.4 ", " 1.2.3.4",
          "1.2.3.-4", "1.2.3.1000", "::1", "host"}) {
        EXPECT_FALSE(IsUsableHostAddress(unusable)) << '"' << unusable << '"';
    }
}

TEST_F(HttpRequestTest, OversizedReplyFailsWholeRatherThanTruncated) {
    HttpOptions options = OptionsFor(server.Port());
    options.maxReplyBytes = 1000;
    const std::string atCap(1000, 'a');
    server.SetResponse(TestHttpServer::Response(200, "OK", atCap));
    CXHttpRequest fits(server.Address(), "query=info", options);
    std::string reply;
    EXPECT_TRUE(fits.Send("POST", reply));
    EXPECT_EQ(reply, atCap);

    // Refused from the announced length, and again while counting an unannounced body.
    for (const bool announced : {true, false}) {
        server.SetResponse(TestHttpServer::Response(200, "OK", atCap + "b", announced));
        CXHttpRequest tooBig(server.Address(), "query=info", options);
        reply = "stale";
        EXPECT_FALSE(tooBig.Send("POST", reply)) << announced;
        EXPECT_EQ(reply, "") << announced;
    }
}

TEST_F(HttpRequestTest, ProxySettingsInTheEnvironmentAreIgnored) {
    RefusingPort deadProxy("127.0.1.9");
    const std::string proxy = "http://127.0.1.9:" + std::to_string(deadProxy.Port());
    const char* names[] = {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"};
    std::vector<std::optional<std::string>> saved;
    for (const char* name : names) {
        const char* value = std::getenv(name);
        saved.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        setenv(name, proxy.c_str(), 1);
    }
    server.SetResponse(TestHttpServer::Response(200, "OK", "direct"));
    CXHttpRequest request(server.Address(), "query=info", OptionsFor(server.Port()));
    std::string reply;
    const bool sent = request.Send("POST", reply);
    for (size_t i = 0; i < saved.size(); ++i) {
        if (saved[i]) {
            setenv(names[i], saved[i]->c_str(), 1);
        } else {
            unsetenv(names[i]);
        }
    }
    EXPECT_TRUE(sent);
    EXPECT_EQ(reply, "direct");
}

TEST(HttpRequestLimits, SilentServerIsCutOffByTheTotalTimeLimit) {
    TestHttpServer server("127.0.1.3");
    server.SetMode(TestHttpServer::Mode::kHang);
    HttpOptions options = OptionsFor(server.Port());
    options.connectTimeoutMs = 1000;
    options.totalTimeoutMs = 300;
    CXHttpRequest request(server.Address(), "query=info", options);
    std::string reply = "stale";
    const auto start = SteadyClock::now();
    EXPECT_FALSE(request.Send("POST", reply));
    const long long elapsed = MsSince(start);
    std::printf("silent server cut off after %lld ms (limit 300 ms)\n", elapsed);
    EXPECT_EQ(reply, "");
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_LT(elapsed, 5000);
}

TEST(HttpRequestLimits, CancelFromAnotherThreadEndsATransferInFlight) {
    TestHttpServer server("127.0.1.4");
    server.SetMode(TestHttpServer::Mode::kHang);
    HttpOptions options = OptionsFor(server.Port());
    options.totalTimeoutMs = 20000;
    auto token = std::make_shared<CancelToken>();
    CXHttpRequest request(server.Address(), "query=info", options, token);

    SteadyClock::time_point cancelledAt{};
    std::thread canceller([&] {
        // Cancel only once the request is on the wire and the server is sitting on it.
        ASSERT_TRUE(server.WaitForRequests(1, 10s));
        std::this_thread::sleep_for(50ms);
        cancelledAt = SteadyClock::now();
        token->Cancel();
    });
    std::string reply = "stale";
    const bool sent = request.Send("POST", reply);
    const auto returnedAt = SteadyClock::now();
    canceller.join();

    EXPECT_FALSE(sent);
    EXPECT_EQ(reply, "");
    const auto latency =
        std::chrono::duration_cast<std::chrono::microseconds>(returnedAt - cancelledAt);
    std::printf("Send returned %.2f ms after Cancel()\n", latency.count() / 1000.0);
    EXPECT_LT(latency, 2s);

    // The token stays cancelled: a later Send fails without connecting.
    const size_t connections = server.Connections();
    CXHttpRequest later(server.Address(), "query=info", options, token);
    reply = "stale";
    const auto start = SteadyClock::now();
    EXPECT_FALSE(later.Send("POST", reply));
    EXPECT_EQ(reply, "");
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_EQ(server.Connections(), connections);
}

TEST(CancelToken, WakesRegisteredWaitersOnlyAndLateRegistrationsAtOnce) {
    CancelToken token;
    int first = 0;
    int second = 0;
    auto bump = [](void* context) { ++*static_cast<int*>(context); };
    const uint64_t a = token.Register(bump, &first);
    const uint64_t b = token.Register(bump, &second);
    EXPECT_NE(a, b);
    token.Unregister(b);
    EXPECT_EQ(first, 0);
    EXPECT_FALSE(token.IsCancelled());

    token.Cancel();
    token.Cancel();
    EXPECT_TRUE(token.IsCancelled());
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);

    int late = 0;
    token.Unregister(token.Register(bump, &late));
    EXPECT_EQ(late, 1);
}

TEST(CancelToken, CancelRacingWithUnregisterNeverTouchesAFreedContext) {
    // Each round frees the waiter's context right after Unregister, as Send frees its
    // transfer; the sanitizers catch a wake-up that lands afterwards.
    for (int round = 0; round < 200; ++round) {
        CancelToken token;
        std::atomic<bool> go{false};
        std::thread registrant([&] {
            while (!go.load()) {
            }
            for (int i = 0; i < 20; ++i) {
                auto counter = std::make_unique<std::atomic<int>>(0);
                const uint64_t id = token.Register(
                    [](void* context) { static_cast<std::atomic<int>*>(context)->fetch_add(1); },
                    counter.get());
                token.Unregister(id);
                // Woken once if the token was cancelled by then, never twice.
                EXPECT_LE(counter->load(), 1);
            }
        });
        go.store(true);
        token.Cancel();
        registrant.join();
        EXPECT_TRUE(token.IsCancelled());
    }
}

TEST(HttpRequestLimits, ConcurrentSendsEndPromptlyWhenTheirSharedTokenIsCancelled) {
    TestHttpServer server("127.0.1.5");
    server.SetResponse(TestHttpServer::Response(200, "OK", "<return>\n<result>OK"));
    auto token = std::make_shared<CancelToken>();
    const HttpOptions options = OptionsFor(server.Port());
    constexpr int kThreads = 4;
    constexpr int kMaxSendsEach = 2000;
    std::atomic<int> answered{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&] {
            for (int i = 0; i < kMaxSendsEach && !token->IsCancelled(); ++i) {
                CXHttpRequest request(server.Address(), "query=info", options, token);
                std::string reply;
                if (request.Send("POST", reply)) {
                    EXPECT_EQ(reply, "<return>\n<result>OK");
                    ++answered;
                } else {
                    EXPECT_EQ(reply, "");
                }
            }
            CXHttpRequest after(server.Address(), "query=info", options, token);
            std::string reply = "stale";
            EXPECT_FALSE(after.Send("POST", reply));
            EXPECT_EQ(reply, "");
        });
    }
    // Cancel part-way, while exchanges are starting, running and ending.
    const bool started = server.WaitForRequests(10, 10s);
    const auto start = SteadyClock::now();
    token->Cancel();
    for (std::thread& sender : senders) {
        sender.join();
    }
    EXPECT_TRUE(started);
    EXPECT_LT(MsSince(start), 5000);
    EXPECT_GE(answered.load(), 1);
}

}  // namespace
}  // namespace vistrel
