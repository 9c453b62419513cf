// The text of "vistrel-cli --help".
#pragma once

#include <string_view>

namespace vistrel::cli {

std::string_view HelpText();
std::string_view ShortUsage();

}  // namespace vistrel::cli
