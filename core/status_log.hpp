// The status log: the text the main window shows under the survey list.
// Appended on the server thread, read on the UI thread; every operation
// here is thread-safe. The server keeps one log, reached through its site
// context; every operation accepts an absent log and then does nothing (or
// reads an empty text).
#pragma once

#include <mutex>
#include <string>

#include "core/limits.hpp"

namespace fwk {

// Called with every message passed to status_log, after it was appended,
// outside the lock (nullptr: none). The console prints messages with it.
using StatusObserver = void (*)(const char* utf8_message);

// One mutex guards the text, the clear mark and the observer. Touched only
// through the functions below.
struct StatusLog {
  std::mutex mutex;
  std::u16string text;
  bool clear_mark = false;
  StatusObserver observer = nullptr;
};

// Appends a UTF-8 message (with its own line breaks). When the clear mark
// is set the text is emptied first. A full text drops the message, but the
// observer still sees it.
void status_log(StatusLog* log, const char* utf8_message);

// Sets the clear mark: the next status_log starts a fresh text.
void status_log_clear_next(StatusLog* log);

// Empties the text at once (the clear mark is left as it is).
void status_text_clear(StatusLog* log);

// Replaces the text by a UTF-8 text, cut to the limit (start-up message).
// The observer is not called.
void status_text_set(StatusLog* log, const char* utf8_text);

// Snapshots of the current text.
std::u16string status_text(StatusLog* log);
std::string status_text_utf8(StatusLog* log);

void status_log_set_observer(StatusLog* log, StatusObserver observer);

}  // namespace fwk
