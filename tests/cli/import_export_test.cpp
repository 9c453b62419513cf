// export and import beyond the pages' settings: the alert settings (without the SMTP
// password), the identity and network parts that only go out when asked, and the model
// rules that hold a projector back before anything is sent to it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/cli_fixture.h"
#include "protocol/setting_catalog.h"

namespace vistrel::cli::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using json = nlohmann::json;

// Requests that change something ("command=" or "set=") that reached one address.
size_t ChangesTo(const sim::Fleet& fleet, const std::string& ip) {
    size_t n = 0;
    for (const auto& e : fleet.Log().Entries()) {
        n += e.kind == "http" && e.address == ip &&
             (e.body.rfind("command=", 0) == 0 || e.body.rfind("set=", 0) == 0);
    }
    return n;
}

class ImportTest : public CliTest {
  protected:
    // Exports projector `index` into a file and returns its path.
    std::filesystem::path Export(size_t index, const std::string& name = "room.json") {
        const CliRun run = Run({"export", Fleet().Address(index)});
        EXPECT_EQ(run.status, 0) << run.err;
        const std::filesystem::path file = dir_ / name;
        std::ofstream(file) << run.out;
        return file;
    }

    static json Read(const std::filesystem::path& file) {
        std::ifstream in(file);
        return json::parse(in);
    }

    static void Write(const std::filesystem::path& file, const json& content) {
        std::ofstream(file) << content.dump(2);
    }

    CliRun Import(const std::filesystem::path& file, const std::vector<std::string>& more) {
        std::vector<std::string> args = {"import", file.string()};
        args.insert(args.end(), more.begin(), more.end());
        return Run(args);
    }
};

TEST_F(ImportTest, AlertSettingsTravelToOtherProjectorsWhileEachKeepsItsSmtpPassword) {
    StartFleet(4, [](sim::FleetOptions& o) {
        for (size_t i = 0; i < o.projectors.size(); ++i) {
            sim::AlertSettings& a = o.projectors[i].state.alert;
            a.mailTo = "desk" + std::to_string(i) + "@example.org";
            a.smtpServer = "old-mail.example.org";
            a.smtpPassword = "own-pw-" + std::to_string(i);
            a.lampHours = 1;
        }
        sim::AlertSettings& source = o.projectors[0].state.alert;
        source = {};
        source.mailTo = "av@example.org";
        source.mailCc = "facilities@example.org";
        source.mailSubject = "Projector alert";
        source.mailFrom = "projectors@example.org";
        source.smtpServer = "mail.example.org";
        source.smtpUser = "projectors";
        source.smtpPassword = "source-secret";
        source.fanLock = 1;
        source.lampFail = 1;
    });
    const std::filesystem::path file = Export(0);
    const json exported = Read(file);
    EXPECT_EQ(exported["alert"]["mail-to"], "av@example.org");
    EXPECT_EQ(exported["alert"]["alert-fan-lock"], "on");
    EXPECT_EQ(exported["alert"]["alert-lamp-hours"], "off");
    EXPECT_FALSE(exported["alert"].contains("smtp-password"));
    std::ifstream whole(file);
    EXPECT_THAT(std::string(std::istreambuf_iterator<char>(whole), {}),
                Not(HasSubstr("source-secret")));

    // A dry run shows the record with the password left to each projector, and sends nothing.
    const size_t before = Fleet().Log().Entries().size();
    const CliRun dry = Import(file, {"--only", "alert", "--dry-run", Fleet().Address(1)});
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_THAT(dry.out, HasSubstr("set=alertav@example.org"));
    EXPECT_THAT(dry.out, HasSubstr("<own password>"));
    EXPECT_EQ(Fleet().Log().Entries().size(), before);

    const CliRun kept = Import(file, {"--only", "alert", Fleet().Address(1), Fleet().Address(2)});
    ASSERT_EQ(kept.status, 0) << kept.out << kept.err;
    sim::AlertSettings expected = Fleet().State(0).alert;
    for (size_t i = 1; i < 3; ++i) {
        sim::AlertSettings got = Fleet().State(i).alert;
        EXPECT_EQ(got.smtpPassword, "own-pw-" + std::to_string(i));
        got.smtpPassword = expected.smtpPassword;
        EXPECT_EQ(got.mailTo, expected.mailTo);
        EXPECT_EQ(got.mailCc, expected.mailCc);
        EXPECT_EQ(got.mailSubject, expected.mailSubject);
        EXPECT_EQ(got.mailFrom, expected.mailFrom);
        EXPECT_EQ(got.smtpServer, expected.smtpServer);
        EXPECT_EQ(got.smtpUser, expected.smtpUser);
        EXPECT_EQ(std::tie(got.fanLock, got.overTemperature, got.lampHours, got.lampFail),
                  std::tie(expected.fanLock, expected.overTemperature, expected.lampHours,
                           expected.lampFail));
    }

    // A password given on standard input goes with the record.
    input_ = "new-smtp-pw\n";
    const CliRun given =
        Import(file, {"--only", "alert", "--smtp-password", "-", Fleet().Address(3)});
    ASSERT_EQ(given.status, 0) << given.err;
    EXPECT_EQ(Fleet().State(3).alert.smtpPassword, "new-smtp-pw");
    EXPECT_EQ(Fleet().State(3).alert.mailTo, "av@example.org");
    EXPECT_THAT(given.out + given.err, Not(HasSubstr("new-smtp-pw")));

    // A password written into a file is refused, and nothing goes out.
    json withPassword = exported;
    withPassword["alert"]["smtp-password"] = "typed";
    Write(dir_ / "pw.json", withPassword);
    const size_t sent = BodiesStartingWith(Fleet(), "set=alert");
    const CliRun refused = Import(dir_ / "pw.json", {Fleet().Address(1)});
    EXPECT_EQ(refused.status, 2);
    EXPECT_THAT(refused.err, HasSubstr("--smtp-password"));
    json tooLong = exported;
    tooLong["alert"]["mail-subject"] = std::string(33, 's');
    Write(dir_ / "long.json", tooLong);
    EXPECT_EQ(Import(dir_ / "long.json", {Fleet().Address(1)}).status, 2);
    EXPECT_EQ(BodiesStartingWith(Fleet(), "set=alert"), sent);
}

// Hand-edited files: a misnamed part, or settings import never copies, are not taken as an
// empty import that succeeds.
TEST_F(ImportTest, UnknownPartsAndSettingsImportNeverCopiesAreSaidAndSendNothing) {
    StartFleet(1, [](sim::FleetOptions&) {});
    const size_t before = Fleet().Log().Entries().size();
    Write(dir_ / "misnamed.json", json::parse(R"({"display": {"zoom": 5}, "settings": {}})"));
    const CliRun misnamed = Import(dir_ / "misnamed.json", {Fleet().Address(0)});
    EXPECT_EQ(misnamed.status, 2);
    EXPECT_THAT(misnamed.err, HasSubstr("unknown part \"display\""));

    json live;
    live["settings"]["power"] = "on";
    live["settings"]["source"] = "VGA-1";
    Write(dir_ / "live.json", live);
    const CliRun never = Import(dir_ / "live.json", {Fleet().Address(0)});
    EXPECT_EQ(never.status, 2);
    EXPECT_THAT(never.err, HasSubstr("import never copies"));
    EXPECT_THAT(never.err, HasSubstr("power"));
    EXPECT_EQ(Fleet().Log().Entries().size(), before);
}

TEST_F(ImportTest, IdentityAndNetworkAreLeftAloneUnlessAskedAndGoToOneProjectorOnly) {
    StartFleet(3, [](sim::FleetOptions& o) {
        o.relocationDelayMs = 300;
        for (size_t i = 0; i < o.projectors.size(); ++i) {
            o.projectors[i].state.power = 1;
            o.projectors[i].state.model = "6";
            o.projectors[i].state.name = "P" + std::to_string(i);
            o.projectors[i].state.group = "Spare";
            o.projectors[i].state.control.projectorId = static_cast<int>(i + 1);
        }
        o.projectors[0].state.name = "Hall 1 left";
        o.projectors[0].state.group = "Lecture";
        o.projectors[0].state.control.projectorId = 42;
        o.projectors[0].state.network.mask = "255.255.0.0";
    });
    const std::filesystem::path file = Export(0);
    const json exported = Read(file);
    EXPECT_EQ(exported["identity"]["projector-name"], "Hall 1 left");
    EXPECT_EQ(exported["identity"]["group-name"], "Lecture");
    EXPECT_EQ(exported["network"]["ip"], "127.0.10.2");
    EXPECT_EQ(exported["network"]["mask"], "255.255.0.0");
    EXPECT_EQ(exported["network"]["dhcp"], "off");

    // By default: neither names, ID nor addresses.
    const CliRun plain = Import(file, {Fleet().Address(1), Fleet().Address(2)});
    ASSERT_EQ(plain.status, 0) << plain.out << plain.err;
    EXPECT_EQ(BodiesStartingWith(Fleet(), "set=group"), 0u);
    EXPECT_EQ(BodiesStartingWith(Fleet(), "set=network"), 0u);
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(Fleet().State(i).name, "P" + std::to_string(i));
        EXPECT_EQ(Fleet().State(i).control.projectorId, static_cast<int>(i + 1));
        EXPECT_EQ(Fleet().State(i).network.mask, "255.255.255.0");
    }

    // One identity or one fixed address for several projectors is refused outright.
    const size_t before = Fleet().Log().Entries().size();
    const CliRun twoNames =
        Import(file, {"--include", "identity", Fleet().Address(1), Fleet().Address(2)});
    EXPECT_EQ(twoNames.status, 2);
    EXPECT_THAT(twoNames.err, HasSubstr("exactly one projector (2 given)"));
    const CliRun twoAddresses =
        Import(file, {"--only", "network", Fleet().Address(1), Fleet().Address(2)});
    EXPECT_EQ(twoAddresses.status, 2);
    EXPECT_THAT(twoAddresses.err, HasSubstr("fixed address 127.0.10.2"));
    EXPECT_EQ(Fleet().Log().Entries().size(), before);

    // Asked, onto one projector: its names and ID become the file's, and the console's
    // group list learns the group.
    const CliRun named = Import(file, {"--only", "identity", Fleet().Address(1)});
    ASSERT_EQ(named.status, 0) << named.out << named.err;
    EXPECT_EQ(Fleet().State(1).name, "Hall 1 left");
    EXPECT_EQ(Fleet().State(1).group, "Lecture");
    EXPECT_EQ(Fleet().State(1).control.projectorId, 42);
    std::ifstream store(StoreFile());
    EXPECT_THAT(std::string(std::istreambuf_iterator<char>(store), {}), HasSubstr("Lecture"));

    // A fixed address moves the one projector, followed as set ip= follows it.
    json moved = exported;
    moved["network"]["ip"] = "127.0.10.70";
    Write(dir_ / "moved.json", moved);
    const CliRun relocated = Import(dir_ / "moved.json", {"--include", "network", "--wait", "20",
                                                          "--json", Fleet().Address(2)});
    ASSERT_EQ(relocated.status, 0) << relocated.out << relocated.err;
    const json rows = json::parse(relocated.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["newIp"], "127.0.10.70");
    EXPECT_EQ(Fleet().Address(2), "127.0.10.70");
    EXPECT_EQ(Fleet().State(2).network.mask, "255.255.0.0");
    EXPECT_EQ(Fleet().State(2).name, "P2");  // identity was not asked for

    // DHCP on may go to many: each keeps its own addresses.
    json dhcp = exported;
    dhcp["network"] = {{"dhcp", "on"}};
    Write(dir_ / "dhcp.json", dhcp);
    const CliRun many =
        Import(dir_ / "dhcp.json", {"--only", "network", Fleet().Address(0), Fleet().Address(1)});
    ASSERT_EQ(many.status, 0) << many.out << many.err;
    EXPECT_EQ(Fleet().State(0).network.dhcp, 1);
    EXPECT_EQ(Fleet().State(1).network.dhcp, 1);
    EXPECT_EQ(Fleet().State(0).network.mask, "255.255.0.0");
    EXPECT_EQ(Fleet().Address(1), "127.0.10.3");
}

TEST_F(ImportTest, AValueAModelLacksHoldsThatProjectorBackWhileTheOthersGetTheirs) {
    StartFleet(4, [](sim::FleetOptions& o) {
        for (auto& p : o.projectors) {
            p.state.power = 1;
            p.state.model = "6";
            p.state.control.threeD = 0;
            p.state.control.brightness = 50;
        }
        // The source: closed captioning and auto keystone on, a list-B mode.
        o.projectors[0].state.control.closedCaption = 1;
        o.projectors[0].state.control.autoKeystone = 1;
        o.projectors[0].state.control.brightness = 77;
        o.projectors[0].state.displayMode = 7;     // Blackboard
        o.projectors[1].state.model = "1";         // neither closed captioning nor auto keystone
        o.projectors[3].state.model = "5";         // list A, 3D list while 3D is on
        o.projectors[3].state.control.threeD = 1;  // shows list C: User, 3D
    });
    const std::filesystem::path file = Export(0);
    const CliRun run = Import(file, {"--only", "picture,settings", Fleet().Address(1),
                                     Fleet().Address(2), Fleet().Address(3)});
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("127.0.10.3: model 1 does not offer"));
    EXPECT_THAT(run.err,
                HasSubstr("127.0.10.5: model 5 does not offer display-mode=Blackboard while 3D "
                          "is on; nothing was sent"));
    EXPECT_THAT(run.out, HasSubstr("refused"));
    EXPECT_EQ(ChangesTo(Fleet(), "127.0.10.3"), 0u);
    EXPECT_EQ(ChangesTo(Fleet(), "127.0.10.5"), 0u);
    EXPECT_EQ(Fleet().State(1).control.brightness, 50);
    // The projector whose model offers everything got everything.
    EXPECT_EQ(Fleet().State(2).control.brightness, 77);
    EXPECT_EQ(Fleet().State(2).control.closedCaption, 1);
    EXPECT_EQ(Fleet().State(2).control.autoKeystone, 1);
    EXPECT_EQ(Fleet().State(2).displayMode, 7);

    // A model that lacks a setting does not write it into its file, so a copy between two
    // such projectors goes through.
    const std::filesystem::path plain = Export(1, "model1.json");
    const json fromModel1 = Read(plain);
    EXPECT_FALSE(fromModel1["settings"].contains("closed-captioning"));
    EXPECT_FALSE(fromModel1["settings"].contains("auto-keystone"));

    // The 3D display mode travels by name to a projector that shows it.
    const CliRun threeD = Run({"set", "display-mode=3D", Fleet().Address(3)});
    ASSERT_EQ(threeD.status, 0) << threeD.err;
    EXPECT_EQ(Fleet().State(3).displayMode, kDisplayMode3dCode);
    const std::filesystem::path file3d = Export(3, "3d.json");
    EXPECT_EQ(Read(file3d)["settings"]["display-mode"], "3D");
    const CliRun refused3d = Import(file3d, {"--only", "picture", Fleet().Address(2)});
    EXPECT_EQ(refused3d.status, 1);
    EXPECT_THAT(refused3d.err, HasSubstr("model 6 does not offer display-mode=3D while 3D is off"));
}

}  // namespace
}  // namespace vistrel::cli::test
