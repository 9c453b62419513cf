#include "store/reg_text.h"

#include <cstdio>
#include <vector>

namespace vistrel {

namespace {

void AppendQuoted(std::string& out, std::string_view name) {
    out += '"';
    for (char c : name) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    out += '"';
}

void WriteNode(const RegNode& node, std::string& path, std::string& out) {
    const size_t mark = path.size();
    if (!path.empty())
        path += '\\';
    path += node.name;
    if (!node.values.empty() || node.subkeys.empty()) {
        out += '[';
        out += path;
        out += "]\n";
        for (const RegValue& v : node.values) {
            if (v.name.empty()) {
                out += '@';
            } else {
                AppendQuoted(out, v.name);
            }
            out += '=';
            if (v.isDword) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
                out += buf;
            } else {
                out += v.raw;
            }
            out += '\n';
        }
        out += '\n';
    }
    for (const auto& child : node.subkeys)
        WriteNode(*child, path, out);
    path.resize(mark);
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

bool SplitPath(std::string_view path, std::vector<std::string_view>& parts) {
    parts.clear();
    size_t begin = 0;
    while (true) {
        const size_t end = path.find('\\', begin);
        const std::string_view part = path.substr(
            begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
        if (!IsValidKeyName(part))
            return false;
        parts.push_back(part);
        if (end == std::string_view::npos)
            return true;
        begin = end + 1;
    }
}

// Parses a quoted name at the start of `s`; on success `s` is left after the quote.
bool ParseQuotedName(std::string_view& s, std::string& name) {
    if (s.empty() || s.front() != '"')
        return false;
    size_t i = 1;
    name.clear();
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\\' && i + 1 < s.size()) {
            name += s[i + 1];
            i += 2;
            continue;
        }
        if (c == '"') {
            s.remove_prefix(i + 1);
            return true;
        }
        name += c;
        ++i;
    }
    return false;
}

bool ParseHexDword(std::string_view s, uint32_t& out) {
    if (s.empty() || s.size() > 8)
        return false;
    uint32_t v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            d = c - 'A' + 10;
        } else {
            return false;
        }
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    out = v;
    return true;
}

// "hex:01,02" or a typed form such as "hex(2):41,00".
bool IsHexData(std::string_view s) {
    return s.substr(0, 4) == "hex:" || s.substr(0, 4) == "hex(";
}

bool Fail(std::string* error, size_t line, const char* what) {
    if (error)
        *error = "line " + std::to_string(line) + ": " + what;
    return false;
}

}  // namespace

std::string SerializeReg(const RegNode& root) {
    std::string out;
    out.reserve(256);
    out += kRegHeader;
    out += "\n\n";
    std::string path;
    for (const auto& hive : root.subkeys)
        WriteNode(*hive, path, out);
    return out;
}

bool ParseReg(std::string_view text, RegNode& root, std::string* error) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);

    // Physical lines; only binary (hex) values continue over lines, joined where they are read.
    std::vector<std::pair<size_t, std::string_view>> lines;
    size_t lineNo = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        lines.emplace_back(++lineNo, TrimRight(text.substr(pos, end - pos)));
        pos = end + 1;
    }

    size_t i = 0;
    while (i < lines.size() && TrimLeft(lines[i].second).empty())
        ++i;
    if (i == lines.size())
        return Fail(error, lineNo, "no header");
    const std::string_view header = TrimLeft(lines[i].second);
    if (header != kRegHeader && header != "REGEDIT4") {
        return Fail(error, lines[i].first, "not a registry file header");
    }

    RegNode* current = nullptr;
    std::vector<std::string_view> parts;
    for (++i; i < lines.size(); ++i) {
        const size_t no = lines[i].first;
        const std::string_view line = TrimLeft(lines[i].second);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3)
                return Fail(error, no, "bad key line");
            std::string_view path = line.substr(1, line.size() - 2);
            const bool remove = path.front() == '-';
            if (remove)
                path.remove_prefix(1);
            if (!SplitPath(path, parts))
                return Fail(error, no, "bad key path");
            if (remove) {
                RegNode* parent = &root;
                for (size_t k = 0; k + 1 < parts.size() && parent; ++k) {
                    parent = parent->FindChild(parts[k]);
                }
                if (parent)
                    parent->RemoveChild(parts.back());
                current = nullptr;
                continue;
            }
            current = &root;
            for (auto part : parts)
                current = current->AddChild(part);
            continue;
        }
        if (line.front() != '"' && line.front() != '@') {
            const std::string_view previous = i > 0 ? lines[i - 1].second : std::string_view();
            if (!previous.empty() && previous.back() == '\\')
                return Fail(error, no,
                            "continues a value over lines, which only hex: values may do");
            return Fail(error, no, "unrecognised line");
        }
        if (!current)
            return Fail(error, no, "value outside a key");
        std::string name;
        std::string_view rest = line;
        if (rest.front() == '@') {
            rest.remove_prefix(1);
        } else if (!ParseQuotedName(rest, name)) {
            return Fail(error, no, "unterminated value name");
        }
        if (!IsValidValueName(name))
            return Fail(error, no, "bad value name");
        rest = TrimLeft(rest);
        if (rest.empty() || rest.front() != '=')
            return Fail(error, no, "missing '='");
        rest = TrimLeft(rest.substr(1));
        if (rest == "-") {
            current->RemoveValue(name);
        } else if (rest.substr(0, 6) == "dword:") {
            uint32_t v = 0;
            if (!ParseHexDword(rest.substr(6), v))
                return Fail(error, no, "bad dword");
            current->SetDword(name, v);
        } else if (IsHexData(rest)) {
            // A trailing backslash continues the bytes on the next line. Any other value keeps
            // its backslash: joining text lines would change what is written back.
            std::string data(rest);
            while (!data.empty() && data.back() == '\\') {
                data.pop_back();
                data.resize(TrimRight(data).size());
                if (i + 1 < lines.size())
                    data.append(TrimLeft(lines[++i].second));
            }
            current->SetRaw(name, data);
        } else if (!rest.empty()) {
            current->SetRaw(name, std::string(rest));
        } else {
            return Fail(error, no, "missing value data");
        }
    }
    return true;
}

std::string EncodeRegString(std::string_view text) {
    std::string out;
    AppendQuoted(out, text);
    return out;
}

std::optional<std::string> DecodeRegString(std::string_view raw) {
    std::string text;
    if (!ParseQuotedName(raw, text) || !TrimLeft(raw).empty())
        return std::nullopt;
    return text;
}

}  // namespace vistrel
