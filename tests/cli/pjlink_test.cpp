// PJLink projectors through vistrel-cli, against simulated ones on loopback test ports (the
// class-2 search is never used here: nothing is broadcast).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/cli_fixture.h"
#include "pjlink/pjlink_store.h"
#include "sim/pjlink_fleet.h"

namespace vistrel::cli::test {
namespace {

using json = nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kFirstPjlink = "127.0.12.2";

class PjlinkCliTest : public CliTest {
  protected:
    void TearDown() override {
        if (pjlink_)
            pjlink_->Stop();
        CliTest::TearDown();
    }

    // `count` simulated projectors from 127.0.12.2: every other one class 2, the third one
    // (127.0.12.4) with the password "panel".
    void StartPjlink(size_t count,
                     const std::function<void(sim::PjlinkFleetOptions&)>& adjust = {}) {
        sim::PjlinkFleetOptions options = sim::GeneratePjlinkFleet(count, kFirstPjlink);
        options.port = 0;
        options.searchPort = 0;
        options.transition = std::chrono::milliseconds(50);
        if (adjust)
            adjust(options);
        pjlink_ = std::make_unique<sim::PjlinkFleet>(std::move(options));
        std::string error;
        ASSERT_TRUE(pjlink_->Start(&error)) << error;
    }

    CliRun RunPj(std::vector<std::string> args) {
        args.push_back("--pjlink-port");
        args.push_back(std::to_string(pjlink_ ? pjlink_->Port() : 1));
        return Run(std::move(args));
    }

    std::filesystem::path PasswordsFile() const {
        return pjlink::Passwords::DefaultPath(StoreFile());
    }

    static std::string ReadFile(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // The "ip" member of each object of a JSON listing, in order.
    static std::vector<std::string> Ips(const std::string& text) {
        std::vector<std::string> ips;
        for (const auto& row : json::parse(text))
            ips.push_back(row["ip"]);
        return ips;
    }

    std::unique_ptr<sim::PjlinkFleet> pjlink_;
};

TEST_F(PjlinkCliTest, ScanFindsTheListeningProjectorsAndTheStoreRemembersThem) {
    StartPjlink(3);
    // 127.0.12.1 to .6 are tried; only .2 to .4 listen, and .4 asks for a password.
    CliRun scan = RunPj({"pjlink", "scan", "127.0.12.0/29", "--add", "--group", "Lab", "--json"});
    ASSERT_EQ(scan.status, kExitOk) << scan.err;
    const json found = json::parse(scan.out);
    ASSERT_EQ(Ips(scan.out), (std::vector<std::string>{"127.0.12.2", "127.0.12.3", "127.0.12.4"}));
    EXPECT_EQ(found[0]["password"], false);
    EXPECT_EQ(found[2]["password"], true);
    EXPECT_EQ(found[0]["result"], "added");
    EXPECT_THAT(scan.err, HasSubstr("3 of 6 addresses"));
    // The scan only connects: nothing reached a projector's command log.
    EXPECT_TRUE(pjlink_->Log().empty());

    CliRun add = RunPj({"pjlink", "add", "127.0.12.2", "127.0.12.9", "--json"});
    ASSERT_EQ(add.status, kExitOk) << add.err;
    EXPECT_EQ(json::parse(add.out)[0]["result"], "already known");
    EXPECT_EQ(json::parse(add.out)[0]["group"], "Lab");  // kept
    EXPECT_EQ(json::parse(add.out)[1]["result"], "added");
    EXPECT_EQ(RunPj({"pjlink", "add", "127.0.12.300"}).status, kExitUsage);
    EXPECT_EQ(RunPj({"pjlink", "add", "224.0.0.1"}).status, kExitUsage);

    CliRun remove = RunPj({"pjlink", "remove", "127.0.12.9", "127.0.12.77"});
    ASSERT_EQ(remove.status, kExitOk) << remove.err;
    EXPECT_THAT(remove.out, HasSubstr("removed"));
    EXPECT_THAT(remove.out, HasSubstr("not known"));

    CliRun list = RunPj({"pjlink", "list", "--json"});
    ASSERT_EQ(list.status, kExitOk) << list.err;
    EXPECT_EQ(Ips(list.out), (std::vector<std::string>{"127.0.12.2", "127.0.12.3", "127.0.12.4"}));
    EXPECT_EQ(json::parse(list.out)[1]["group"], "Lab");

    CliRun wide = RunPj({"pjlink", "scan", "10.0.0.0/15"});
    EXPECT_EQ(wide.status, kExitUsage);
    EXPECT_THAT(wide.err, HasSubstr("too wide"));
    EXPECT_EQ(RunPj({"pjlink", "scan", "10.0.0.0/33"}).status, kExitUsage);
}

TEST_F(PjlinkCliTest, PasswordsComeFromStandardInputAndAreNeverPrintedOrStored) {
    input_ = "fleet secret\n";
    CliRun fleet = Run({"pjlink", "password"}, false);
    ASSERT_EQ(fleet.status, kExitOk) << fleet.err;
    input_ = "panel\r\n";
    CliRun own = Run({"pjlink", "password", "--projector", "127.0.12.4"}, false);
    ASSERT_EQ(own.status, kExitOk) << own.err;
    for (const CliRun& run : {fleet, own}) {
        EXPECT_THAT(run.out + run.err, Not(HasSubstr("secret")));
        EXPECT_THAT(run.out + run.err, Not(HasSubstr("panel")));
    }
    struct stat info {};
    ASSERT_EQ(::stat(PasswordsFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    pjlink::Passwords passwords(PasswordsFile());
    ASSERT_TRUE(passwords.Load());
    EXPECT_EQ(passwords.For("127.0.12.4"), "panel");
    EXPECT_EQ(passwords.For("127.0.12.5"), "fleet secret");
    EXPECT_THAT(ReadFile(StoreFile()), Not(HasSubstr("panel")));

    CliRun list = Run({"pjlink", "add", "127.0.12.4", "127.0.12.5"}, false);
    list = Run({"pjlink", "list"}, false);
    EXPECT_THAT(list.out, Not(HasSubstr("panel")));
    EXPECT_THAT(list.out, HasSubstr("own"));
    EXPECT_THAT(list.out, HasSubstr("fleet-wide"));

    // Too long for PJLink: refused, the file unchanged.
    input_ = std::string(33, 'x') + "\n";
    EXPECT_EQ(Run({"pjlink", "password"}, false).status, kExitUsage);
    // A file others may read is left alone rather than rewritten without its entries.
    const std::string before = ReadFile(PasswordsFile());
    ::chmod(PasswordsFile().c_str(), 0644);
    input_ = "new\n";
    CliRun refused = Run({"pjlink", "password", "--projector", "127.0.12.9"}, false);
    EXPECT_EQ(refused.status, kExitUsage);
    EXPECT_THAT(refused.err, HasSubstr("chmod 600"));
    EXPECT_EQ(ReadFile(PasswordsFile()), before);
    // An empty line removes the projector's own password.
    ::chmod(PasswordsFile().c_str(), 0600);
    input_ = "\n";
    ASSERT_EQ(Run({"pjlink", "password", "--projector", "127.0.12.4"}, false).status, kExitOk);
    ASSERT_TRUE(passwords.Load());
    EXPECT_EQ(passwords.For("127.0.12.4"), "fleet secret");
}

}  // namespace
}  // namespace vistrel::cli::test
