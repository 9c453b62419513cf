#include "cli/listing.h"

#include <algorithm>
#include <cstdio>

#include "protocol/text_encoding.h"

namespace vistrel::cli {
namespace {

// Display width for alignment: one per character (UTF-8 sequence), not per byte.
size_t DisplayWidth(const std::string& s) {
    size_t width = 0;
    for (size_t i = 0; i < s.size();) {
        const size_t n = Utf8SequenceLength(s, i);
        i += n == 0 ? 1 : n;
        ++width;
    }
    return width;
}

// Control characters would break the table's lines; they are shown escaped.
std::string TableText(const std::string& s) {
    std::string out;
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

void RenderTable(const Listing& listing, std::ostream& out) {
    const size_t n = listing.columns.size();
    std::vector<std::vector<std::string>> lines;
    lines.reserve(listing.rows.size() + 1);
    std::vector<std::string> header;
    for (const Column& c : listing.columns)
        header.push_back(c.title);
    lines.push_back(std::move(header));
    for (const auto& row : listing.rows) {
        std::vector<std::string> line;
        for (size_t i = 0; i < n; ++i) {
            line.push_back(i < row.size() ? TableText(row[i].text) : std::string());
        }
        lines.push_back(std::move(line));
    }
    std::vector<size_t> widths(n, 0);
    for (const auto& line : lines) {
        for (size_t i = 0; i < n; ++i)
            widths[i] = std::max(widths[i], DisplayWidth(line[i]));
    }
    for (const auto& line : lines) {
        std::string text;
        for (size_t i = 0; i < n; ++i) {
            text += line[i];
            if (i + 1 < n)
                text.append(widths[i] - DisplayWidth(line[i]) + 2, ' ');
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        out << text << '\n';
    }
}

void RenderJson(const Listing& listing, std::ostream& out) {
    out << '[';
    for (size_t r = 0; r < listing.rows.size(); ++r) {
        out << (r == 0 ? "\n  {" : ",\n  {");
        const auto& row = listing.rows[r];
        for (size_t i = 0; i < listing.columns.size(); ++i) {
            if (i > 0)
                out << ", ";
            out << JsonString(listing.columns[i].key) << ": ";
            const Cell cell = i < row.size() ? row[i] : Cell::Null();
            switch (cell.kind) {
                case Cell::Kind::Text:
                    out << JsonString(cell.text);
                    break;
                case Cell::Kind::Number:
                    out << cell.number;
                    break;
                case Cell::Kind::Bool:
                    out << (cell.flag ? "true" : "false");
                    break;
                case Cell::Kind::Null:
                    out << "null";
                    break;
            }
        }
        out << '}';
    }
    out << (listing.rows.empty() ? "]\n" : "\n]\n");
}

void RenderCsv(const Listing& listing, std::ostream& out) {
    for (size_t i = 0; i < listing.columns.size(); ++i) {
        out << (i ? "," : "") << CsvField(listing.columns[i].key);
    }
    out << '\n';
    for (const auto& row : listing.rows) {
        for (size_t i = 0; i < listing.columns.size(); ++i) {
            out << (i ? "," : "") << (i < row.size() ? CsvField(row[i].text) : std::string());
        }
        out << '\n';
    }
}

}  // namespace

std::string CsvField(const std::string& text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

void Render(const Listing& raw, OutputFormat format, std::ostream& out) {
    // Projector texts in a legacy 8-bit encoding are printed as the UTF-8 they stand for.
    Listing listing = raw;
    for (auto& row : listing.rows) {
        for (Cell& cell : row)
            cell.text = ProjectorTextAsUtf8(cell.text);
    }
    switch (format) {
        case OutputFormat::Table:
            RenderTable(listing, out);
            break;
        case OutputFormat::Json:
            RenderJson(listing, out);
            break;
        case OutputFormat::Csv:
            RenderCsv(listing, out);
            break;
    }
}

}  // namespace vistrel::cli
