// The command line's exchanges: all at once over the HTTP engine, in the order given per
// projector, and each failure told as a time-out or as no connection.
#include "cli/projector_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/cli_fixture.h"
#include "protocol/codec.h"

namespace vistrel::cli::test {
namespace {

class ProjectorClientTest : public CliTest {
  protected:
    HttpOptions Http(int limitMs = 8000) {
        HttpOptions http;
        http.port = Fleet().HttpPort();
        http.totalTimeoutMs = limitMs;
        http.connectTimeoutMs = std::min(http.connectTimeoutMs, limitMs);
        return http;
    }
    // The bodies projector `index` received, in the order received.
    std::vector<std::string> BodiesOf(size_t index) {
        std::vector<std::string> bodies;
        for (const sim::LogEntry& e : Fleet().Log().Entries()) {
            if (e.kind == "http" && e.projector == index)
                bodies.push_back(e.body);
        }
        return bodies;
    }
};

TEST_F(ProjectorClientTest, RequestsToOneProjectorGoInTheOrderGivenWhateverTheirText) {
    StartFleet(2);
    const std::string second = Fleet().Address(1);
    const std::vector<ExchangeRequest> requests = {
        {kFirstProjector, QueryBody(QueryTopic::User)},
        {second, QueryBody(QueryTopic::Info)},
        {kFirstProjector, QueryBody(QueryTopic::Control)},
        {kFirstProjector, QueryBody(QueryTopic::Alert)},
        {second, QueryBody(QueryTopic::Group)},
        {kFirstProjector, QueryBody(QueryTopic::Group)},
    };
    const auto results = ProjectorClient(Http()).Exchange(requests);
    ASSERT_EQ(results.size(), requests.size());
    for (size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(results[i].ip, requests[i].ip) << i;
        EXPECT_EQ(results[i].body, requests[i].body) << i;
        EXPECT_THAT(results[i].reply, ::testing::StartsWith("<return>")) << i;
        EXPECT_FALSE(results[i].hitTimeLimit) << i;
    }
    EXPECT_EQ(BodiesOf(0), (std::vector<std::string>{
                               QueryBody(QueryTopic::User), QueryBody(QueryTopic::Control),
                               QueryBody(QueryTopic::Alert), QueryBody(QueryTopic::Group)}));
    EXPECT_EQ(BodiesOf(1), (std::vector<std::string>{QueryBody(QueryTopic::Info),
                                                     QueryBody(QueryTopic::Group)}));
}

TEST_F(ProjectorClientTest, ATimeOutIsCountedPerExchangeAndARefusalIsNoConnection) {
    StartFleet(2, [](sim::FleetOptions& o) { o.projectors[0].faults.hang = true; });
    // Two to the hung projector: the second waits out the first before its own limit runs.
    const std::vector<ExchangeRequest> requests = {
        {kFirstProjector, QueryBody(QueryTopic::Info)},
        {kFirstProjector, QueryBody(QueryTopic::Group)},
        {kNobody, QueryBody(QueryTopic::Info)},
        {Fleet().Address(1), QueryBody(QueryTopic::Info)},
    };
    const auto results = ProjectorClient(Http(300)).Exchange(requests);
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(QueryOutcome(results[0], false), Outcome::TimeOut);
    EXPECT_EQ(QueryOutcome(results[1], false), Outcome::TimeOut);
    EXPECT_EQ(QueryOutcome(results[2], false), Outcome::Unreachable);
    EXPECT_EQ(QueryOutcome(results[3], true), Outcome::Ok);
    EXPECT_EQ(BodiesOf(0).size(), 2u);
}

}  // namespace
}  // namespace vistrel::cli::test
