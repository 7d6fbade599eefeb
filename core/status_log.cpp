#include "core/status_log.hpp"

#include <cstring>
#include <mutex>

#include "core/text_convert.hpp"

namespace fwk {

namespace {

// The status text is appended on the server thread and copied by the UI
// thread; one mutex guards the text, the clear mark and the observer.
struct StatusLog {
  std::mutex mutex;
  std::u16string text;
  bool clear_mark = false;
  StatusObserver observer = nullptr;
};

StatusLog& log_state() {
  static StatusLog state;
  return state;
}

}  // namespace

void status_log(const char* utf8_message) {
  if (!utf8_message) return;
  StatusLog& log = log_state();
  StatusObserver observer;
  {
    std::lock_guard<std::mutex> lock(log.mutex);
    if (log.clear_mark) {
      log.text.clear();
      log.clear_mark = false;
    }
    size_t length = log.text.size();
    if (length < kStatusTextLimit) {
      size_t room = kStatusTextLimit - length;
      log.text.resize(kStatusTextLimit + 1);
      size_t units = utf8_to_wide(utf8_message, std::strlen(utf8_message), &log.text[length], room);
      log.text.resize(length + units);
    }
    observer = log.observer;
  }
  if (observer) observer(utf8_message);
}

void status_log_clear_next() {
  StatusLog& log = log_state();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.clear_mark = true;
}

void status_text_clear() {
  StatusLog& log = log_state();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.text.clear();
}

void status_text_set(const char* utf8_text) {
  std::u16string text = utf8_to_wide(utf8_text ? utf8_text : "", kStatusTextLimit);
  StatusLog& log = log_state();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.text = std::move(text);
}

std::u16string status_text() {
  StatusLog& log = log_state();
  std::lock_guard<std::mutex> lock(log.mutex);
  return log.text;
}

std::string status_text_utf8() {
  std::u16string text = status_text();
  return wide_to_ansi(text, text.size() * 3);
}

void status_log_set_observer(StatusObserver observer) {
  StatusLog& log = log_state();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.observer = observer;
}

}  // namespace fwk
