#include "server/subcommands.hpp"

#include <cstring>
#include <vector>

#include "platform/cmdline.hpp"
#include "platform/console.hpp"
#include "server/export_program.hpp"
#include "server/outbox_command.hpp"
#include "server/server_program.hpp"

namespace fwk {

namespace {

// The outbox's options are read by the program's command-line reader,
// which knows them after the word "outbox".
int outbox_subcommand(int argc, const char* const* argv) {
  std::vector<const char*> args = {"fwkhttpd"};
  args.insert(args.end(), argv, argv + argc);
  CommandLine options;
  std::string error;
  if (!cmdline_parse(static_cast<int>(args.size()), args.data(), options, error)) {
    console_write_error("fwkhttpd: " + error + "\nTry 'fwkhttpd --help'.\n");
    return 2;
  }
  if (options.show_help) {
    console_write(subcommands_usage());
    return 0;
  }
  if (!root_option_usable(options)) return 2;
  return outbox_command(options);
}

int export_subcommand(int argc, const char* const* argv) {
  return export_main(argc, argv, 1);
}

constexpr Subcommand kSubcommands[] = {
    {"outbox", outbox_subcommand,
     "fwkhttpd outbox [--root DIR] [--retry | --drop ID]\n"
     "  Lists the mail waiting in the root's outbox (also while a server runs).\n"
     "  --retry        try held messages now (in the running server, or here when\n"
     "                 no transmission runs)\n"
     "  --drop ID      move the message ID (as listed) to outbox.bad\n"},
    {"check", check_command,
     "fwkhttpd check [--root DIR] [--listen ADDR] [FORM]...\n"
     "fwkhttpd check [--root DIR] --create-data FORM\n"
     "  Checks the forms of the server root (every form when none is named) as\n"
     "  the server reads them, and prints each problem as FILE:LINE: error|warning:\n"
     "  MESSAGE, then a summary. Exit status 0: no error; 1: errors; 2: the root\n"
     "  cannot be read or the command line is wrong.\n"
     "  --listen ADDR  the address the server listens on (default: every\n"
     "                 interface), for the warnings about rights anybody has\n"
     "  --create-data FORM  writes the form's missing data file (and index file)\n"
     "                 with a header of every field its pages and scripts fill,\n"
     "                 then checks the form; an existing file is never touched\n"},
    {"export", export_subcommand,
     "fwkhttpd export FORM [OPTION]...\n"
     "  Writes a form's answers as CSV, an Excel workbook or JSON Lines (see\n"
     "  'fwkhttpd export --help').\n"},
};

}  // namespace

const Subcommand* subcommand_find(const char* word) {
  if (word == nullptr) return nullptr;
  for (const Subcommand& subcommand : kSubcommands) {
    if (std::strcmp(subcommand.name, word) == 0) return &subcommand;
  }
  return nullptr;
}

std::string subcommands_usage() {
  std::string text = "\nSubcommands:\n";
  for (const Subcommand& subcommand : kSubcommands) text += std::string("\n") + subcommand.usage;
  return text;
}

}  // namespace fwk
