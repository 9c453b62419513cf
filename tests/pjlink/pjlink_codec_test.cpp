#include <gtest/gtest.h>

#include "pjlink/md5.h"
#include "pjlink/pjlink_codec.h"

namespace vistrel::pjlink {
namespace {

TEST(PjlinkCodec, Md5MatchesKnownDigestsAcrossBlockEdges) {
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    // 62 and 80 bytes: the length no longer fits in the last block, and a second block.
    EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Md5Hex("1234567890123456789012345678901234567890123456789012345678901234567890"
                     "1234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    // The digest a projector expects for random "498e4a67" and password "JBMIAProjectorLink".
    EXPECT_EQ(AuthDigest("498e4a67", "JBMIAProjectorLink"), "5d8409bc1c3fa39749434aa3a5c38682");
}

TEST(PjlinkCodec, CommandsAndGreetings) {
    EXPECT_EQ(BuildCommand(1, "POWR", "1"), "%1POWR 1\r");
    EXPECT_EQ(BuildCommand(2, "INNM", "?31"), "%2INNM ?31\r");
    EXPECT_EQ(AuthenticatedCommand("ab", "pw", "%1POWR ?\r"),
              AuthDigest("ab", "pw") + "%1POWR ?\r");

    EXPECT_EQ(ParseGreeting("PJLINK 0").kind, Greeting::Kind::Open);
    const Greeting auth = ParseGreeting("PJLINK 1 498e4a67");
    EXPECT_EQ(auth.kind, Greeting::Kind::Authenticate);
    EXPECT_EQ(auth.random, "498e4a67");
    EXPECT_EQ(ParseGreeting("PJLINK ERRA").kind, Greeting::Kind::Refused);
    for (const char* bad : {"", "PJLINK", "PJLINK 2", "PJLINK 1 ", "PJLINK 1 a b", "pjlink 0",
                            "PJLINK 1 0123456789012345678901234567890123"})
        EXPECT_EQ(ParseGreeting(bad).kind, Greeting::Kind::Malformed) << bad;
}

TEST(PjlinkCodec, RepliesAndErrorCodes) {
    Reply r = ParseReply("%1POWR=OK");
    EXPECT_EQ(r.outcome, Outcome::Ok);
    EXPECT_EQ(r.name, "POWR");
    EXPECT_EQ(r.commandClass, 1);
    EXPECT_EQ(ParseReply("%1POWR=ERR1").outcome, Outcome::Undefined);
    EXPECT_EQ(ParseReply("%1INPT=ERR2").outcome, Outcome::BadParam);
    EXPECT_EQ(ParseReply("%1POWR=ERR3").outcome, Outcome::Busy);
    EXPECT_EQ(ParseReply("%1LAMP=ERR4").outcome, Outcome::Failure);
    EXPECT_EQ(ParseReply("PJLINK ERRA").outcome, Outcome::Refused);
    r = ParseReply("%2NAME=Hall\x01 A");
    EXPECT_EQ(r.outcome, Outcome::Value);
    EXPECT_EQ(r.value, "Hall? A");  // control bytes never reach the list
    EXPECT_EQ(ParseReply("%2NAME=").value, "");
    for (const char* bad : {"", "%", "%1POW=1", "%3POWR=1", "%1powr=1", "%1POWR 1", "1POWR=1"})
        EXPECT_EQ(ParseReply(bad).outcome, Outcome::Malformed) << bad;
    EXPECT_EQ(ParseReply("%1NAME=" + std::string(kMaxLine, 'x')).outcome, Outcome::Malformed);
}

TEST(PjlinkCodec, ValuesFoldIntoStatus) {
    Status s;
    auto apply = [&s](const char* line, std::string_view innm = {}) {
        return ApplyReply(ParseReply(line), s, innm);
    };
    EXPECT_TRUE(apply("%1POWR=3"));
    EXPECT_EQ(PowerLabel(*s.power), std::string("Warming up"));
    EXPECT_FALSE(apply("%1POWR=4"));
    EXPECT_FALSE(s.power.has_value());
    EXPECT_TRUE(apply("%1INPT=32"));
    EXPECT_EQ(SourceLabel(s), "Digital 2");
    EXPECT_TRUE(apply("%2INNM=HDMI 2", "32"));
    EXPECT_EQ(SourceLabel(s), "HDMI 2");
    EXPECT_FALSE(apply("%2INNM=X", "9"));
    EXPECT_TRUE(apply("%1INST=11 12  31 32 11 3 7Z"));
    ASSERT_EQ(s.inputs.size(), 4u);  // duplicates and malformed entries dropped
    EXPECT_EQ(s.inputs[2].Code(), "31");
    EXPECT_TRUE(apply("%1AVMT=21"));
    EXPECT_TRUE(s.avMute->audio);
    EXPECT_FALSE(s.avMute->video);
    EXPECT_TRUE(apply("%1ERST=021000"));
    EXPECT_EQ((*s.errors)[static_cast<int>(ErrorItem::Lamp)], 2);
    EXPECT_FALSE(apply("%1ERST=0210003"));
    EXPECT_TRUE(apply("%1LAMP=1234 1 56 0"));
    ASSERT_EQ(s.lamps.size(), 2u);
    EXPECT_EQ(s.lamps[0].hours, 1234u);
    EXPECT_TRUE(s.lamps[0].on);
    EXPECT_FALSE(apply("%1LAMP=1234"));
    EXPECT_FALSE(apply("%1LAMP=99999999999 1"));
    EXPECT_TRUE(apply("%1CLSS=2"));
    EXPECT_EQ(s.commandClass, 2);
    EXPECT_TRUE(apply("%2SVER=1.02"));
    EXPECT_EQ(s.software, "1.02");
    EXPECT_TRUE(apply("%2FILT=310"));
    EXPECT_EQ(*s.filterHours, 310u);
    EXPECT_FALSE(apply("%1POWR=ERR3"));
    EXPECT_FALSE(apply("%1ZZZZ=1"));
    EXPECT_EQ(PollCommands(1).back(), "%1INST ?\r");
    EXPECT_EQ(PollCommands(2).back(), "%2INST ?\r");
}

}  // namespace
}  // namespace vistrel::pjlink
