// The record browser's exports: the records its list selects, as a file to
// download, made on a thread of its own while the server loop sends it.
#include <memory>
#include <string>

#include "core/headers.hpp"
#include "core/results.hpp"
#include "export/export.hpp"
#include "records/list.hpp"
#include "records/list_errors.hpp"

namespace fwk {

namespace {

// What the export's thread owns: the open data file and everything else it
// reads.
struct ExportJob {
  RecordSource source;
  ExportFormat format = ExportFormat::csv;
  ExportOptions options;
};

bool plain_name_byte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == ' ';
}

// The download's name: the form's name with the format's extension; a
// character that could not stand in the quoted name is "_" there, and the
// exact name follows in UTF-8.
std::string disposition(const char* form, ExportFormat format) {
  std::string file = std::string(form) + "." + export_format_extension(format);
  std::string plain;
  std::string encoded;
  bool exact = true;
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : file) {
    bool keep = plain_name_byte(c) || c == '.';
    exact = exact && keep;
    plain.push_back(keep ? static_cast<char>(c) : '_');
    if (keep && c != ' ') {
      encoded.push_back(static_cast<char>(c));
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    }
  }
  std::string header = "Content-Disposition: attachment; filename=\"" + plain + "\"";
  if (!exact) header += "; filename*=UTF-8''" + encoded;
  return header + "\r\n";
}

std::string export_headers(const char* form, ExportFormat format) {
  return std::string("Content-type: ") + export_format_media_type(format) + "\r\n" +
         disposition(form, format) + "X-Content-Type-Options: nosniff\r\n" + kChunkedHeader +
         "\r\n";
}

}  // namespace

int list_export(const SiteContext& site, OutputSink* sink, const char* form, const char* path,
                const char* format_name, const char* query, bool include_retired) {
  auto job = std::make_shared<ExportJob>();
  if (!export_format_parse(format_name, &job->format)) {
    write_headers(sink, nullptr);
    list_report_error(site, sink, kHandlerUnknownCommand, 120, "Invalid export format",
                      format_name);
    return kHandlerUnknownCommand;
  }
  ExportSelection selection{query, include_retired};
  if (record_source_open(job->source, path, std::move(selection)) != SourceOpened::ok) {
    write_headers(sink, nullptr);
    list_report_error(site, sink, kHandlerNoDataFile, 114, "Unable to open the table", path);
    return kHandlerNoDataFile;
  }
  job->options.sheet_name = form;
  write_headers(sink, export_headers(form, job->format).c_str());
  sink_stream_body(sink, [job](const BodyPut& put) {
    return export_records(job->source, job->format, job->options, put).complete;
  });
  return kHandlerOk;
}

}  // namespace fwk
