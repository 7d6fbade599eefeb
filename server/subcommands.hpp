// The programs beside the server: "fwkhttpd NAME [ARGUMENT]..." runs the
// subcommand NAME instead of the server. Each is given the whole command
// line (its name is argv[1]) and returns the program's exit code.
#pragma once

namespace fwk {

struct Subcommand {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* summary;                // one line for --help
};

// The subcommand named by the first argument, or nullptr (run the server).
const Subcommand* subcommand_find(int argc, char** argv);

// The --help lines that list the subcommands.
const char* subcommands_usage();

}  // namespace fwk
