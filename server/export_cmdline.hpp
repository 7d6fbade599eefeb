// The command line of `fwkhttpd export`: a form's records written to a file
// or to standard output as CSV, an Excel workbook or JSON Lines.
#pragma once

#include <string>

#include "export/export.hpp"

namespace fwk {

struct ExportCommandLine {
  std::string root;  // --root DIR; "" when not given
  std::string form;  // the form's name
  ExportFormat format = ExportFormat::csv;
  bool format_given = false;     // --format; else the extension of -o, else CSV
  bool include_retired = false;  // --all
  std::string query;             // --query TEXT
  std::string output;            // -o FILE; "" is standard output
  bool byte_order_mark = true;   // --no-bom leaves it out of a CSV file
  bool show_help = false;
};

// Parses the arguments after "export" (argv[first] onward). False with a
// one-line reason in `error` for an unknown option, a missing or malformed
// value, no form name or a second one.
bool export_cmdline_parse(int argc, const char* const* argv, int first, ExportCommandLine& out,
                          std::string& error);

// The text printed for `fwkhttpd export --help`.
std::string export_cmdline_usage(const char* program);

}  // namespace fwk
