#include "core/status_log.hpp"

#include <cstring>

#include "core/text_convert.hpp"

namespace fwk {

void status_log(StatusLog* log, const char* utf8_message) {
  if (!log || !utf8_message) return;
  StatusObserver observer;
  {
    std::lock_guard<std::mutex> lock(log->mutex);
    if (log->clear_mark) {
      log->text.clear();
      log->clear_mark = false;
    }
    size_t length = log->text.size();
    if (length < kStatusTextLimit) {
      size_t room = kStatusTextLimit - length;
      log->text.resize(kStatusTextLimit + 1);
      size_t units =
          utf8_to_wide(utf8_message, std::strlen(utf8_message), &log->text[length], room);
      log->text.resize(length + units);
    }
    observer = log->observer;
  }
  if (observer) observer(utf8_message);
}

void status_log_clear_next(StatusLog* log) {
  if (!log) return;
  std::lock_guard<std::mutex> lock(log->mutex);
  log->clear_mark = true;
}

void status_text_clear(StatusLog* log) {
  if (!log) return;
  std::lock_guard<std::mutex> lock(log->mutex);
  log->text.clear();
}

void status_text_set(StatusLog* log, const char* utf8_text) {
  if (!log) return;
  std::u16string text = utf8_to_wide(utf8_text ? utf8_text : "", kStatusTextLimit);
  std::lock_guard<std::mutex> lock(log->mutex);
  log->text = std::move(text);
}

std::u16string status_text(StatusLog* log) {
  if (!log) return std::u16string();
  std::lock_guard<std::mutex> lock(log->mutex);
  return log->text;
}

std::string status_text_utf8(StatusLog* log) {
  std::u16string text = status_text(log);
  return wide_to_ansi(text, text.size() * 3);
}

void status_log_set_observer(StatusLog* log, StatusObserver observer) {
  if (!log) return;
  std::lock_guard<std::mutex> lock(log->mutex);
  log->observer = observer;
}

}  // namespace fwk
