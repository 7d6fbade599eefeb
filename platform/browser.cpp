#include "platform/browser.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

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

// Runs argv in a grandchild, so no child is left to reap, with standard input
// from /dev/null and default signal handling. True when the program started.
bool spawn_detached(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // The grandchild reports a failed exec through this pipe; a successful exec
  // closes it unwritten.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;

  pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (child == 0) {
    close(report[0]);
    pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    int null_input = open("/dev/null", O_RDONLY);
    if (null_input >= 0) dup2(null_input, STDIN_FILENO);
    execvp(argv[0], argv.data());
    int error = errno;
    ssize_t ignored = write(report[1], &error, sizeof error);
    (void)ignored;
    _exit(127);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n;
  while ((n = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  bool forked = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return forked && n == 0;
}

}  // namespace

bool browser_open(const std::string& url) {
  if (environment_set("BROWSER")) {
    std::vector<std::string> args = browser_variable_command(std::getenv("BROWSER"), url);
    if (!args.empty()) return spawn_detached(std::move(args));
  }
  if (!environment_set("DISPLAY") && !environment_set("WAYLAND_DISPLAY")) return false;
  return spawn_detached({"xdg-open", url});
}

}  // namespace fwk
