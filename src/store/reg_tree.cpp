#include "store/reg_tree.h"

#include <algorithm>

namespace vistrel {

namespace {

unsigned char FoldUpper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

bool IsValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t extra = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size())
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) ||
            (extra == 3 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

bool HasControl(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c < 0x20 || c == 0x7F;
    });
}

}  // namespace

int CompareKeyNames(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char ca = FoldUpper(static_cast<unsigned char>(a[i]));
        const unsigned char cb = FoldUpper(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool KeyNamesEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareKeyNames(a, b) == 0;
}

bool IsValidKeyName(std::string_view name) {
    return !name.empty() && name.size() <= 255 && name.find('\\') == std::string_view::npos &&
           !HasControl(name) && IsValidUtf8(name);
}

bool IsValidValueName(std::string_view name) {
    return name.size() <= 255 && !HasControl(name) && IsValidUtf8(name);
}

bool IsValidStringValue(std::string_view text) {
    return !HasControl(text) && IsValidUtf8(text);
}

size_t RegNode::LowerBound(std::string_view childName) const {
    auto it = std::lower_bound(subkeys.begin(), subkeys.end(), childName,
                               [](const std::unique_ptr<RegNode>& n, std::string_view k) {
                                   return CompareKeyNames(n->name, k) < 0;
                               });
    return static_cast<size_t>(it - subkeys.begin());
}

RegNode* RegNode::FindChild(std::string_view childName) const {
    const size_t i = LowerBound(childName);
    if (i < subkeys.size() && KeyNamesEqual(subkeys[i]->name, childName))
        return subkeys[i].get();
    return nullptr;
}

RegNode* RegNode::AddChild(std::string_view childName, bool* created) {
    const size_t i = LowerBound(childName);
    if (i < subkeys.size() && KeyNamesEqual(subkeys[i]->name, childName)) {
        if (created)
            *created = false;
        return subkeys[i].get();
    }
    if (created)
        *created = true;
    auto node = std::make_unique<RegNode>(std::string(childName));
    RegNode* raw = node.get();
    subkeys.insert(subkeys.begin() + static_cast<std::ptrdiff_t>(i), std::move(node));
    return raw;
}

bool RegNode::RemoveChild(std::string_view childName) {
    const size_t i = LowerBound(childName);
    if (i < subkeys.size() && KeyNamesEqual(subkeys[i]->name, childName)) {
        subkeys.erase(subkeys.begin() + static_cast<std::ptrdiff_t>(i));
        return true;
    }
    return false;
}

RegValue* RegNode::FindValue(std::string_view valueName) {
    for (auto& v : values) {
        if (KeyNamesEqual(v.name, valueName))
            return &v;
    }
    return nullptr;
}

const RegValue* RegNode::FindValue(std::string_view valueName) const {
    return const_cast<RegNode*>(this)->FindValue(valueName);
}

bool RegNode::SetDword(std::string_view valueName, uint32_t value) {
    if (RegValue* v = FindValue(valueName)) {
        if (v->isDword && v->dword == value)
            return false;
        v->isDword = true;
        v->dword = value;
        v->raw.clear();
        return true;
    }
    values.push_back(RegValue{std::string(valueName), true, value, {}});
    return true;
}

void RegNode::SetRaw(std::string_view valueName, std::string raw) {
    if (RegValue* v = FindValue(valueName)) {
        v->isDword = false;
        v->dword = 0;
        v->raw = std::move(raw);
        return;
    }
    values.push_back(RegValue{std::string(valueName), false, 0, std::move(raw)});
}

bool RegNode::RemoveValue(std::string_view valueName) {
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (KeyNamesEqual(it->name, valueName)) {
            values.erase(it);
            return true;
        }
    }
    return false;
}

}  // namespace vistrel
