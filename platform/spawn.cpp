#include "platform/spawn.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/descriptor.hpp"

namespace fwk {

int spawn_detached(std::vector<std::string> args) {
  if (args.empty()) return ENOENT;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // The grandchild reports a failed exec (or fork) through this pipe; a
  // successful exec closes it unwritten.
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return errno;
  Descriptor report_read(ends[0]);
  Descriptor report_write(ends[1]);

  pid_t child = fork();
  if (child < 0) return errno;
  if (child == 0) {
    report_read.reset();
    pid_t grandchild = fork();
    int error = 0;
    if (grandchild == 0) {
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      signal(SIGPIPE, SIG_DFL);
      int null_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
      if (null_input >= 0) dup2(null_input, STDIN_FILENO);
      execvp(argv[0], argv.data());
      error = errno;
    } else if (grandchild < 0) {
      error = errno;
    }
    if (error != 0) {
      ssize_t ignored = write(report_write.get(), &error, sizeof error);
      (void)ignored;
    }
    _exit(error != 0 ? 127 : 0);
  }
  report_write.reset();
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n;
  while ((n = read(report_read.get(), &error, sizeof error)) < 0 && errno == EINTR) {
  }
  if (n == static_cast<ssize_t>(sizeof error) && error != 0) return error;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return ECHILD;
  return 0;
}

int shell_execute_open(const std::string& program, const std::string& parameter) {
  switch (spawn_detached({program, parameter})) {
    case 0:
      return kShellStarted;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ETXTBSY:
      return kShellNotAllowed;
    case ENOMEM:
    case EAGAIN:
    case E2BIG:
      return kShellOutOfMemory;
    default:
      return kShellNotFound;
  }
}

}  // namespace fwk
