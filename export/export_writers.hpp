// What the export writers share: the output that collects their bytes into
// pieces, the record loop with its progress calls, and the writers
// themselves (export.hpp says what each format looks like).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "export/export.hpp"

namespace fwk {

// Bytes are handed on in pieces of about this size.
constexpr size_t kExportPiece = 64 * 1024;
// Records between two progress calls (and checks that the export is still
// wanted).
constexpr int64_t kProgressStep = 4096;

struct ExportOutput {
  const BodyPut* put = nullptr;
  std::string buffer;  // collected, not yet handed on
};

// Hands on what has been collected; false once nobody wants it.
bool output_flush(ExportOutput& out);

// Every kProgressStep records: the progress call, and false when the
// export is no longer wanted.
bool export_checkpoint(const RecordSource& source, const ExportOptions& options,
                       const BodyPut& put);

// Appends `value` as one CSV field (quoted and guarded as export.hpp says).
void csv_append_field(std::string& out, std::string_view value);

// Appends `value` as a JSON string, with what is not UTF-8 replaced.
void json_append_string(std::string& out, std::string_view value);

// The record loop of the text formats: `write_row` appends one record to
// the buffer, which is handed on in pieces.
template <class WriteRow>
ExportResult write_text_rows(RecordSource& source, const ExportOptions& options, ExportOutput& out,
                             WriteRow&& write_row) {
  ExportResult result;
  result.failure = "the export was no longer wanted";
  while (record_source_next(source)) {
    write_row(out.buffer, source.values);
    if (out.buffer.size() >= kExportPiece && !output_flush(out)) return result;
    if (source.records % kProgressStep == 0 && !export_checkpoint(source, options, *out.put)) {
      return result;
    }
  }
  if (!output_flush(out)) return result;
  if (options.progress) options.progress(source);
  result.complete = true;
  result.failure.clear();
  return result;
}

ExportResult write_csv(RecordSource& source, const ExportOptions& options, ExportOutput& out);
ExportResult write_jsonl(RecordSource& source, const ExportOptions& options, ExportOutput& out);

// The workbook into the file at `path`; `put` is only asked whether the
// export is still wanted.
ExportResult write_workbook(RecordSource& source, const ExportOptions& options, const char* path,
                            const BodyPut& put);

}  // namespace fwk
