#include "platform/browser.hpp"

#include <cstdlib>
#include <vector>

#include "platform/spawn.hpp"

namespace fwk {

namespace {

bool environment_set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

// The first command of $BROWSER (a colon-separated list), split into words at
// spaces. A word "%s" is replaced by the URL; without one the URL is appended.
// No shell is involved, so the URL is never read as shell text.
std::vector<std::string> browser_variable_command(const std::string& browser,
                                                  const std::string& url) {
  std::string command = browser.substr(0, browser.find(':'));
  std::vector<std::string> words;
  bool url_placed = false;
  size_t start = 0;
  while (start < command.size()) {
    size_t end = command.find_first_of(" \t", start);
    if (end == std::string::npos) end = command.size();
    if (end > start) {
      std::string word = command.substr(start, end - start);
      if (word == "%s") {
        word = url;
        url_placed = true;
      }
      words.push_back(word);
    }
    start = end + 1;
  }
  if (!words.empty() && !url_placed) words.push_back(url);
  return words;
}

}  // namespace

bool browser_open(const std::string& url) {
  if (environment_set("BROWSER")) {
    std::vector<std::string> args = browser_variable_command(std::getenv("BROWSER"), url);
    if (!args.empty()) return spawn_detached(std::move(args)) == 0;
  }
  if (!environment_set("DISPLAY") && !environment_set("WAYLAND_DISPLAY")) return false;
  return spawn_detached({"xdg-open", url}) == 0;
}

}  // namespace fwk
