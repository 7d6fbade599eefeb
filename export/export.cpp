#include "export/export.hpp"

#include "export/export_writers.hpp"
#include "platform/temp_file.hpp"

namespace fwk {

namespace {

struct FormatEntry {
  ExportFormat format;
  const char* name;
  const char* other_name;
  const char* extension;
  const char* media_type;
};

constexpr FormatEntry kFormats[] = {
    {ExportFormat::csv, "csv", "csv", "csv", "text/csv; charset=utf-8"},
    {ExportFormat::xlsx, "xlsx", "excel", "xlsx",
     "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    {ExportFormat::jsonl, "jsonl", "json", "jsonl", "application/x-ndjson; charset=utf-8"},
};

const FormatEntry& entry_of(ExportFormat format) {
  for (const FormatEntry& entry : kFormats) {
    if (entry.format == format) return entry;
  }
  return kFormats[0];
}

// Makes the workbook in a scratch file, then hands the file on in pieces.
ExportResult workbook_through(RecordSource& source, const ExportOptions& options,
                              const BodyPut& put) {
  ExportResult result;
  TempFile scratch;
  if (!temp_file_create(scratch)) {
    result.failure = "no scratch file can be made for the workbook";
    return result;
  }
  result = write_workbook(source, options, scratch.path.c_str(), put);
  if (!result.complete) return result;
  std::string piece(kExportPiece, '\0');
  for (int64_t at = 0;;) {
    long got = temp_file_read(scratch, at, piece.data(), piece.size());
    if (got == 0) return result;
    if (got < 0 || !put(piece.data(), static_cast<size_t>(got))) break;
    at += got;
  }
  result.complete = false;
  result.failure = "the workbook could not be handed on";
  return result;
}

}  // namespace

bool export_format_parse(const std::string& name, ExportFormat* format) {
  for (const FormatEntry& entry : kFormats) {
    if (text_compare_nocase(name.c_str(), entry.name) == 0 ||
        text_compare_nocase(name.c_str(), entry.other_name) == 0) {
      *format = entry.format;
      return true;
    }
  }
  return false;
}

const char* export_format_extension(ExportFormat format) {
  return entry_of(format).extension;
}

const char* export_format_media_type(ExportFormat format) {
  return entry_of(format).media_type;
}

bool output_flush(ExportOutput& out) {
  if (out.buffer.empty()) return true;
  bool taken = (*out.put)(out.buffer.data(), out.buffer.size());
  out.buffer.clear();
  return taken;
}

bool export_checkpoint(const RecordSource& source, const ExportOptions& options,
                       const BodyPut& put) {
  if (options.progress) options.progress(source);
  return put(nullptr, 0);
}

ExportResult export_records(RecordSource& source, ExportFormat format, const ExportOptions& options,
                            const BodyPut& put) {
  if (format == ExportFormat::xlsx) return workbook_through(source, options, put);
  ExportOutput out;
  out.put = &put;
  out.buffer.reserve(kExportPiece + 4096);
  return format == ExportFormat::csv ? write_csv(source, options, out)
                                     : write_jsonl(source, options, out);
}

ExportResult export_workbook_file(RecordSource& source, const ExportOptions& options,
                                  const char* path) {
  BodyPut always = [](const char*, size_t) { return true; };
  return write_workbook(source, options, path, always);
}

}  // namespace fwk
