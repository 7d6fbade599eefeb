// Exports: the records of a data file as CSV, as an Excel workbook or as
// JSON Lines, written as they are read, so that a file of any size is
// exported in little memory.
//
//  - CSV: comma-separated with CRLF line ends, quoted where needed (a value
//    with a comma, a double quote or a line break; quotes doubled), UTF-8
//    with a byte-order mark unless it is turned off. A value that a
//    spreadsheet would take for a formula (beginning with =, +, -, @, TAB or
//    CR, other than a plain number) is written quoted with a "'" before it.
//  - Excel (.xlsx): one worksheet (another after each 1,048,575 records),
//    the header row bold and frozen, an autofilter, every value a text cell.
//    A value longer than a cell holds (32,767 characters) is cut; columns
//    past the 16,384th are left out.
//  - JSON Lines: one object per record, names in the header's order, every
//    value a string; the values of columns that share a name (in any letter
//    case) form an array under the first spelling.
// Bytes that are not UTF-8 are passed on as they are in CSV and replaced by
// U+FFFD in the other two formats, which must be valid UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/sink.hpp"
#include "export/record_source.hpp"

namespace fwk {

enum class ExportFormat { csv, xlsx, jsonl };

// Reads a format name: "csv", "xlsx" (or "excel"), "jsonl" (or "json"), in
// any letter case. False for anything else.
bool export_format_parse(const std::string& name, ExportFormat* format);

// The file name extension ("csv", "xlsx", "jsonl") and the media type.
const char* export_format_extension(ExportFormat format);
const char* export_format_media_type(ExportFormat format);

struct ExportOptions {
  bool csv_byte_order_mark = true;
  // The name of the workbook's sheet (the form's name); cut and cleaned to
  // what a sheet name may be.
  std::string sheet_name;
  // Called every few thousand records and once at the end (a progress bar).
  std::function<void(const RecordSource&)> progress;
  // Called once the rows of a workbook are written, before it is packed.
  std::function<void()> packing;
};

struct ExportResult {
  bool complete = false;   // every record was written
  int64_t cut_values = 0;  // values cut to what a workbook's cell holds
  std::string failure;     // why it is not complete
};

// Writes the records of `source` in `format` through `put`, in pieces. A
// workbook is made in a scratch file first and then handed over.
ExportResult export_records(RecordSource& source, ExportFormat format, const ExportOptions& options,
                            const BodyPut& put);

// Writes a workbook straight into the file at `path` (created or replaced).
ExportResult export_workbook_file(RecordSource& source, const ExportOptions& options,
                                  const char* path);

}  // namespace fwk
