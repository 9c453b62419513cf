// The store's file format: the registry editor's export text ("Windows Registry Editor
// Version 5.00"), UTF-8, so that the file can be read by people and imported on Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "store/reg_tree.h"

namespace vistrel {

inline constexpr std::string_view kRegHeader = "Windows Registry Editor Version 5.00";

// Writes the whole tree below `root` (whose children are hives such as
// HKEY_CURRENT_USER). Keys are written in enumeration order; a key is written when it has
// values or no subkeys (keys with subkeys are implied by them).
std::string SerializeReg(const RegNode& root);

// Reads text into `root` (which should be empty). Accepts a UTF-8 byte-order mark, CRLF or
// LF, comments (';'), continued lines ('\' at the end), "REGEDIT4" as header, and the
// deletion forms "[-key]" and "name"=-. DWORDs become values; any other value kind is
// kept verbatim. False with a message naming the line when the text is not such a file.
bool ParseReg(std::string_view text, RegNode& root, std::string* error);

// A text (REG_SZ) value as the export writes it after '=': quoted, with '"' and '\\' escaped.
// The text must not hold line breaks (IsValidStringValue).
std::string EncodeRegString(std::string_view text);
// The text of a kept value written in that form; nullopt for other value kinds.
std::optional<std::string> DecodeRegString(std::string_view raw);

}  // namespace vistrel
