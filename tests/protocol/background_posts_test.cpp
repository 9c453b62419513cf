// Requests sent without waiting for their reply: they reach the projector, never block the
// caller, and a hung projector never holds up the shutdown.
#include "protocol/background_posts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "protocol/test_http_server.h"

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using testing::TestHttpServer;

HttpOptions OptionsFor(const TestHttpServer& server) {
    HttpOptions options;
    options.port = server.Port();
    // Far longer than the test may wait: only cancellation can end a hung transfer.
    options.connectTimeoutMs = 60000;
    options.totalTimeoutMs = 60000;
    return options;
}

TEST(BackgroundPosts, DeliversTheBodyWithoutWaitingForTheReply) {
    TestHttpServer server("127.0.5.1");
    server.SetMode(TestHttpServer::Mode::kHang);
    BackgroundPosts posts;
    ASSERT_TRUE(posts.Post(server.Address(), "set=network0AABBCCDD", OptionsFor(server)));
    ASSERT_TRUE(server.WaitForRequests(1, 10s));
    const std::string request = server.Requests().front();
    EXPECT_NE(request.find("POST /tgi/return.tgi"), std::string::npos);
    EXPECT_NE(request.find("Content-Type: application/x-www-form-urlencoded"), std::string::npos);
    EXPECT_EQ(request.substr(request.size() - 20), "set=network0AABBCCDD");
    // The reply never comes; the transfer is still running in the background.
    EXPECT_EQ(posts.Running(), 1u);

    posts.CancelAll();
    EXPECT_EQ(posts.Running(), 0u);
    EXPECT_TRUE(posts.Cancelled());
    // After shutdown nothing new starts.
    EXPECT_FALSE(posts.Post(server.Address(), "set=test", OptionsFor(server)));
    EXPECT_FALSE(posts.Run([](const std::shared_ptr<CancelToken>&) { FAIL(); }));
}

TEST(BackgroundPosts, ManyPostsAllArriveAndJobsShareTheCancelToken) {
    TestHttpServer server("127.0.5.2");
    server.SetResponse(TestHttpServer::Response(200, "OK", "<return>\n<result>OK"));
    BackgroundPosts posts;
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(posts.Post(server.Address(), "set=test", OptionsFor(server)));
    ASSERT_TRUE(server.WaitForRequests(5, 10s));

    std::promise<bool> cancelled;
    auto seen = cancelled.get_future();
    TestHttpServer hung("127.0.5.3");
    hung.SetMode(TestHttpServer::Mode::kHang);
    ASSERT_TRUE(
        posts.Run([&, options = OptionsFor(hung)](const std::shared_ptr<CancelToken>& token) {
            std::string reply;
            CXHttpRequest(hung.Address(), "query=network", options, token).Send("POST", reply);
            cancelled.set_value(token->IsCancelled());
        }));
    ASSERT_TRUE(hung.WaitForRequests(1, 10s));
    posts.CancelAll();  // ends the hung exchange instead of waiting a minute for it
    ASSERT_EQ(seen.wait_for(0s), std::future_status::ready);
    EXPECT_TRUE(seen.get());
}

}  // namespace
}  // namespace vistrel
