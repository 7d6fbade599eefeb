// The terminal that stands in for the main window: printing (from either
// thread) and waiting for a console command line or a shut-down signal.
#pragma once

#include <string>

namespace fwk {

// Writes the text to standard output in one piece and flushes it. Safe to call
// from any thread; texts from two threads never interleave.
void console_write(const std::string& text);

// The same for standard error.
void console_write_error(const std::string& text);

// True when standard input is a terminal and this program runs in its
// foreground.
bool console_input_is_terminal();

// True when standard output / standard error is a terminal.
bool console_output_is_terminal();
bool console_error_is_terminal();

enum class ConsoleEvent {
  line,          // a line was typed (without its line end)
  shutdown,      // SIGINT or SIGTERM arrived
  input_closed,  // standard input reached its end or failed
  tick,          // the wait's time passed without any of the others
};

// Waits for the next event, at most `timeout_ms` (negative: without limit).
// With `read_input` false only a shut-down signal (or the time) ends the
// wait. Lines longer than 1023 bytes are cut.
ConsoleEvent console_wait(bool read_input, std::string& line, int timeout_ms = -1);

}  // namespace fwk
