// Checks of the names and addresses the command line takes, shared by its commands.
#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

#include "cli/cli_command.h"
#include "protocol/wire_fields.h"

namespace vistrel::cli {
namespace {

constexpr size_t kMacChars = 12;
// The window's view of every projector; its tasks are kept under this name.
constexpr const char* kAllProjectorsLabel = "All Projectors";

}  // namespace

bool IsDottedQuad(const std::string& text) {
    in_addr addr{};
    // c_str() would end the text at an embedded NUL and accept what follows it unseen.
    return text.size() <= 15 && text.find('\0') == std::string::npos &&
           inet_pton(AF_INET, text.c_str(), &addr) == 1;
}

bool LooksLikeMac(const std::string& word) {
    return word.size() == kMacChars &&
           std::all_of(word.begin(), word.end(), [](unsigned char c) { return std::isalnum(c); });
}

std::string CheckGroupName(const std::string& name, bool allowAllProjectors) {
    if (name.size() > kTextFieldWidth) {
        return "group name \"" + name + "\" is " + std::to_string(name.size()) +
               " bytes long; projectors store at most " + std::to_string(kTextFieldWidth);
    }
    if (name.find('\\') != std::string::npos) {
        return "group name \"" + name + "\" contains a backslash, which a group name cannot hold";
    }
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return "group name contains a control character";
    }
    if (!allowAllProjectors && Lower(name) == Lower(kAllProjectorsLabel)) {
        return "\"" + name + "\" is the name of the view of every projector, not a group";
    }
    return {};
}

std::string CheckProjectorName(const std::string& name) {
    if (name.size() > kTextFieldWidth) {
        return "projector name \"" + name + "\" is " + std::to_string(name.size()) +
               " bytes long; projectors store at most " + std::to_string(kTextFieldWidth);
    }
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return "projector name contains a control character";
    }
    return {};
}

std::string CheckMac(const std::string& mac) {
    if (mac.size() != kMacChars) {
        return "\"" + mac +
               "\" is not a projector identity: it has 12 characters, as "
               "\"vistrel-cli discover\" shows them";
    }
    for (unsigned char c : mac) {
        if (c <= 0x20 || c == 0x7F || c == '\\' || c >= 0x80) {
            return "\"" + mac +
                   "\" is not a projector identity: it holds a blank, a backslash "
                   "or another character that an identity never has";
        }
    }
    return {};
}

std::string CheckAddress(const std::string& option, const std::string& text) {
    if (IsDottedQuad(text))
        return {};
    return option + " needs an IPv4 address such as 192.168.1.255, not \"" + text + "\"";
}

}  // namespace vistrel::cli
