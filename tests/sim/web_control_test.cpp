// The projector's replies at their exact offsets, and what commands and set records do.
#include "sim/web_control.h"

#include <gtest/gtest.h>

#include <string>

namespace vistrel::sim {
namespace {

const std::string kAddress = "127.0.5.2";

std::string Blanks(size_t n) {
    return std::string(n, ' ');
}

ProjectorState OnState() {
    ProjectorState s;
    s.power = kPowerOn;
    return s;
}

std::string Ask(ProjectorState& s, const std::string& body) {
    return HandleWebRequest(s, kAddress, body).text;
}

TEST(SimReplies, InfoReplyCarriesTwelveCharactersAfterOk) {
    ProjectorState s = OnState();
    s.lampHours = 123;
    s.source = 5;
    s.firmware = "A123";
    s.displayMode = 4;
    EXPECT_EQ(Ask(s, "query=info"), "<return>\n<info>OK1012305A1234");

    s.power = kPowerStandby;
    std::string standby = Ask(s, "query=info");
    EXPECT_EQ(standby.substr(0, 18), "<return>\n<info>OK2");
    EXPECT_EQ(standby.size(), 29u);
    s.power = kPowerOff;
    s.source = 1;
    s.lampHours = 7;
    EXPECT_EQ(Ask(s, "query=info"), "<return>\n<info>OK0000701A1234");
}

TEST(SimReplies, GroupReplyAndSetGroupShareTheLayout) {
    ProjectorState s = OnState();
    std::string record = "set=group" + std::string("Lab") + Blanks(29) + "P1" + Blanks(30);
    ASSERT_EQ(record.size(), 73u);
    EXPECT_EQ(Ask(s, record), kReplyOk);
    EXPECT_EQ(s.group, "Lab");
    EXPECT_EQ(s.name, "P1");

    std::string reply = Ask(s, "query=group");
    ASSERT_EQ(reply.size(), 80u);
    EXPECT_EQ(reply.substr(0, 16), "<return>\n<group>");
    EXPECT_EQ(reply.substr(16, 32), "Lab" + Blanks(29));
    EXPECT_EQ(reply.substr(48, 32), "P1" + Blanks(30));

    // Leading blanks stay part of a name; an empty group clears it.
    EXPECT_EQ(Ask(s, "set=group" + Blanks(32) + "  Hall" + Blanks(26)), kReplyOk);
    EXPECT_EQ(s.group, "");
    EXPECT_EQ(s.name, "  Hall");
    // A record wider than two fields does not fit the projector's fields.
    EXPECT_EQ(Ask(s, "set=group" + std::string(65, 'x')), kReplyTimeout);
    EXPECT_EQ(s.name, "  Hall");
}

TEST(SimReplies, ModelCodeSitsAtOffset18) {
    ProjectorState s = OnState();
    s.model = "5";
    std::string reply = Ask(s, "query=model");
    EXPECT_EQ(reply.substr(0, 16), "<return>\n<model>");
    ASSERT_GE(reply.size(), 19u);
    EXPECT_EQ(reply[18], '5');
}

TEST(SimReplies, ControlReplyPlacesEveryFieldAtItsOffset) {
    ProjectorState s = OnState();
    s.source = 2;
    s.displayMode = 7;
    ControlSettings& c = s.control;
    c.brightMode = 1;
    c.freeze = 1;
    c.sourceLock = 0;
    c.avMute = 1;
    c.infoHide = 1;
    c.highAltitude = 1;
    c.keypadLock = 0;
    c.directPower = 1;
    c.displayFormat = 3;
    c.colorTemp = 2;
    c.degamma = 3;
    c.projection = 1;
    c.logo = 1;
    c.background = 4;
    c.colorSpace = 2;
    c.projectorId = 42;
    c.volume = 7;
    c.sharpness = 31;
    c.phase = 9;
    c.brilliantColor = 10;
    c.zoom = -5;
    c.brightness = 100;
    c.contrast = 5;
    c.imageShift = -10;
    c.keystone = 10;
    c.autoPowerOff = 180;
    c.sleepTimer = 995;
    c.closedCaption = 2;
    c.autoKeystone = 1;
    c.threeD = 1;
    std::string r = Ask(s, "query=control");
    ASSERT_EQ(r.size(), 76u);
    EXPECT_EQ(r.substr(0, 18), "<return>\n<control>");
    auto at = [&](size_t offset, size_t width) { return r.substr(offset, width); };
    EXPECT_EQ(at(20, 1), "1");
    EXPECT_EQ(at(22, 1), "1");
    EXPECT_EQ(at(23, 1), "1");
    EXPECT_EQ(at(24, 1), "0");
    EXPECT_EQ(at(25, 1), "1");
    EXPECT_EQ(at(26, 1), "0");  // hide on reads as 0
    EXPECT_EQ(at(28, 1), "1");
    EXPECT_EQ(at(29, 1), "0");
    EXPECT_EQ(at(32, 1), "1");
    EXPECT_EQ(at(34, 1), "2");
    EXPECT_EQ(at(35, 1), "3");
    EXPECT_EQ(at(36, 1), "7");
    EXPECT_EQ(at(37, 1), "2");
    EXPECT_EQ(at(38, 1), "3");
    EXPECT_EQ(at(39, 1), "1");
    EXPECT_EQ(at(40, 1), "1");
    EXPECT_EQ(at(41, 1), "4");
    EXPECT_EQ(at(42, 1), "2");
    EXPECT_EQ(at(43, 2), "42");
    EXPECT_EQ(at(45, 2), "07");
    EXPECT_EQ(at(47, 2), "31");
    EXPECT_EQ(at(49, 2), "09");
    EXPECT_EQ(at(51, 2), "10");
    EXPECT_EQ(at(53, 2), "-5");
    EXPECT_EQ(at(55, 3), "100");
    EXPECT_EQ(at(58, 3), "005");
    EXPECT_EQ(at(61, 3), "-10");
    EXPECT_EQ(at(64, 3), "010");
    EXPECT_EQ(at(67, 3), "180");
    EXPECT_EQ(at(70, 3), "995");
    EXPECT_EQ(at(73, 1), "2");
    EXPECT_EQ(at(74, 1), "1");
    EXPECT_EQ(at(75, 1), "1");

    c.infoHide = 0;
    s.power = kPowerStandby;
    r = Ask(s, "query=control");
    EXPECT_EQ(r[26], '1');
    EXPECT_EQ(r[20], '0');  // only a projector that is on reports power
}

TEST(SimReplies, NetworkReplyAndRecord) {
    ProjectorState s = OnState();
    s.network = {"255.255.255.0", "192.168.0.1", "192.168.0.1", 1};
    std::string r = HandleWebRequest(s, "192.168.0.100", "query=network").text;
    EXPECT_EQ(r, "<return>\n<network>C0A80064FFFFFF00C0A80001C0A800011");
    EXPECT_EQ(r.size(), 51u);

    WebReply moved = HandleWebRequest(
        s, "192.168.0.100", "set=network" + std::string("0") + "0A000005FF0000000A0000010A000002");
    EXPECT_EQ(moved.text, kReplyOk);
    ASSERT_TRUE(moved.newAddress);
    EXPECT_EQ(*moved.newAddress, "10.0.0.5");
    EXPECT_EQ(s.network, (NetworkSettings{"255.0.0.0", "10.0.0.1", "10.0.0.2", 0}));

    // Lower-case digits are the same address; the same address is no move.
    WebReply same = HandleWebRequest(s, "10.0.0.5", "set=network10a000005ff0000000a0000010a000002");
    EXPECT_EQ(same.text, kReplyOk);
    EXPECT_FALSE(same.newAddress);
    EXPECT_EQ(s.network.dhcp, 1);

    // Under DHCP another address in the record moves nothing: the server decides.
    WebReply dhcp = HandleWebRequest(s, "10.0.0.5", "set=network10A000009FF0000000A0000010A000002");
    EXPECT_EQ(dhcp.text, kReplyOk);
    EXPECT_FALSE(dhcp.newAddress);

    // The DHCP digit alone, a non-hex field or an address of zero change nothing.
    for (const std::string& bad :
         {std::string("set=network1"), "set=network0" + std::string(32, 'G'),
          "set=network0" + std::string(8, '0') + "FF0000000A0000010A000002",
          "set=network2" + std::string("0A000005FF0000000A0000010A000002")}) {
        WebReply reply = HandleWebRequest(s, "10.0.0.5", bad);
        EXPECT_EQ(reply.text, kReplyTimeout) << bad;
        EXPECT_FALSE(reply.newAddress);
    }
    EXPECT_EQ(s.network.dhcp, 1);
}

TEST(SimReplies, UserRecordAndReply) {
    ProjectorState s = OnState();
    std::string record = "set=user" + std::string("1") + "abc" + Blanks(29) + "0" + Blanks(32);
    ASSERT_EQ(record.size(), 8u + 66u);
    EXPECT_EQ(Ask(s, record), kReplyOk);
    EXPECT_EQ(s.user, (UserSettings{1, "abc", 0, ""}));
    EXPECT_EQ(Ask(s, "query=user"), "<return>\n<user>10");
    EXPECT_EQ(Ask(s, "set=user" + std::string("0") + "x" + Blanks(31) + "1" + "pw" + Blanks(30)),
              kReplyOk);
    EXPECT_EQ(Ask(s, "query=user"), "<return>\n<user>01");
    // Passwords over 32 characters widen the record, which the projector refuses.
    EXPECT_EQ(Ask(s, "set=user1" + std::string(33, 'p') + "0" + Blanks(32)), kReplyTimeout);
    EXPECT_EQ(s.user.userPassword, "pw");
}

TEST(SimReplies, AlertRecordAndReply) {
    ProjectorState s = OnState();
    std::string to = "ops@example.test.org";  // 20 characters
    ASSERT_EQ(to.size(), 20u);
    std::string record = "set=alert";
    for (const std::string& field :
         {to, std::string("cc@x"), std::string("Lamp"), std::string("proj@x"),
          std::string("smtp.x"), std::string("user"), std::string("secret")}) {
        record += field + Blanks(32 - field.size());
    }
    record += "1001";
    ASSERT_EQ(record.size(), 9u + 228u);
    EXPECT_EQ(Ask(s, record), kReplyOk);
    EXPECT_EQ(s.alert.mailTo, to);
    EXPECT_EQ(s.alert.smtpPassword, "secret");
    EXPECT_EQ(s.alert.fanLock, 1);
    EXPECT_EQ(s.alert.overTemperature, 0);
    EXPECT_EQ(s.alert.lampHours, 0);
    EXPECT_EQ(s.alert.lampFail, 1);

    std::string r = Ask(s, "query=alert");
    ASSERT_EQ(r.size(), 244u);
    EXPECT_EQ(r.substr(0, 16), "<return>\n<alert>");
    EXPECT_EQ(r.substr(16, 32), to + Blanks(12));
    EXPECT_EQ(r.substr(48, 4), "cc@x");
    EXPECT_EQ(r.substr(80, 4), "Lamp");
    EXPECT_EQ(r.substr(112, 6), "proj@x");
    EXPECT_EQ(r.substr(144, 6), "smtp.x");
    EXPECT_EQ(r.substr(176, 4), "user");
    EXPECT_EQ(r.substr(208, 6), "secret");
    EXPECT_EQ(r.substr(240, 4), "1001");

    EXPECT_EQ(Ask(s, "set=test"), kReplyOk);
    EXPECT_EQ(s.alert.testMails, 1);
    EXPECT_EQ(Ask(s, record.substr(0, record.size() - 1)), kReplyTimeout);
}

TEST(SimCommands, OptionTableCodesChangeTheState) {
    struct Case {
        std::string code;
        std::function<int(const ProjectorState&)> read;
        int expected;
    };
    auto control = [](int ControlSettings::*f) {
        return [f](const ProjectorState& s) { return s.control.*f; };
    };
    auto source = [](const ProjectorState& s) { return s.source; };
    auto mode = [](const ProjectorState& s) { return s.displayMode; };
    const std::vector<Case> cases = {
        {"~0012 1", source, 5},
        {"~0012 5", source, 1},
        {"~0012 6", source, 2},
        {"~0012 9", source, 3},
        {"~0012 10", source, 4},
        {"~0020 2", mode, 2},
        {"~0020 9", mode, 9},
        {"~00110 1", control(&ControlSettings::brightMode), 1},
        {"~0082 2", control(&ControlSettings::logo), 1},
        {"~0071 3", control(&ControlSettings::projection), 1},
        {"~0071 2", control(&ControlSettings::projection), 2},
        {"~0071 4", control(&ControlSettings::projection), 3},
        {"~0060 6", control(&ControlSettings::displayFormat), 3},
        {"~0060 7", control(&ControlSettings::displayFormat), 4},
        {"~0036 3", control(&ControlSettings::colorTemp), 2},
        {"~00104 1", control(&ControlSettings::background), 2},
        {"~00104 2", control(&ControlSettings::background), 0},
        {"~00104 5", control(&ControlSettings::background), 4},
        {"~0037 2", control(&ControlSettings::colorSpace), 1},
        {"~0088 2", control(&ControlSettings::closedCaption), 2},
        {"~0035 4", control(&ControlSettings::degamma), 3},
        {"~0002 1", control(&ControlSettings::avMute), 1},
        {"~0004 1", control(&ControlSettings::freeze), 1},
        {"~0069 1", control(&ControlSettings::autoKeystone), 1},
        {"~00105 1", control(&ControlSettings::directPower), 1},
        {"~00100 1", control(&ControlSettings::sourceLock), 1},
        {"~00101 1", control(&ControlSettings::highAltitude), 1},
        {"~00102 1", control(&ControlSettings::infoHide), 1},
        {"~00103 1", control(&ControlSettings::keypadLock), 1},
        {"~0090 1", control(&ControlSettings::threeD), 1},
        {"~0091 1", control(&ControlSettings::threeDSyncInvert), 1},
        {"~0081 10", control(&ControlSettings::volume), 10},
        {"~0081   5", control(&ControlSettings::volume), 5},  // "%3d"
        {"~0081 005", control(&ControlSettings::volume), 5},  // "%03d"
        {"~00106 180", control(&ControlSettings::autoPowerOff), 180},
        {"~00107 995", control(&ControlSettings::sleepTimer), 995},
        {"~0079 99", control(&ControlSettings::projectorId), 99},
        {"~0021 100", control(&ControlSettings::brightness), 100},
        {"~0022 0", control(&ControlSettings::contrast), 0},
        {"~0023 31", control(&ControlSettings::sharpness), 31},
        {"~0034 10", control(&ControlSettings::brilliantColor), 10},
        {"~0074 31", control(&ControlSettings::phase), 31},
        {"~0062 -5", control(&ControlSettings::zoom), -5},
        {"~0064 -50", control(&ControlSettings::imageShift), -50},
        {"~0066 40", control(&ControlSettings::keystone), 40},
    };
    for (const Case& c : cases) {
        ProjectorState s = OnState();
        s.source = 0;
        s.displayMode = 1;
        s.control.background = 3;
        EXPECT_EQ(Ask(s, "command=" + c.code), kReplyOk) << c.code;
        EXPECT_EQ(c.read(s), c.expected) << c.code;
    }
}

TEST(SimCommands, OutOfRangeMalformedAndUnknownCodesTimeOut) {
    ProjectorState s = OnState();
    const ProjectorState before = s;
    for (const std::string& code : std::vector<std::string>{
             "~0021 101", "~0062 -6", "~0062 26",   "~0064 51",
             "~0066 -41", "~0081 11", "~00106 181", "~00107 1000",
             "~0079 100", "~0012 2",  "~0012 x",    "~0020 0",
             "~0060 4",   "~00104 6", "~9999 1",    "~12 1",
             "~000000 1", "0012 5",   "~0012",      "~00125",
             "",          "~0002 2",  "~0001 0",    "~00210 " + std::string(31, 'x')}) {
        EXPECT_EQ(Ask(s, "command=" + code), kReplyTimeout) << '"' << code << '"';
    }
    EXPECT_EQ(Ask(s, "query=CMD_FLUSH"), kReplyTimeout);
    EXPECT_EQ(Ask(s, "query="), kReplyTimeout);
    EXPECT_EQ(Ask(s, "hello"), kReplyTimeout);
    EXPECT_EQ(Ask(s, "set=bogus"), kReplyTimeout);
    EXPECT_EQ(s, before);
}

TEST(SimCommands, OnlyPowerOnWorksWhileOffOrInStandby) {
    ProjectorState s = OnState();
    EXPECT_EQ(Ask(s, "command=~0000 0"), kReplyOk);
    EXPECT_EQ(s.power, kPowerOff);
    EXPECT_EQ(Ask(s, "command=~0000 0"), kReplyTimeout);
    EXPECT_EQ(Ask(s, "command=~0012 5"), kReplyTimeout);
    EXPECT_EQ(Ask(s, "command=~0001 1"), kReplyTimeout);
    EXPECT_EQ(s.source, OnState().source);
    // Settings kept by the network side still work while the lamp is off.
    EXPECT_EQ(Ask(s, "set=group" + std::string("G") + Blanks(31) + "N" + Blanks(31)), kReplyOk);
    EXPECT_EQ(Ask(s, "command=~0000 1"), kReplyOk);
    EXPECT_EQ(s.power, kPowerOn);
    EXPECT_EQ(Ask(s, "command=~0012 5"), kReplyOk);

    s.power = kPowerStandby;
    EXPECT_EQ(Ask(s, "command=~0000 0"), kReplyTimeout);
    EXPECT_EQ(Ask(s, "command=~0000 1"), kReplyOk);
    EXPECT_EQ(s.power, kPowerOn);
}

TEST(SimCommands, MessageResyncAndResetAll) {
    ProjectorState s = OnState();
    EXPECT_EQ(Ask(s, "command=~00210 Hello" + Blanks(25)), kReplyOk);
    EXPECT_EQ(s.control.message, "Hello");
    EXPECT_EQ(Ask(s, "command=~00210 " + Blanks(30)), kReplyOk);
    EXPECT_EQ(s.control.message, "");
    EXPECT_EQ(Ask(s, "command=~0001 1"), kReplyOk);

    s.control.brightness = 3;
    s.control.volume = 9;
    s.displayMode = 8;
    s.group = "Keep";
    EXPECT_EQ(Ask(s, "command=~00112 1"), kReplyOk);
    EXPECT_EQ(s.control.brightness, ControlSettings{}.brightness);
    EXPECT_EQ(s.control.volume, ControlSettings{}.volume);
    EXPECT_EQ(s.displayMode, 1);
    EXPECT_EQ(s.group, "Keep");
}

TEST(SimCommands, ResetAllReturnsToTheStartUpSettings) {
    ProjectorState startUp = OnState();
    startUp.control.brightness = 77;
    startUp.control.keystone = -12;
    startUp.control.sleepTimer = 40;
    startUp.displayMode = 7;
    ProjectorState s = startUp;
    s.control.brightness = 3;
    s.control.keystone = 30;
    s.control.sleepTimer = 995;
    s.control.message = "Kept";
    s.displayMode = 2;
    s.source = 1;

    EXPECT_EQ(HandleWebRequest(s, kAddress, "command=~00112 1", false, &startUp).text, kReplyOk);
    EXPECT_EQ(s.control.brightness, 77);
    EXPECT_EQ(s.control.keystone, -12);
    EXPECT_EQ(s.control.sleepTimer, 40);
    EXPECT_EQ(s.displayMode, 7);
    // The on-screen message and the input are not settings the reset touches.
    EXPECT_EQ(s.control.message, "Kept");
    EXPECT_EQ(s.source, 1);
}

TEST(SimCommands, TimeoutFaultAnswersEveryCommandAndSetButNotQueries) {
    ProjectorState s = OnState();
    const ProjectorState before = s;
    EXPECT_EQ(HandleWebRequest(s, kAddress, "command=~0012 5", true).text, kReplyTimeout);
    EXPECT_EQ(HandleWebRequest(s, kAddress, "set=test", true).text, kReplyTimeout);
    EXPECT_EQ(s, before);
    EXPECT_EQ(HandleWebRequest(s, kAddress, "query=info", true).text.substr(0, 17),
              "<return>\n<info>OK");
}

TEST(SimAddresses, PackAndPrint) {
    EXPECT_EQ(PackAddress("192.168.0.100"), 0xC0A80064u);
    EXPECT_EQ(DottedAddress(0x0A000005u), "10.0.0.5");
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.x", "1..2.3"}) {
        EXPECT_FALSE(PackAddress(bad)) << bad;
    }
}

}  // namespace
}  // namespace vistrel::sim
