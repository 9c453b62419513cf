// The PJLink text protocol, both directions, with no I/O: command lines, the greeting,
// replies and their values. Every reader accepts any bytes and never reads past a line.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vistrel::pjlink {

inline constexpr uint16_t kPort = 4352;
// Longest line either side sends, CR included. Longer input is a broken peer.
inline constexpr size_t kMaxLine = 256;
// Longest password the digest is built from; longer ones are refused when set.
inline constexpr size_t kMaxPassword = 32;

// "%1POWR ?" + CR. `name` is the four-letter command, `parameter` "?" to query.
std::string BuildCommand(int commandClass, std::string_view name, std::string_view parameter);
// The line that opens an authenticated session: the digest of random + password, then the
// first command.
std::string AuthenticatedCommand(std::string_view random, std::string_view password,
                                 const std::string& command);
std::string AuthDigest(std::string_view random, std::string_view password);

// What a projector says when a connection opens.
struct Greeting {
    enum class Kind { Open, Authenticate, Refused, Malformed };
    Kind kind = Kind::Malformed;
    std::string random;  // Authenticate: the projector's random number
};
// `line` without its CR.
Greeting ParseGreeting(std::string_view line);

enum class Outcome {
    Value,      // "=<value>": a query's answer
    Ok,         // "=OK": a command carried out
    Undefined,  // ERR1: no such command
    BadParam,   // ERR2: parameter out of range
    Busy,       // ERR3: not now (warm-up, cooling, standby)
    Failure,    // ERR4: the projector has a fault
    Refused,    // "PJLINK ERRA": wrong password
    Malformed,
};

struct Reply {
    int commandClass = 0;
    std::string name;  // upper-case four letters
    Outcome outcome = Outcome::Malformed;
    std::string value;  // Outcome::Value only
};
// `line` without its CR.
Reply ParseReply(std::string_view line);
// A short text for an outcome that is not a value ("unavailable now", ...).
const char* OutcomeText(Outcome outcome);

enum class Power { Standby = 0, On = 1, Cooling = 2, WarmUp = 3 };
std::optional<Power> ParsePower(std::string_view value);
// The row's power text: "ON", "OFF", "Warming up", "Cooling down".
const char* PowerLabel(Power power);

// One input: type 1 RGB, 2 video, 3 digital, 4 storage, 5 network (6 internal in class 2);
// number 1-9 (class 2 also A-Z).
struct Input {
    int type = 0;
    char number = '0';
    std::string Code() const;  // "31"
    bool operator==(const Input&) const = default;
};
std::optional<Input> ParseInput(std::string_view value);
// "RGB 1", "Digital 2", ...
std::string InputLabel(const Input& input);
// INST's answer: inputs separated by spaces; malformed entries are dropped.
std::vector<Input> ParseInputList(std::string_view value);

// AVMT: video and audio mute.
struct AvMute {
    bool video = false;
    bool audio = false;
};
std::optional<AvMute> ParseAvMute(std::string_view value);

// ERST: fan, lamp, temperature, cover, filter, other; 0 fine, 1 warning, 2 error.
enum class ErrorItem { Fan, Lamp, Temperature, Cover, Filter, Other };
inline constexpr int kErrorItems = 6;
using ErrorStatus = std::array<int, kErrorItems>;
std::optional<ErrorStatus> ParseErrorStatus(std::string_view value);
const char* ErrorItemName(int item);

struct Lamp {
    uint32_t hours = 0;
    bool on = false;
};
// LAMP: pairs of cumulative hours and on/off, one pair per lamp (up to eight).
std::optional<std::vector<Lamp>> ParseLamps(std::string_view value);

// A non-negative decimal number (FILT), at most nine digits.
std::optional<uint32_t> ParseCount(std::string_view value);

// Everything a poll learns about one projector.
struct Status {
    int commandClass = 1;
    std::optional<Power> power;
    std::optional<Input> input;
    std::optional<AvMute> avMute;
    std::optional<bool> freeze;  // class 2; not polled, asked by the dialog
    std::optional<ErrorStatus> errors;
    std::vector<Lamp> lamps;
    std::vector<Input> inputs;
    std::vector<std::pair<std::string, std::string>> inputNames;  // code, name (class 2)
    std::optional<uint32_t> filterHours;
    std::string name, maker, model, other, serial, software;
};
// Folds one reply into `status`; false when it carried nothing usable. INNM replies need
// the input they named: `innmInput`.
bool ApplyReply(const Reply& reply, Status& status, std::string_view innmInput = {});
// The row's source text: the class-2 name of the input when known, else its label.
std::string SourceLabel(const Status& status);

// The query lines of one poll: class 1 always, class 2's when the projector says it has it.
std::vector<std::string> PollCommands(int commandClass);

}  // namespace vistrel::pjlink
