#include "server/export_cmdline.hpp"

#include <cstring>

#include "platform/cmdline.hpp"

namespace fwk {

namespace {

// The format an output file's name asks for, when it ends like one.
bool format_of_file(const std::string& file, ExportFormat* format) {
  size_t dot = file.rfind('.');
  return dot != std::string::npos && file.find('/', dot) == std::string::npos &&
         export_format_parse(file.substr(dot + 1), format);
}

bool take_option(int argc, const char* const* argv, int& i, ExportCommandLine& out,
                 std::string& error, bool* taken) {
  std::string value;
  *taken = true;
  const char* names[] = {"--root", "--format", "--query", "--output", "-o"};
  for (const char* name : names) {
    int found = cmdline_take_value(name, argc, argv, i, value);
    if (found == 0) continue;
    if (found < 0) {
      error = std::string(name) + " needs a value";
      return false;
    }
    if (std::strcmp(name, "--root") == 0) {
      out.root = value;
      if (value.empty()) error = "--root needs a directory";
    } else if (std::strcmp(name, "--format") == 0) {
      out.format_given = export_format_parse(value, &out.format);
      if (!out.format_given) error = "--format needs csv, xlsx or jsonl, not '" + value + "'";
    } else if (std::strcmp(name, "--query") == 0) {
      out.query = value;
    } else {
      out.output = value;
      if (value.empty()) error = std::string(name) + " needs a file name";
    }
    return error.empty();
  }
  const char* arg = argv[i];
  if (std::strcmp(arg, "--all") == 0) {
    out.include_retired = true;
  } else if (std::strcmp(arg, "--no-bom") == 0) {
    out.byte_order_mark = false;
  } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
    out.show_help = true;
  } else {
    *taken = false;
  }
  return true;
}

}  // namespace

bool export_cmdline_parse(int argc, const char* const* argv, int first, ExportCommandLine& out,
                          std::string& error) {
  for (int i = first; i < argc; ++i) {
    bool taken = false;
    if (!take_option(argc, argv, i, out, error, &taken)) return false;
    if (taken) continue;
    const char* arg = argv[i];
    if (arg[0] == '-' && arg[1] != '\0') {
      error = std::string("unknown option '") + arg + "'";
      return false;
    }
    if (!out.form.empty()) {
      error = std::string("unexpected argument '") + arg + "' (one form at a time)";
      return false;
    }
    out.form = arg;
  }
  if (out.show_help) return true;
  if (out.form.empty()) {
    error = "which form? Give its name, e.g. 'export visit'";
    return false;
  }
  if (!out.format_given) format_of_file(out.output, &out.format);
  return true;
}

std::string export_cmdline_usage(const char* program) {
  std::string text = "Usage: ";
  text += program;
  text +=
      " export [--root DIR] FORM [--format csv|xlsx|jsonl] [--all] [--query TEXT]\n"
      "       [-o FILE] [--no-bom]\n"
      "Writes the records of a form's data file as CSV, an Excel workbook or JSON Lines.\n"
      "\n"
      "  --root DIR     server root (default: as for the server)\n"
      "  --format F     csv (the default), xlsx or jsonl; without it, the extension\n"
      "                 of -o FILE decides\n"
      "  --all          include retired records (earlier saves of a response), with\n"
      "                 a column _RETIRED that is 1 for them and 0 for the others\n"
      "  --query TEXT   only the records that satisfy the condition, as in the\n"
      "                 record browser (e.g. \"RATING >= 2\")\n"
      "  -o FILE        write to FILE (default: standard output)\n"
      "  --no-bom       no byte-order mark at the start of a CSV file\n"
      "\n"
      "Exit codes: 0 written; 2 usage error; 3 no such form; 4 the data file is\n"
      "missing or cannot be read; 5 the output cannot be written.\n";
  return text;
}

}  // namespace fwk
