// The program's subcommands: "fwkhttpd NAME [OPTION]..." runs NAME instead
// of the server. One table, so that --help lists them all and the program
// dispatches in one place.
#pragma once

#include <string>

namespace fwk {

struct Subcommand {
  const char* name;
  // Runs the subcommand; argv[0] is its name, the options follow. Returns
  // the exit code.
  int (*run)(int argc, const char* const* argv);
  // Its lines in --help: the synopsis, then what it does and its options.
  const char* usage;
};

// The subcommand `word` names, or null.
const Subcommand* subcommand_find(const char* word);

// The --help text of every subcommand.
std::string subcommands_usage();

// "fwkhttpd check [--root DIR] [--listen ADDR] [FORM]..." and
// "fwkhttpd check --create-data FORM": the form checker.
int check_command(int argc, const char* const* argv);

}  // namespace fwk
