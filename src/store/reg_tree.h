// The in-memory form of the store: a tree of keys holding DWORD values, with the key
// name rules of the registry (case-insensitive lookup, case-insensitive alphabetical
// enumeration, original spelling kept).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vistrel {

// Compares ASCII letters without regard to case, as upper case (so '_' sorts after 'Z',
// the way the registry orders names). Bytes outside ASCII compare by value.
int CompareKeyNames(std::string_view a, std::string_view b);
bool KeyNamesEqual(std::string_view a, std::string_view b);

// A key name the store accepts: 1 to 255 bytes of valid UTF-8, no backslash (it separates
// path components), no control characters (they would break the text file's lines).
bool IsValidKeyName(std::string_view name);
// A value name the store accepts: up to 255 bytes of valid UTF-8 without control
// characters. Quotes and backslashes are escaped in the file. Empty is the default value.
bool IsValidValueName(std::string_view name);
// Text a string value can hold in the file: valid UTF-8 without control characters.
bool IsValidStringValue(std::string_view text);

struct RegValue {
    std::string name;
    bool isDword = true;
    uint32_t dword = 0;
    // Non-DWORD values found in the file are kept verbatim (the text after '=') so that a
    // rewrite never drops what an administrator put there.
    std::string raw;
};

class RegNode {
  public:
    explicit RegNode(std::string keyName = {}) : name(std::move(keyName)) {}

    RegNode* FindChild(std::string_view childName) const;
    // Returns the existing child of that name (any case) or a new one.
    RegNode* AddChild(std::string_view childName, bool* created = nullptr);
    // Removes the child of that name; false when absent.
    bool RemoveChild(std::string_view childName);

    RegValue* FindValue(std::string_view valueName);
    const RegValue* FindValue(std::string_view valueName) const;
    // Sets a DWORD; returns true when that changed anything.
    bool SetDword(std::string_view valueName, uint32_t value);
    void SetRaw(std::string_view valueName, std::string raw);
    bool RemoveValue(std::string_view valueName);

    std::string name;
    std::vector<RegValue> values;                   // storage order
    std::vector<std::unique_ptr<RegNode>> subkeys;  // sorted by CompareKeyNames

  private:
    size_t LowerBound(std::string_view childName) const;
};

}  // namespace vistrel
