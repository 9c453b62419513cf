// What a listing command prints: named columns and rows of typed cells, rendered as an
// aligned table for people, or as JSON or CSV for scripts.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace vistrel::cli {

enum class OutputFormat { Table, Json, Csv };

// One value. Scripts get numbers and booleans as such in JSON; every form shows `text`
// otherwise.
struct Cell {
    enum class Kind { Text, Number, Bool, Null };
    Kind kind = Kind::Text;
    std::string text;
    int64_t number = 0;
    bool flag = false;

    static Cell Text(std::string value) { return {Kind::Text, std::move(value), 0, false}; }
    static Cell Number(int64_t value) {
        return {Kind::Number, std::to_string(value), value, false};
    }
    static Cell Bool(bool value) { return {Kind::Bool, value ? "yes" : "no", 0, value}; }
    // No value: blank in the table and CSV, null in JSON.
    static Cell Null() { return {Kind::Null, "", 0, false}; }
};

struct Column {
    std::string key;    // JSON member and CSV header
    std::string title;  // table header
};

struct Listing {
    std::vector<Column> columns;
    std::vector<std::vector<Cell>> rows;

    void AddRow(std::vector<Cell> row) { rows.push_back(std::move(row)); }
};

// Text that is not valid UTF-8 (a projector's legacy 8-bit name) is printed as the
// Windows-1252 characters it stands for, in UTF-8.
// Table: a header line and one line per row, columns two blanks apart, the last column not
// padded. JSON: an array of objects, one per row, members in column order. CSV: a header
// line of keys, then the rows, quoted where needed (RFC 4180, CRLF-free "\n" line ends).
void Render(const Listing& listing, OutputFormat format, std::ostream& out);

// A CSV field, quoted when it holds a comma, a quote, a line break or edge blanks.
std::string CsvField(const std::string& text);

}  // namespace vistrel::cli
