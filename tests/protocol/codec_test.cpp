#include "protocol/codec.h"
#include "protocol/setting_catalog.h"

#include <gtest/gtest.h>

#include <string>

#include "exact_text.h"

namespace vistrel {
namespace {

using vistrel::testing::ExactText;

std::string Blanks(size_t n) {
    return std::string(n, ' ');
}

// An Info whose five status fields and names hold stale values, to see what a parse changes.
Info StaleInfo() {
    Info info("AABBCCDDEEFF");
    info.ip = "10.0.0.7";
    info.power = "ON";
    info.lampHour = "9999";
    info.source = "Video";
    info.fwVersion = "Z999";
    info.displayMode = "Movie";
    info.groupName = "Old group";
    info.projectorName = "Old name";
    return info;
}

void ExpectStatus(const Info& info, const char* power, const char* lamp, const char* source,
                  const char* firmware, const char* mode) {
    EXPECT_EQ(info.power, power);
    EXPECT_EQ(info.lampHour, lamp);
    EXPECT_EQ(info.source, source);
    EXPECT_EQ(info.fwVersion, firmware);
    EXPECT_EQ(info.displayMode, mode);
}

// ---- Info reply ----------------------------------------------------------------------------

TEST(InfoReply, DecodesTheTwelveStatusCharacters) {
    Info info = StaleInfo();
    EXPECT_TRUE(
        ParseInfoReply("<return>\n<info>OK"
                       "1"
                       "0123"
                       "05"
                       "A123"
                       "4",
                       info));
    ExpectStatus(info, "ON", "0123", "HDMI", "A123", "sRGB");
    EXPECT_EQ(info.groupName, "Old group");
    EXPECT_EQ(info.ip, "10.0.0.7");

    ParseInfoReply(
        "<return>\n<info>OK"
        "0"
        "1500"
        "01"
        "B200"
        "1",
        info);
    ExpectStatus(info, "OFF", "1500", "VGA-1", "B200", "Presentation");
}

TEST(InfoReply, StandbyEmptiesTheOtherFieldsWhateverFollows) {
    Info info = StaleInfo();
    ParseInfoReply(
        "<return>\n<info>OK2"
        "0123"
        "05"
        "A123"
        "4",
        info);
    ExpectStatus(info, "standby", "", "", "", "");

    info = StaleInfo();
    ParseInfoReply("<return>\n<info>OK2", info);
    ExpectStatus(info, "standby", "", "", "", "");
    EXPECT_EQ(info.projectorName, "Old name");
}

TEST(InfoReply, WithoutOkEveryStatusFieldIsEmptied) {
    Info info = StaleInfo();
    EXPECT_FALSE(ParseInfoReply("<result>timeout</result>", info));
    ExpectStatus(info, "", "", "", "", "");
    EXPECT_EQ(info.groupName, "Old group");

    info = StaleInfo();
    ParseInfoReply("", info);
    ExpectStatus(info, "", "", "", "", "");
}

TEST(InfoReply, CodesOutsideTheTables) {
    Info info;
    ParseInfoReply(
        "<return>\n<info>OK"
        "3"
        "0123"
        "05"
        "A123"
        "4",
        info);
    EXPECT_EQ(info.power, "");
    EXPECT_EQ(info.source, "HDMI");

    ParseInfoReply(
        "<return>\n<info>OK"
        "1"
        "0123"
        "5 "
        "A123"
        "0",
        info);
    EXPECT_EQ(info.source, "HDMI");
    EXPECT_EQ(info.displayMode, "None");

    ParseInfoReply(
        "<return>\n<info>OK"
        "1"
        "0123"
        "07"
        "A123"
        "9",
        info);
    EXPECT_EQ(info.source, "");
    EXPECT_EQ(info.displayMode, "");

    ParseInfoReply(
        "<return>\n<info>OK"
        "1"
        "0123"
        "00"
        "A123"
        "8",
        info);
    EXPECT_EQ(info.source, "None");
    EXPECT_EQ(info.displayMode, "Classroom");
}

TEST(InfoReply, FieldsAreCountedFromTheFirstOk) {
    Info info;
    ParseInfoReply(
        "junk OK1"
        "0042"
        "04"
        "V1.0"
        "7"
        "OK0",
        info);
    ExpectStatus(info, "ON", "0042", "Video", "V1.0", "Blackboard");
}

TEST(InfoReply, ShortRepliesYieldWhatIsThereAndNeverReadPast) {
    const std::string full =
        "<return>\n<info>OK"
        "1"
        "0123"
        "05"
        "A123"
        "4";
    for (size_t length = 0; length <= full.size(); ++length) {
        ExactText reply(std::string_view(full).substr(0, length));
        Info info = StaleInfo();
        ParseInfoReply(reply.View(), info);
        EXPECT_LE(info.lampHour.size(), 4u);
        EXPECT_LE(info.fwVersion.size(), 4u);
    }
    Info info;
    ExactText cut(
        "<return>\n<info>OK1"
        "01");
    ParseInfoReply(cut.View(), info);
    ExpectStatus(info, "ON", "01", "None", "", "None");

    ExactText cutInFirmware(
        "<return>\n<info>OK1"
        "0123"
        "05"
        "A1");
    ParseInfoReply(cutInFirmware.View(), info);
    ExpectStatus(info, "ON", "0123", "HDMI", "A1", "None");
}

// ---- Group reply and record ----------------------------------------------------------------

TEST(GroupReply, BlankFieldsGiveEmptyNames) {
    Info info = StaleInfo();
    EXPECT_TRUE(ParseGroupReply("<return>\n<group>" + Blanks(64), info));
    EXPECT_EQ(info.groupName, "");
    EXPECT_EQ(info.projectorName, "");
    EXPECT_EQ(info.power, "ON");
}

TEST(GroupReply, NamesLoseTrailingButKeepLeadingBlanks) {
    Info info;
    ParseGroupReply(
        "<return>\n<group>"
        "  Lab" +
            Blanks(27) + "P1" + Blanks(30),
        info);
    EXPECT_EQ(info.groupName, "  Lab");
    EXPECT_EQ(info.projectorName, "P1");

    const std::string longGroup(32, 'G');
    ParseGroupReply("<return>\n<group>" + longGroup + "Hall 3" + Blanks(26) + "tail", info);
    EXPECT_EQ(info.groupName, longGroup);
    EXPECT_EQ(info.projectorName, "Hall 3");
}

TEST(GroupReply, AnyOtherPrefixChangesNothing) {
    for (const char* reply :
         {"", "<return>\n<result>OK", "<return>\n<info>OK10123", "x<return>\n<group>Lab",
          "<return><group>Lab", "<result>timeout</result>"}) {
        Info info = StaleInfo();
        EXPECT_FALSE(ParseGroupReply(reply, info)) << reply;
        EXPECT_EQ(info, StaleInfo()) << reply;
    }
}

TEST(GroupReply, ShortRepliesYieldWhatIsThereAndNeverReadPast) {
    const std::string full =
        "<return>\n<group>"
        "Lab" +
        Blanks(29) + "P1" + Blanks(30);
    for (size_t length = 0; length <= full.size(); ++length) {
        ExactText reply(std::string_view(full).substr(0, length));
        Info info;
        ParseGroupReply(reply.View(), info);
    }
    Info info;
    ExactText cut(
        "<return>\n<group>"
        "Lab" +
        Blanks(29) + "P");
    ASSERT_TRUE(ParseGroupReply(cut.View(), info));
    EXPECT_EQ(info.groupName, "Lab");
    EXPECT_EQ(info.projectorName, "P");
}

TEST(GroupRecord, IsTheNameThenTwoPaddedFields) {
    const std::string record = BuildGroupRecord("Lab", "P1");
    EXPECT_EQ(record,
              "set=group"
              "Lab" +
                  Blanks(29) + "P1" + Blanks(30));
    EXPECT_EQ(record.size(), 73u);
    EXPECT_EQ(BuildGroupRecord("Sales", ""),
              "set=group"
              "Sales" +
                  Blanks(27) + Blanks(32));
    EXPECT_EQ(BuildGroupRecord("", ""), "set=group" + Blanks(64));
}

TEST(GroupRecord, LongAndMultibyteNamesKeepTheRecordLength) {
    const std::string record = BuildGroupRecord(std::string(33, 'G'), std::string(50, 'P'));
    EXPECT_EQ(record, "set=group" + std::string(32, 'G') + std::string(32, 'P'));

    // A two-byte character that would straddle the field end is left out whole.
    const std::string accented = std::string(31, 'a') + "é";
    const std::string cut = BuildGroupRecord(accented, "Salle é");
    ASSERT_EQ(cut.size(), 73u);
    EXPECT_EQ(cut.substr(9, 32), std::string(31, 'a') + " ");
    EXPECT_EQ(cut.substr(41), "Salle é" + Blanks(24));

    // What we send reads back as the name the projector stores (cut at the boundary).
    Info info;
    ParseGroupReply("<return>\n<group>" + cut.substr(9), info);
    EXPECT_EQ(info.groupName, std::string(31, 'a'));
    EXPECT_EQ(info.projectorName, "Salle é");
}

// ---- Commands and query bodies -------------------------------------------------------------

TEST(Commands, CodeTextsTravelUnchanged) {
    EXPECT_EQ(BuildCommand("~0000 1"), "command=~0000 1");
    EXPECT_EQ(BuildCommand(""), "command=");
    EXPECT_EQ(BuildValueCommand("~0012 ", 10), "command=~0012 10");
    EXPECT_EQ(BuildValueCommand("~0021 ", 100), "command=~0021 100");
    EXPECT_EQ(BuildValueCommand("~0062 ", -5), "command=~0062 -5");
    EXPECT_EQ(BuildValueCommand("~0081 ", 5, ValueForm::RightAligned3), "command=~0081   5");
    EXPECT_EQ(BuildValueCommand("~0081 ", 5, ValueForm::ZeroPadded3), "command=~0081 005");
    EXPECT_EQ(BuildValueCommand("~0081 ", 15, ValueForm::ZeroPadded3), "command=~0081 015");
    EXPECT_EQ(BuildValueCommand("~0081 ", 15, ValueForm::RightAligned3), "command=~0081  15");
}

TEST(Commands, DisplayMessageIsAlwaysThirtyCharacters) {
    // The Setting page and "set display-message=" both write it through the catalog.
    const SettingDef& message = Setting("display-message");
    EXPECT_EQ(BuildTextSettingBody(message, "Hello"), "command=~00210 Hello" + Blanks(25));
    EXPECT_EQ(BuildTextSettingBody(message, ""), "command=~00210 " + Blanks(30));
    EXPECT_EQ(BuildTextSettingBody(message, std::string(45, 'm')),
              "command=~00210 " + std::string(30, 'm'));
    EXPECT_EQ(BuildTextSettingBody(message, std::string(29, 'm') + "ü"),
              "command=~00210 " + std::string(29, 'm') + " ");
}

TEST(Commands, QueryBodiesAndMarkers) {
    EXPECT_EQ(QueryBody(QueryTopic::Info), "query=info");
    EXPECT_EQ(QueryBody(QueryTopic::Group), "query=group");
    EXPECT_EQ(QueryBody(QueryTopic::Model), "query=model");
    EXPECT_EQ(QueryBody(QueryTopic::Control), "query=control");
    EXPECT_EQ(QueryBody(QueryTopic::Network), "query=network");
    EXPECT_EQ(QueryBody(QueryTopic::User), "query=user");
    EXPECT_EQ(QueryBody(QueryTopic::Alert), "query=alert");
    EXPECT_EQ(kFlushBody, "query=CMD_FLUSH");
    EXPECT_EQ(kTestBody, "set=test");
}

TEST(Replies, OkIsRecognisedAtTheStartOrAnywhere) {
    EXPECT_TRUE(BeginsWithOk("<return>\n<result>OK"));
    EXPECT_TRUE(BeginsWithOk("<return>\n<result>OK</result>"));
    EXPECT_FALSE(BeginsWithOk("<return>\n<result>timeout"));
    EXPECT_FALSE(BeginsWithOk(" <return>\n<result>OK"));
    EXPECT_FALSE(BeginsWithOk("<return>\n<result>O"));
    EXPECT_FALSE(BeginsWithOk(""));
    EXPECT_TRUE(ContainsOk(" <return>\n<result>OK"));
    EXPECT_FALSE(ContainsOk("<result>OK"));
    EXPECT_TRUE(ReplyContains("<return>\n<result>timeout</result>", kTimeoutElement));
    EXPECT_FALSE(ReplyBeginsWith("<return>\n<contr", kControlReplyPrefix));
}

// ---- Model and control replies -------------------------------------------------------------

TEST(ModelReply, CodeIsTheCharacterAtOffsetEighteen) {
    EXPECT_EQ(ParseModelReply("<return>\n<model>"
                              "xx6rest"),
              "6");
    EXPECT_EQ(ParseModelReply("<return>\n<model>"
                              "xx"),
              "");
    EXPECT_FALSE(ParseModelReply("<return>\n<control>1"));
    EXPECT_FALSE(ParseModelReply(""));
    ExactText cut("<return>\n<model>x");
    EXPECT_EQ(ParseModelReply(cut.View()), "");
}

// A complete control reply; "x" marks offsets that are not read, so a field read one place off
// shows up as 0.
const std::string kControl = std::string("<return>\n<control>") +
                             "xx"       // 18-19
                             "1x"       // 20 power, 21
                             "1101"     // 22 bright mode, 23 freeze, 24 source lock, 25 AV mute
                             "0x"       // 26 information hide, 27
                             "11xx"     // 28 high altitude, 29 keypad lock, 30-31
                             "1x"       // 32 DirectPower, 33
                             "5372331"  // 34 source .. 40 logo
                             "42"       // 41 background color, 42 color space
                             "42"       // 43 projector ID
                             " 7"       // 45 volume
                             "31"       // 47 sharpness
                             "15"       // 49 phase
                             "09"       // 51 BrilliantColor
                             "-5"       // 53 zoom
                             "100"      // 55 brightness
                             " 55"      // 58 contrast
                             "-10"      // 61 vertical image shift
                             "-40"      // 64 vertical keystone
                             "180"      // 67 auto power off
                             "999"      // 70 sleep timer
                             "211";     // 73 closed captioning, 74 Auto Keystone, 75 3D flag

TEST(ControlReply, EveryFieldAtItsOffset) {
    ASSERT_EQ(kControl.size(), kControlReplyLength);
    ASSERT_TRUE(IsControlReply(kControl));
    const ControlReply c = ReadControlReply(kControl);
    EXPECT_EQ(c.power, 1);
    EXPECT_EQ(c.brightMode, 1);
    EXPECT_EQ(c.freeze, 1);
    EXPECT_EQ(c.sourceLock, 0);
    EXPECT_EQ(c.avMute, 1);
    EXPECT_EQ(c.informationHide, 0);
    EXPECT_EQ(c.highAltitude, 1);
    EXPECT_EQ(c.keypadLock, 1);
    EXPECT_EQ(c.directPower, 1);
    EXPECT_EQ(c.sourceCode, 5);
    EXPECT_EQ(c.displayFormat, 3);
    EXPECT_EQ(c.displayModeCode, 7);
    EXPECT_EQ(c.colorTemperature, 2);
    EXPECT_EQ(c.degamma, 3);
    EXPECT_EQ(c.projection, 3);
    EXPECT_EQ(c.logo, 1);
    EXPECT_EQ(c.backgroundColor, 4);
    EXPECT_EQ(c.colorSpace, 2);
    EXPECT_EQ(c.projectorId, 42);
    EXPECT_EQ(c.volume, 7);
    EXPECT_EQ(c.sharpness, 31);
    EXPECT_EQ(c.phase, 15);
    EXPECT_EQ(c.brilliantColor, 9);
    EXPECT_EQ(c.zoom, -5);
    EXPECT_EQ(c.brightness, 100);
    EXPECT_EQ(c.contrast, 55);
    EXPECT_EQ(c.imageShift, -10);
    EXPECT_EQ(c.keystone, -40);
    EXPECT_EQ(c.autoPowerOff, 180);
    EXPECT_EQ(c.sleepTimer, 999);
    EXPECT_EQ(c.closedCaptioning, 2);
    EXPECT_EQ(c.autoKeystone, 1);
    EXPECT_EQ(c.threeD, 1);
}

TEST(ControlReply, SignedFieldsAndZeroPadding) {
    std::string reply = kControl;
    reply.replace(61, 3, "010");
    EXPECT_EQ(ReadControlReply(reply).imageShift, 10);
    reply.replace(61, 3, " -3");
    EXPECT_EQ(ReadControlReply(reply).imageShift, -3);
    reply.replace(53, 2, "25");
    EXPECT_EQ(ReadControlReply(reply).zoom, 25);
}

TEST(ControlReply, ATimeoutTextReadsAsPowerOff) {
    EXPECT_FALSE(IsControlReply("<return>\n<result>timeout"));
    EXPECT_EQ(ReadControlReply("<return>\n<result>timeout"), ControlReply{});
    EXPECT_EQ(ReadControlReply("<result>timeout</result>").power, 0);
    EXPECT_EQ(ReadControlReply("").power, 0);
}

TEST(ControlReply, ShortRepliesYieldWhatIsThereAndNeverReadPast) {
    for (size_t length = 0; length <= kControl.size(); ++length) {
        ExactText reply(std::string_view(kControl).substr(0, length));
        ReadControlReply(reply.View());
    }
    ExactText cut(std::string_view(kControl).substr(0, 57));  // brightness "10" of "100"
    const ControlReply c = ReadControlReply(cut.View());
    EXPECT_EQ(c.brightness, 10);
    EXPECT_EQ(c.zoom, -5);
    EXPECT_EQ(c.contrast, 0);
    EXPECT_EQ(c.threeD, 0);
}

// ---- Network and user ----------------------------------------------------------------------

TEST(NetworkRecord, FixedConfiguration) {
    NetworkConfig config;
    config.dhcp = false;
    config.ip = *PackAddress("10.0.0.5");
    config.mask = *PackAddress("255.0.0.0");
    config.gateway = *PackAddress("10.0.0.1");
    config.dns = *PackAddress("10.0.0.2");
    const std::string record = BuildNetworkRecord(config);
    EXPECT_EQ(record,
              "set=network"
              "0"
              "0A000005"
              "FF000000"
              "0A000001"
              "0A000002");
    EXPECT_EQ(record.size(), 44u);

    config.dhcp = true;
    config.ip = 0xC0A80064u;
    EXPECT_EQ(BuildNetworkRecord(config).substr(11, 9), "1C0A80064");
}

TEST(NetworkReply, HexFieldsBecomeAddresses) {
    for (const char* fields :
         {"C0A80064FFFFFF00C0A80001C0A80001", "c0a80064ffffff00c0a80001c0a80001"}) {
        const auto reply = ParseNetworkReply(std::string("<return>\n<network>") + fields + "1");
        ASSERT_TRUE(reply) << fields;
        EXPECT_TRUE(reply->complete);
        EXPECT_TRUE(reply->config.dhcp);
        EXPECT_EQ(DottedAddress(reply->config.ip), "192.168.0.100");
        EXPECT_EQ(DottedAddress(reply->config.mask), "255.255.255.0");
        EXPECT_EQ(DottedAddress(reply->config.gateway), "192.168.0.1");
        EXPECT_EQ(DottedAddress(reply->config.dns), "192.168.0.1");
    }
    const auto off = ParseNetworkReply("<return>\n<network>0A000005FF0000000A0000010A0000020");
    ASSERT_TRUE(off);
    EXPECT_FALSE(off->config.dhcp);
    EXPECT_EQ(off->config.dns, 0x0A000002u);

    EXPECT_FALSE(ParseNetworkReply("<return>\n<user>10"));
    EXPECT_FALSE(ParseNetworkReply(""));
}

TEST(NetworkReply, ShortOrMalformedFieldsReadAsZeroAndMarkIncomplete) {
    const std::string full = "<return>\n<network>C0A80064FFFFFF00C0A80001C0A800011";
    for (size_t length = 0; length <= full.size(); ++length) {
        ExactText reply(std::string_view(full).substr(0, length));
        const auto parsed = ParseNetworkReply(reply.View());
        EXPECT_EQ(parsed.has_value(), length >= 18u);
        if (parsed) {
            EXPECT_EQ(parsed->complete, length == full.size());
        }
    }
    ExactText cut(std::string_view(full).substr(0, 30));
    const auto parsed = ParseNetworkReply(cut.View());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->config.ip, 0xC0A80064u);
    EXPECT_EQ(parsed->config.mask, 0u);
    EXPECT_FALSE(parsed->config.dhcp);

    const auto bad = ParseNetworkReply("<return>\n<network>C0A8006ZFFFFFF00C0A80001C0A800010");
    ASSERT_TRUE(bad);
    EXPECT_FALSE(bad->complete);
    EXPECT_EQ(bad->config.ip, 0u);
    EXPECT_EQ(bad->config.mask, 0xFFFFFF00u);
}

TEST(NetworkRecord, KeepingAddressesChangesOnlyTheDhcpDigit) {
    const std::string reply = "<return>\n<network>c0a80064FFFFFF00C0A80001C0A800010";
    // The projector's own fields come back unchanged in value, in the record's upper case.
    EXPECT_EQ(BuildNetworkRecordKeepingAddresses(true, reply),
              "set=network1C0A80064FFFFFF00C0A80001C0A80001");
    EXPECT_EQ(BuildNetworkRecordKeepingAddresses(false, reply),
              "set=network0C0A80064FFFFFF00C0A80001C0A80001");
    // A failed or short query never yields a short record.
    EXPECT_FALSE(BuildNetworkRecordKeepingAddresses(true, ""));
    EXPECT_FALSE(BuildNetworkRecordKeepingAddresses(true, reply.substr(0, 49)));
    EXPECT_FALSE(BuildNetworkRecordKeepingAddresses(
        true, "<return>\n<network>c0a80064FFFFFF00C0A80001C0A8000 "));
}

TEST(UserRecord, AccessDigitsAndPaddedPasswords) {
    const std::string record = BuildUserRecord(1, "abc", 0, "");
    EXPECT_EQ(record,
              "set=user"
              "1"
              "abc" +
                  Blanks(29) + "0" + Blanks(32));
    EXPECT_EQ(record.size(), 74u);
    // A password longer than its field is cut, the record keeps its length.
    EXPECT_EQ(BuildUserRecord(0, std::string(40, 'p'), 1, "u").size(), 74u);
    // Nothing selected in a hidden list (index -1) sends 1 - (-1) = 2 as the projector expects a
    // single digit; values that do not fit one digit never widen the record.
    EXPECT_EQ(BuildUserRecord(1, "", 2, "")[8 + 1 + 32], '2');
    EXPECT_EQ(BuildUserRecord(11, "", -1, "").size(), 74u);
}

TEST(UserReply, AccessDigits) {
    const auto reply = ParseUserReply("<return>\n<user>10");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->adminAccess, 1);
    EXPECT_EQ(reply->userAccess, 0);
    EXPECT_FALSE(ParseUserReply("<return>\n<network>"));
    ExactText cut("<return>\n<user>1");
    const auto shortReply = ParseUserReply(cut.View());
    ASSERT_TRUE(shortReply);
    EXPECT_EQ(shortReply->adminAccess, 1);
    EXPECT_EQ(shortReply->userAccess, 0);
}

// ---- Alert ---------------------------------------------------------------------------------

AlertSettings SampleAlert() {
    AlertSettings alert;
    alert.mailTo = "ops@example.org";
    alert.mailCc = "desk@example.org";
    alert.mailSubject = "Projector alert";
    alert.mailFrom = "projector@example.org";
    alert.smtpServer = "smtp.example.org";
    alert.smtpUser = "mailer";
    alert.smtpPassword = "s3cret";
    alert.alertFanLock = 1;
    alert.alertOverTemperature = 0;
    alert.alertLampHours = 0;
    alert.alertLampFail = 1;
    return alert;
}

TEST(AlertRecord, SevenPaddedTextsThenFourFlags) {
    const std::string record = BuildAlertRecord(SampleAlert());
    ASSERT_EQ(record.size(), 9u + 7 * 32 + 4);
    EXPECT_EQ(record.substr(0, 9), "set=alert");
    EXPECT_EQ(record.substr(9, 32), "ops@example.org" + Blanks(17));
    EXPECT_EQ(record.substr(9 + 6 * 32, 32), "s3cret" + Blanks(26));
    EXPECT_EQ(record.substr(record.size() - 4), "1001");

    EXPECT_EQ(BuildAlertRecord(AlertSettings{}), "set=alert" + Blanks(7 * 32) + "0000");
    AlertSettings tooLong = SampleAlert();
    tooLong.mailSubject = std::string(31, 's') + "ß";
    const std::string cut = BuildAlertRecord(tooLong);
    EXPECT_EQ(cut.size(), 237u);
    EXPECT_EQ(cut.substr(9 + 2 * 32, 32), std::string(31, 's') + " ");
}

TEST(AlertReply, TextsLoseTrailingBlanksAndRoundTripTheRecord) {
    const std::string twenty = "someone@example.org.";
    ASSERT_EQ(twenty.size(), 20u);
    const auto reply =
        ParseAlertReply("<return>\n<alert>" + twenty + Blanks(12) + Blanks(6 * 32) + "0110");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->mailTo, twenty);
    EXPECT_EQ(reply->alertFanLock, 0);
    EXPECT_EQ(reply->alertOverTemperature, 1);
    EXPECT_EQ(reply->alertLampHours, 1);
    EXPECT_EQ(reply->alertLampFail, 0);

    // The reply carries the record's layout after a 16-character envelope.
    const std::string record = BuildAlertRecord(SampleAlert());
    EXPECT_EQ(ParseAlertReply("<return>\n<alert>" + record.substr(9)), SampleAlert());
    EXPECT_FALSE(ParseAlertReply("<return>\n<result>OK"));
}

TEST(AlertReply, ShortRepliesYieldWhatIsThereAndNeverReadPast) {
    const std::string full = "<return>\n<alert>" + BuildAlertRecord(SampleAlert()).substr(9);
    ASSERT_EQ(full.size(), 244u);
    for (size_t length = 0; length <= full.size(); ++length) {
        ExactText reply(std::string_view(full).substr(0, length));
        ParseAlertReply(reply.View());
    }
    ExactText cut("<return>\n<alert>ops@exa");
    const auto parsed = ParseAlertReply(cut.View());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->mailTo, "ops@exa");
    EXPECT_EQ(parsed->smtpPassword, "");
    EXPECT_EQ(parsed->alertFanLock, 0);
}

}  // namespace
}  // namespace vistrel
