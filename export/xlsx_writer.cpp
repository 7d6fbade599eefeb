// Excel workbooks through libxlsxwriter in its constant-memory mode: each
// row goes to a scratch file as soon as the next one starts, so a workbook
// of any size is made in little memory.
#include <xlsxwriter.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/text_convert.hpp"
#include "export/export_writers.hpp"

namespace fwk {

namespace {

constexpr lxw_row_t kSheetRows = LXW_ROW_MAX;  // the header row and the records
constexpr size_t kCellUnits = 32767;           // UTF-16 units a cell holds
constexpr size_t kSheetNameUnits = 31;
// Above this the parts of the package may pass 4 GB, which needs ZIP64
// (which Excel questions in smaller files).
constexpr int64_t kZip64From = int64_t{512} << 20;
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
constexpr char kUnderscore[] = "_x005F";         // "_" escaped as the format escapes it

struct Workbook {
  lxw_workbook* book = nullptr;
  lxw_format* heading = nullptr;
  lxw_format* text = nullptr;
  lxw_worksheet* sheet = nullptr;
  lxw_row_t row = 0;  // the next row of the sheet
  int sheets = 0;
  lxw_col_t columns = 0;  // written of each record
  std::string scratch;
  int64_t cut_values = 0;
};

bool is_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "_xHHHH_" in a cell's text stands for the character HHHH: a value that
// holds such a text literally has its "_" escaped.
bool looks_escaped(std::string_view v, size_t i) {
  return i + 7 <= v.size() && v[i + 1] == 'x' && is_hex(v[i + 2]) && is_hex(v[i + 3]) &&
         is_hex(v[i + 4]) && is_hex(v[i + 5]) && v[i + 6] == '_';
}

// Appends `value` as a cell's text: byte sequences that are not UTF-8
// become U+FFFD, a literal "_xHHHH_" is escaped (unless `plain`), and the
// text is cut to `limit` UTF-16 units. True when it was cut.
bool append_cell_text(std::string& out, std::string_view value, size_t limit = kCellUnits,
                      bool plain = false) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(value.data());
  size_t units = 0;
  for (size_t i = 0; i < value.size();) {
    char32_t cp = 0;
    size_t length = bytes[i] < 0x80 ? 1 : utf8_decode(bytes + i, value.size() - i, &cp);
    size_t width = length == 0 ? 1 : cp >= 0x10000 ? 2 : 1;
    if (units + width > limit) return true;
    units += width;
    if (length == 0) {
      out.append(kReplacement);
      ++i;
      continue;
    }
    if (!plain && bytes[i] == '_' && looks_escaped(value, i)) out.append(kUnderscore);
    out.append(value.data() + i, length);
    i += length;
  }
  return false;
}

// True when the value can be handed to the library as it is: printable
// ASCII without an escape look-alike, and short enough. (Every value comes
// from a std::string or a literal, so it ends with a zero byte.)
bool usable_as_is(std::string_view value) {
  if (value.size() > kCellUnits) return false;
  for (char c : value) {
    if (c < 0x20 || c == 0x7f || c == '_') return false;  // also every byte >= 0x80
  }
  return true;
}

std::string sheet_name(const std::string& base, int number) {
  std::string clean;
  for (char c : base) {
    if (std::string_view("[]:*?/\\").find(c) == std::string_view::npos) clean.push_back(c);
  }
  while (!clean.empty() && clean.front() == '\'') clean.erase(0, 1);
  if (clean.empty()) clean = "Records";
  std::string suffix = number > 1 ? " (" + std::to_string(number) + ")" : "";
  std::string name;
  append_cell_text(name, clean, kSheetNameUnits - suffix.size(), true);
  while (!name.empty() && name.back() == '\'') name.pop_back();
  return name + suffix;
}

double column_width(const std::string& name) {
  return static_cast<double>(std::clamp<size_t>(name.size() + 2, 10, 40));
}

void write_cell(Workbook& book, lxw_col_t column, std::string_view value, lxw_format* format) {
  if (value.empty()) return;
  const char* text = value.data();
  if (!usable_as_is(value)) {
    book.scratch.clear();
    if (append_cell_text(book.scratch, value)) ++book.cut_values;
    text = book.scratch.c_str();
  }
  worksheet_write_string(book.sheet, book.row, column, text, format);
}

void finish_sheet(Workbook& book) {
  if (book.sheet != nullptr && book.columns > 0) {
    worksheet_autofilter(book.sheet, 0, 0, book.row - 1, book.columns - 1);
  }
}

bool start_sheet(Workbook& book, const RecordSource& source, const ExportOptions& options) {
  finish_sheet(book);
  std::string name = sheet_name(options.sheet_name, ++book.sheets);
  book.sheet = workbook_add_worksheet(book.book, name.c_str());
  if (book.sheet == nullptr) return false;
  worksheet_freeze_panes(book.sheet, 1, 0);
  worksheet_ignore_errors(book.sheet, LXW_IGNORE_NUMBER_STORED_AS_TEXT, "A1:XFD1048576");
  book.row = 0;
  for (lxw_col_t c = 0; c < book.columns; ++c) {
    worksheet_set_column(book.sheet, c, c, column_width(source.names[c]), book.text);
    write_cell(book, c, source.names[c], book.heading);
  }
  book.row = 1;
  return true;
}

bool open_workbook(Workbook& book, const RecordSource& source, const char* path) {
  lxw_workbook_options settings = {};
  settings.constant_memory = LXW_TRUE;
  settings.use_zip64 = source.size >= kZip64From ? LXW_TRUE : LXW_FALSE;
  book.book = workbook_new_opt(path, &settings);
  if (book.book == nullptr) return false;
  book.heading = workbook_add_format(book.book);
  format_set_bold(book.heading);
  book.text = workbook_add_format(book.book);
  format_set_num_format(book.text, "@");
  book.columns = static_cast<lxw_col_t>(std::min<size_t>(source.names.size(), LXW_COL_MAX));
  return true;
}

ExportResult rows_failed(Workbook& book, const char* why) {
  lxw_workbook_free(book.book);
  ExportResult result;
  result.failure = why;
  return result;
}

}  // namespace

ExportResult write_workbook(RecordSource& source, const ExportOptions& options, const char* path,
                            const BodyPut& put) {
  Workbook book;
  if (!open_workbook(book, source, path)) {
    ExportResult result;
    result.failure = "the workbook cannot be made";
    return result;
  }
  if (!start_sheet(book, source, options)) return rows_failed(book, "a worksheet cannot be added");
  while (record_source_next(source)) {
    if (book.row == kSheetRows && !start_sheet(book, source, options)) {
      return rows_failed(book, "a worksheet cannot be added");
    }
    for (lxw_col_t c = 0; c < book.columns; ++c) write_cell(book, c, source.values[c], nullptr);
    ++book.row;
    if (source.records % kProgressStep == 0 && !export_checkpoint(source, options, put)) {
      return rows_failed(book, "the export was no longer wanted");
    }
  }
  finish_sheet(book);
  if (options.progress) options.progress(source);
  if (options.packing) options.packing();
  lxw_error error = workbook_close(book.book);
  ExportResult result;
  result.cut_values = book.cut_values;
  result.complete = error == LXW_NO_ERROR;
  if (!result.complete) result.failure = lxw_strerror(error);
  return result;
}

}  // namespace fwk
