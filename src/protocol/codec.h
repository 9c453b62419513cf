// The projector wire format: every request body the console sends and every reply it reads.
// Nothing else in the console formats a record or reads a reply offset by hand.
//
// Text is bytes. Text fields are fixed-width, left-aligned and blank-padded; a text longer
// than its field is cut to the field width without splitting a UTF-8 sequence, so every record
// has exactly its documented length.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/records.h"
#include "protocol/wire_fields.h"

namespace vistrel {

// ---- Request bodies ------------------------------------------------------------------------

enum class QueryTopic { Info, Group, Model, Control, Network, User, Alert };

inline constexpr std::string_view kQueryInfoBody = "query=info";
inline constexpr std::string_view kQueryGroupBody = "query=group";
inline constexpr std::string_view kQueryModelBody = "query=model";
inline constexpr std::string_view kQueryControlBody = "query=control";
inline constexpr std::string_view kQueryNetworkBody = "query=network";
inline constexpr std::string_view kQueryUserBody = "query=user";
inline constexpr std::string_view kQueryAlertBody = "query=alert";
// Queue marker: the request queue drops older pending requests of its owner; never sent.
inline constexpr std::string_view kFlushBody = "query=CMD_FLUSH";
// Asks the projector to send a test alert mail.
inline constexpr std::string_view kTestBody = "set=test";

std::string QueryBody(QueryTopic topic);

// "command=" + a command code text such as "~0000 1".
std::string BuildCommand(std::string_view codeText);

// How a page writes the number it appends to a command code prefix.
enum class ValueForm {
    Plain,          // "%d": no padding, leading minus when negative
    ZeroPadded3,    // "%03d"
    RightAligned3,  // "%3d"
};

// "command=" + prefix + value, e.g. ("~0012 ", 10) -> "command=~0012 10".
std::string BuildValueCommand(std::string_view prefix, int value,
                              ValueForm form = ValueForm::Plain);

inline constexpr std::string_view kDisplayMessagePrefix = "~00210 ";
inline constexpr size_t kDisplayMessageWidth = 30;

// "set=group" + group name and projector name, each in a 32-byte field: 73 bytes.
std::string BuildGroupRecord(std::string_view groupName, std::string_view projectorName);

// A projector's IP configuration; addresses packed, first octet most significant.
struct NetworkConfig {
    bool dhcp = false;
    uint32_t ip = 0;
    uint32_t mask = 0;
    uint32_t gateway = 0;
    uint32_t dns = 0;

    bool operator==(const NetworkConfig&) const = default;
};

// "set=network" + "%d%08X%08X%08X%08X": 44 bytes.
std::string BuildNetworkRecord(const NetworkConfig& config);

// "set=network" with a new DHCP digit and the four address fields of a projector's own
// "<network>" reply, unchanged. nullopt when the reply does not carry four well-formed
// address fields: sending a short record would hand the projector a broken configuration.
std::optional<std::string> BuildNetworkRecordKeepingAddresses(bool dhcp,
                                                              std::string_view networkReply);

// "set=user" + "%d%-32s%d%-32s": 74 bytes. Access flags are 1 (ON) or 0 (OFF); see FlagDigit.
std::string BuildUserRecord(int adminAccess, std::string_view adminPassword, int userAccess,
                            std::string_view userPassword);

struct AlertSettings {
    std::string mailTo;
    std::string mailCc;
    std::string mailSubject;
    std::string mailFrom;
    std::string smtpServer;
    std::string smtpUser;
    std::string smtpPassword;
    int alertFanLock = 0;
    int alertOverTemperature = 0;
    int alertLampHours = 0;
    int alertLampFail = 0;

    bool operator==(const AlertSettings&) const = default;
};

// "set=alert" + seven 32-byte texts + four one-digit flags: 237 bytes.
std::string BuildAlertRecord(const AlertSettings& alert);

// ---- Replies -------------------------------------------------------------------------------

inline constexpr std::string_view kInfoReplyPrefix = "<return>\n<info>";
inline constexpr std::string_view kGroupReplyPrefix = "<return>\n<group>";
inline constexpr std::string_view kModelReplyPrefix = "<return>\n<model>";
inline constexpr std::string_view kControlReplyPrefix = "<return>\n<control>";
inline constexpr std::string_view kResultOkReply = "<return>\n<result>OK";
inline constexpr std::string_view kControlTag = "<control>";
inline constexpr std::string_view kGroupTag = "<group>";
inline constexpr std::string_view kNetworkTag = "<network>";
inline constexpr std::string_view kUserTag = "<user>";
inline constexpr std::string_view kAlertTag = "<alert>";
inline constexpr std::string_view kTimeoutText = "<result>timeout";
inline constexpr std::string_view kTimeoutElement = "<result>timeout</result>";

// Tag tests as the pages use them: some require a reply to begin with its envelope, others
// accept the tag anywhere (a time-out text, "<result>timeout", can sit anywhere).
bool ReplyBeginsWith(std::string_view reply, std::string_view prefix);
bool ReplyContains(std::string_view reply, std::string_view tag);

// A reply that begins "<return>\n<result>OK": the command or set was carried out.
bool BeginsWithOk(std::string_view reply);
// A reply that contains "<return>\n<result>OK" anywhere.
bool ContainsOk(std::string_view reply);

// Decodes an info reply into power, lampHour, source, fwVersion and displayMode; other fields
// are untouched. Without "OK" all five are emptied. Returns whether "OK" was found.
bool ParseInfoReply(std::string_view reply, Info& info);

struct GroupNames {
    std::string groupName;
    std::string projectorName;
};

// The two 32-byte name fields at offsets 16 and 48, trailing white space removed; no tag check.
GroupNames ReadGroupNames(std::string_view reply);

// Applies a reply that begins "<return>\n<group>" to groupName and projectorName. Any other
// reply changes nothing; returns whether it was applied.
bool ParseGroupReply(std::string_view reply, Info& info);

// The model code: the one byte at offset 18 of a reply beginning "<return>\n<model>" (empty
// when the reply ends before it). nullopt for any other reply.
std::optional<std::string> ParseModelReply(std::string_view reply);

// Every field of the control reply. Pages read the same offsets from any reply they are given
// (a time-out text reads as power 0), so ReadControlReply does not check the tag.
struct ControlReply {
    int power = 0;       // 0 off, otherwise on
    int brightMode = 0;  // bright mode table code
    int freeze = 0;
    int sourceLock = 0;
    int avMute = 0;
    int informationHide = 0;  // 0 = hide on
    int highAltitude = 0;
    int keypadLock = 0;
    int directPower = 0;
    int sourceCode = 0;        // code column of the source table
    int displayFormat = 0;     // index
    int displayModeCode = 0;   // 1..8 as the info table, 9 "3D"
    int colorTemperature = 0;  // index
    int degamma = 0;           // index
    int projection = 0;        // index
    int logo = 0;              // index
    int backgroundColor = 0;   // index
    int colorSpace = 0;        // index
    int projectorId = 0;
    int volume = 0;
    int sharpness = 0;
    int phase = 0;
    int brilliantColor = 0;
    int zoom = 0;  // signed
    int brightness = 0;
    int contrast = 0;
    int imageShift = 0;  // signed
    int keystone = 0;    // signed
    int autoPowerOff = 0;
    int sleepTimer = 0;
    int closedCaptioning = 0;  // index
    int autoKeystone = 0;
    int threeD = 0;  // 3D flag

    bool operator==(const ControlReply&) const = default;
};

struct ControlField {
    int ControlReply::*member;
    size_t offset;
    size_t width;
};

// Where each field sits, counted from the first byte of the reply.
inline constexpr ControlField kControlLayout[] = {
    {&ControlReply::power, 20, 1},
    {&ControlReply::brightMode, 22, 1},
    {&ControlReply::freeze, 23, 1},
    {&ControlReply::sourceLock, 24, 1},
    {&ControlReply::avMute, 25, 1},
    {&ControlReply::informationHide, 26, 1},
    {&ControlReply::highAltitude, 28, 1},
    {&ControlReply::keypadLock, 29, 1},
    {&ControlReply::directPower, 32, 1},
    {&ControlReply::sourceCode, 34, 1},
    {&ControlReply::displayFormat, 35, 1},
    {&ControlReply::displayModeCode, 36, 1},
    {&ControlReply::colorTemperature, 37, 1},
    {&ControlReply::degamma, 38, 1},
    {&ControlReply::projection, 39, 1},
    {&ControlReply::logo, 40, 1},
    {&ControlReply::backgroundColor, 41, 1},
    {&ControlReply::colorSpace, 42, 1},
    {&ControlReply::projectorId, 43, 2},
    {&ControlReply::volume, 45, 2},
    {&ControlReply::sharpness, 47, 2},
    {&ControlReply::phase, 49, 2},
    {&ControlReply::brilliantColor, 51, 2},
    {&ControlReply::zoom, 53, 2},
    {&ControlReply::brightness, 55, 3},
    {&ControlReply::contrast, 58, 3},
    {&ControlReply::imageShift, 61, 3},
    {&ControlReply::keystone, 64, 3},
    {&ControlReply::autoPowerOff, 67, 3},
    {&ControlReply::sleepTimer, 70, 3},
    {&ControlReply::closedCaptioning, 73, 1},
    {&ControlReply::autoKeystone, 74, 1},
    {&ControlReply::threeD, 75, 1},
};

// The layout entry of `member`; the setting catalogue places its settings through it. A
// member that is not in the layout does not compile where it is used in a constant.
constexpr const ControlField& ControlFieldOf(int ControlReply::*member) {
    for (const ControlField& field : kControlLayout) {
        if (field.member == member)
            return field;
    }
    throw "not a field of the control reply";
}

// Offset of the power digit, which the dialog overwrites after a successful power-off.
inline constexpr size_t kControlPowerOffset = ControlFieldOf(&ControlReply::power).offset;
// A complete control reply has at least this many bytes.
inline constexpr size_t kControlReplyLength = 76;

bool IsControlReply(std::string_view reply);  // begins "<return>\n<control>"
ControlReply ReadControlReply(std::string_view reply);

// The "<network>" reply: four hex address fields at 18, 26, 34, 42 and the DHCP digit at 50.
struct NetworkReply {
    NetworkConfig config;
    // False when the reply ends early or an address field is not eight hex digits; such
    // fields read as 0.0.0.0.
    bool complete = false;
};

inline constexpr size_t kNetworkReplyLength = 51;

// nullopt when the reply does not contain "<network>".
std::optional<NetworkReply> ParseNetworkReply(std::string_view reply);

// The "<user>" reply: access digits at 15 (administrator) and 16 (user), 1 ON, 0 OFF.
struct UserReply {
    int adminAccess = 0;
    int userAccess = 0;
};

// A "<user>" reply that carries both digits has at least this many bytes.
inline constexpr size_t kUserReplyLength = 17;

// nullopt when the reply does not contain "<user>".
std::optional<UserReply> ParseUserReply(std::string_view reply);

// The "<alert>" reply: seven 32-byte texts from offset 16, then four digits at 240 to 243.
// Offsets count from the start of the reply. nullopt when it does not contain "<alert>".
// A reply with all four digits has at least kAlertReplyLength bytes.
inline constexpr size_t kAlertReplyLength = 244;
std::optional<AlertSettings> ParseAlertReply(std::string_view reply);

}  // namespace vistrel
