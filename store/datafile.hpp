// Tab-delimited data files: reading the header row and the records.
//
// Line 1 names the fields (TAB-separated; a leading "#" is dropped from a
// name). Every other line is a record with one field per header column; a
// field that begins with a double quote is unquoted on reading. Carriage
// returns are ignored wherever they stand. Rows are numbered from 1 for the
// line after the header row.
//
// A record is always read into the list of its header: the header list holds
// one entry per column (value absent) followed by the caller's spare slots,
// and each read fills the values of that same list.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/limits.hpp"
#include "core/plist.hpp"
#include "platform/file_ptr.hpp"

namespace fwk {

// Kinds of line reported by datafile_read_record.
enum RecordKind : int {
  kRecordPlain = 0,   // an ordinary record
  kRecordMarked = 1,  // first non-empty field begins with "#" (retired record)
  kRecordEmpty = 2,   // no non-empty field
};

// Opens `path` for reading (when it does not open and is at most 120
// characters long, `path` + ".asc" is tried) and reads its header with
// `spare` extra slots. With `file_out`, the caller receives the open file
// positioned at row 1; otherwise it is closed. 1 when the header was read,
// else 0 (and *file_out / *header_out are empty).
int datafile_open(const char* path, FilePtr* file_out, ParamListPtr* header_out, size_t spare);

// Reads the header row from the start of `file`: one entry per column, then
// `spare` free slots (name "" and value ""). None when the row does not end
// with a line feed or is empty. Leaves the file at row 1.
ParamListPtr datafile_read_header(std::FILE* file, size_t spare);

// Reads the next line into the values of `header` (values cleared first; a
// short line leaves the remaining values absent; extra fields are skipped).
// 1 when the line had a non-empty field, else 0. `kind_out` (may be null)
// receives a RecordKind.
int datafile_read_record(std::FILE* file, ParamList* header, int* kind_out);

// Skips n lines; n < 0 returns to the start and skips the header row; n == 0
// does nothing. Returns the datafile_skip_lines result.
long datafile_seek_row(std::FILE* file, long n);

// Passes n line feeds: n when they were passed, 0 when the file ended first
// (and 0 at once for n <= 0).
long datafile_skip_lines(std::FILE* file, long n);

// Undoes the quoting of a field that begins with a double quote: exactly two
// quotes give ""; otherwise the closing quote is dropped, and in the rest
// each quote is dropped and the character after it kept as it is (so ""
// inside gives one quote).
std::string datafile_unquote(const std::string& field);
// The same, into `text` (replacing its contents).
void datafile_unquote_into(const std::string& field, std::string& text);

}  // namespace fwk
