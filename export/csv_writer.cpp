// CSV: comma-separated values with CRLF line ends, quoted where needed, and
// guarded against being read as formulas by a spreadsheet.
#include <array>

#include "export/export_writers.hpp"

namespace fwk {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// The bytes that make a value need quotes.
constexpr std::array<bool, 256> make_quote_table() {
  std::array<bool, 256> table{};
  table[','] = table['"'] = table['\r'] = table['\n'] = true;
  return table;
}
constexpr std::array<bool, 256> kNeedsQuotes = make_quote_table();

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// A signed decimal number such as -5, +3.25 or -1e6: nothing a spreadsheet
// would compute with.
bool is_plain_number(std::string_view v) {
  size_t i = 1;  // after the sign
  size_t digits = 0;
  while (i < v.size() && is_digit(v[i])) ++i, ++digits;
  if (i < v.size() && v[i] == '.') {
    ++i;
    while (i < v.size() && is_digit(v[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < v.size() && (v[i] == 'e' || v[i] == 'E')) {
    ++i;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) ++i;
    size_t start = i;
    while (i < v.size() && is_digit(v[i])) ++i;
    if (i == start) return false;
  }
  return i == v.size();
}

// What a spreadsheet opening the file would take for a formula (or for the
// start of one).
bool looks_like_formula(std::string_view v) {
  if (v.empty()) return false;
  switch (v[0]) {
    case '=':
    case '@':
    case '\t':
    case '\r':
      return true;
    case '+':
    case '-':
      return !is_plain_number(v);
    default:
      return false;
  }
}

}  // namespace

void csv_append_field(std::string& out, std::string_view v) {
  bool formula = looks_like_formula(v);
  bool quote = formula;
  for (size_t i = 0; i < v.size() && !quote; ++i) {
    quote = kNeedsQuotes[static_cast<unsigned char>(v[i])];
  }
  if (!quote) {
    out.append(v);
    return;
  }
  out.push_back('"');
  if (formula) out.push_back('\'');
  for (;;) {
    size_t q = v.find('"');
    if (q == std::string_view::npos) break;
    out.append(v.substr(0, q + 1));
    out.push_back('"');
    v.remove_prefix(q + 1);
  }
  out.append(v);
  out.push_back('"');
}

namespace {

void append_row(std::string& out, const std::vector<std::string_view>& values) {
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out.push_back(',');
    csv_append_field(out, values[i]);
  }
  out.append("\r\n");
}

}  // namespace

ExportResult write_csv(RecordSource& source, const ExportOptions& options, ExportOutput& out) {
  if (options.csv_byte_order_mark) out.buffer.append(kByteOrderMark);
  std::vector<std::string_view> names(source.names.begin(), source.names.end());
  append_row(out.buffer, names);
  return write_text_rows(source, options, out, append_row);
}

}  // namespace fwk
