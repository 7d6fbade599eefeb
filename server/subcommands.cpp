#include "server/subcommands.hpp"

#include <cstring>

namespace fwk {

namespace {

constexpr Subcommand kSubcommands[] = {
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
  for (const Subcommand& subcommand : kSubcommands) text += subcommand.usage;
  return text;
}

}  // namespace fwk
