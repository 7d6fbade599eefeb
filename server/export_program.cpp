#include "server/export_program.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/connection.hpp"
#include "core/paths.hpp"
#include "export/export.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/dirsearch.hpp"
#include "platform/file_info.hpp"
#include "forms/form_config.hpp"
#include "server/export_cmdline.hpp"
#include "server/startup.hpp"

namespace fwk {

namespace {

constexpr const char* kProgram = "fwkhttpd";
constexpr uint32_t kProgressEveryMs = 100;

int fail(int code, const std::string& message) {
  console_write_error(std::string(kProgram) + " export: " + message + "\n");
  return code;
}

// Where the records go: a file (-o) or standard output.
struct Destination {
  FilePtr owned;              // the -o file
  std::FILE* file = nullptr;  // where the bytes go
  std::string name;           // for messages
  int error = 0;              // errno of the first failed write
};

bool write_out(Destination& to, const char* bytes, size_t n) {
  if (n == 0) return to.error == 0;
  if (std::fwrite(bytes, 1, n, to.file) == n) return true;
  if (to.error == 0) to.error = errno != 0 ? errno : EIO;
  return false;
}

bool finish_output(Destination& to) {
  if (std::fflush(to.file) != 0 && to.error == 0) to.error = errno != 0 ? errno : EIO;
  if (to.owned && std::fclose(to.owned.release()) != 0 && to.error == 0) {
    to.error = errno != 0 ? errno : EIO;
  }
  return to.error == 0;
}

// The progress bar on standard error when it is a terminal.
struct Progress {
  bool shown = false;
  std::string form;
  uint32_t last_at = 0;
};

void show_progress(Progress& bar, const RecordSource& source) {
  uint32_t now = clock_tick_ms();
  if (bar.last_at != 0 && now - bar.last_at < kProgressEveryMs) return;
  bar.last_at = now;
  int64_t percent = source.size > 0 ? record_source_position(source) * 100 / source.size : 100;
  if (percent > 100) percent = 100;
  int filled = static_cast<int>(percent / 4);
  std::string line = "\rExporting " + bar.form + " [" + std::string(filled, '#') +
                     std::string(25 - filled, ' ') + "] " + std::to_string(percent) + "% " +
                     std::to_string(source.records) + " records";
  console_write_error(line);
}

// Clears the bar's line and writes `text` in its place.
void end_progress(const std::string& text) {
  console_write_error("\r\x1b[K" + text);
}

// The data file of the form: as the record browser finds it when the form
// has a configuration file, else the form name with ".asc" (a root that
// only holds data files, such as a collector's). "" when there is no such
// form.
std::string data_file_of(const std::string& root, const std::string& form) {
  std::string config_path;
  path_join(root.c_str(), config_path, form.c_str(), ".ini");
  if (file_info(config_path.c_str()).exists) return form_config_read(root, form).data_path;
  std::string path = form_config_from(root, form, nullptr, nullptr).data_path;
  return file_info(path.c_str()).exists ? path : std::string();
}

bool open_destination(Destination& to, const ExportCommandLine& options) {
  if (options.output.empty() || options.output == "-") {
    to.file = stdout;
    to.name = "standard output";
    return true;
  }
  to.owned.reset(std::fopen(options.output.c_str(), "wb"));
  to.file = to.owned.get();
  to.name = options.output;
  if (to.file == nullptr) to.error = errno;
  return to.file != nullptr;
}

ExportResult run_export(RecordSource& source, const ExportCommandLine& options, Destination& to,
                        Progress& bar) {
  ExportOptions settings;
  settings.csv_byte_order_mark = options.byte_order_mark;
  settings.sheet_name = options.form;
  if (bar.shown) {
    settings.progress = [&bar](const RecordSource& s) { show_progress(bar, s); };
    settings.packing = [] { end_progress("Packing the workbook ..."); };
  }
  // A workbook written to a file is made there; elsewhere (standard output,
  // a pipe) it is made aside and copied.
  if (options.format == ExportFormat::xlsx && to.owned &&
      file_info(options.output.c_str()).exists) {
    return export_workbook_file(source, settings, options.output.c_str());
  }
  return export_records(source, options.format, settings,
                        [&to](const char* bytes, size_t n) { return write_out(to, bytes, n); });
}

}  // namespace

int export_main(int argc, const char* const* argv, int first) {
  ExportCommandLine options;
  std::string error;
  if (!export_cmdline_parse(argc, argv, first, options, error)) {
    return fail(kExportUsage, error + "\nTry 'fwkhttpd export --help'.");
  }
  if (options.show_help) {
    console_write(export_cmdline_usage(kProgram));
    return kExportOk;
  }
  std::string root = find_server_root(options.root);
  if (!directory_readable(root)) {
    return fail(kExportUsage, "the server root " + root + " is not a readable directory");
  }
  if (!form_name_safe(options.form)) {
    return fail(kExportNoForm, "'" + options.form + "' is not a form name");
  }
  std::string data_path = data_file_of(root, options.form);
  if (data_path.empty()) {
    return fail(kExportNoForm, "there is no form " + options.form + " in " + root);
  }
  RecordSource source;
  switch (record_source_open(source, data_path.c_str(), {options.query, options.include_retired})) {
    case SourceOpened::ok:
      break;
    case SourceOpened::missing:
      return fail(kExportNoDataFile,
                  "the data file " + data_path + " of form " + options.form + " does not exist");
    case SourceOpened::unreadable:
      return fail(kExportNoDataFile,
                  "the data file " + data_path + " cannot be read, or its header row is not whole");
  }
  bool to_terminal =
      (options.output.empty() || options.output == "-") && console_output_is_terminal();
  if (options.format == ExportFormat::xlsx && to_terminal) {
    return fail(kExportUsage,
                "a workbook is not for a terminal: give -o FILE or redirect the output");
  }
  Destination to;
  if (!open_destination(to, options)) {
    return fail(kExportNotWritten, "cannot write " + to.name + ": " + std::strerror(to.error));
  }
  Progress bar;
  bar.shown = console_error_is_terminal();
  bar.form = options.form;
  ExportResult result = run_export(source, options, to, bar);
  bool written = finish_output(to) && result.complete;
  if (!written) {
    if (bar.shown) end_progress("");
    // A file written in part is removed; a device or a pipe named by -o
    // is left alone.
    if (to.file != stdout && file_info(options.output.c_str()).exists) {
      std::remove(options.output.c_str());
    }
    std::string why = to.error != 0 ? std::strerror(to.error) : result.failure;
    return fail(kExportNotWritten, "cannot write " + to.name + ": " + why);
  }
  if (bar.shown) {
    end_progress("Exported " + std::to_string(source.records) + " records of " + options.form +
                 " to " + to.name + "\n");
  }
  if (result.cut_values > 0) {
    console_write_error(std::string(kProgram) + " export: " + std::to_string(result.cut_values) +
                        " values were longer than a cell holds (32,767 characters) and were "
                        "cut\n");
  }
  return kExportOk;
}

}  // namespace fwk
