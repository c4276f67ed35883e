#include "support/run_program.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>

namespace lzw::testing {

Child start_program(const std::vector<std::string>& arguments, const std::string& directory,
                    const ProgramSetting& setting) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const rlimit limit{setting.file_size_limit, setting.file_size_limit};
  sigset_t none;
  sigemptyset(&none);
  int ends[2];
  pid_t pid = -1;
  if (pipe2(ends, O_CLOEXEC) != 0 || (pid = fork()) < 0) throw std::runtime_error("cannot start a program");
  if (pid == 0) {  // only async-signal-safe calls until the exec
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) signal(signal_number, SIG_DFL);
    if (setting.ignored_signal != 0) signal(setting.ignored_signal, SIG_IGN);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    umask(022);
    const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const uid_t user = setting.user;
    if (dup2(nothing, 0) == 0 && dup2(ends[1], 1) == 1 && chdir(directory.c_str()) == 0 &&
        (setting.file_size_limit == 0 || setrlimit(RLIMIT_FSIZE, &limit) == 0) &&
        (user == 0 || (setgroups(0, nullptr) == 0 && setresgid(user, user, user) == 0 &&
                       setresuid(user, user, user) == 0))) {
      execv(argv[0], argv.data());
    }
    _exit(127);
  }
  close(ends[1]);
  return Child{pid, ends[0]};
}

ProgramRun finish_program(const Child& child, int timeout_seconds) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeout_seconds);
  ProgramRun run;
  for (char buffer[4096];;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd ready{child.output, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(std::max<int64_t>(left, 0))) == 0) {
      run.timed_out = true;
      kill(child.pid, SIGKILL);
      break;
    }
    const ssize_t got = read(child.output, buffer, sizeof buffer);
    if (got <= 0) break;
    run.output.append(buffer, static_cast<size_t>(got));
  }
  close(child.output);
  int status = 0;
  waitpid(child.pid, &status, 0);
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return run;
}

ProgramRun run_program(const std::vector<std::string>& arguments, const std::string& directory,
                       const ProgramSetting& setting) {
  return finish_program(start_program(arguments, directory, setting));
}

bool output_matches(std::string_view actual, std::string_view expected) {
  const size_t at = expected.find("{ms}");
  if (at == std::string_view::npos) return actual == expected;
  if (actual.substr(0, at) != expected.substr(0, at)) return false;
  size_t end = at;
  while (end < actual.size() && std::isdigit(static_cast<unsigned char>(actual[end]))) ++end;
  return end > at && output_matches(actual.substr(end), expected.substr(at + 4));
}

}  // namespace lzw::testing
