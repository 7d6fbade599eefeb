// Starting other programs without waiting for them.
#pragma once

#include <string>
#include <vector>

namespace fwk {

// Results of shell_execute_open, in the shell's own terms: greater than 32
// when the program was started, otherwise one of the small error codes.
constexpr int kShellStarted = 42;
constexpr int kShellNotFound = 2;
constexpr int kShellNotAllowed = 5;
constexpr int kShellOutOfMemory = 8;

// Runs args[0] (searched in PATH when it has no "/") with the arguments
// args[1..] in a detached process: no child is left to reap, standard input
// is /dev/null, signals are at their defaults. No shell reads the words.
// Returns 0 when the program started, else the errno of the failed start.
int spawn_detached(std::vector<std::string> args);

// Starts `program` with `parameter` as its one argument (spaces and all),
// without waiting for it. kShellStarted on success; kShellNotFound when the
// program does not exist, kShellNotAllowed when it may not be run,
// kShellOutOfMemory when no process could be made.
int shell_execute_open(const std::string& program, const std::string& parameter);

}  // namespace fwk
