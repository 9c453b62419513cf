// A setting given on the command line as NAME=VALUE: typed by hand, pasted, or built by a
// script from odd data. Whatever is refused says why in text a terminal can show; whatever is
// accepted names a known setting with a value of its kind.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/cli_options.h"
#include "cli/setting_names.h"
#include "fuzz_check.h"
#include "protocol/text_encoding.h"

using namespace vistrel;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string word(fuzz::AsText(data, size));
    try {
        const cli::SettingAssignment a = cli::ParseAssignment(word);
        const cli::SettingName* setting = cli::Settings().Find(a.name);
        Check(setting != nullptr && setting->name == a.name, "an accepted name is a setting");
        if (setting->kind == cli::ValueKind::Address) {
            Check(cli::IsDottedQuad(a.value) && a.value.find('\0') == std::string::npos,
                  "an accepted address is a dotted quad without hidden bytes");
        }
        if (setting->kind == cli::ValueKind::OnOff)
            Check(a.value == "on" || a.value == "off", "on and off are spelt one way");
        if (setting->kind == cli::ValueKind::Text)
            Check(a.value.size() <= setting->maxBytes, "an accepted text fits its field");
    } catch (const cli::UsageError& e) {
        const std::string message = e.what();
        Check(!message.empty(), "a refusal says why");
        for (unsigned char c : message)
            Check(c >= 0x20 && c != 0x7F, "a refusal writes no control bytes to the terminal");
        Check(IsValidUtf8(message), "a refusal is text a terminal can show");
    }
    return 0;
}
