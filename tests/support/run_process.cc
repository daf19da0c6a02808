// Process runner for tests: posix_spawnp with both output streams on pipes
// drained together through poll(), so a child that fills one pipe while we
// wait on the other cannot deadlock.
#include "support/run_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace tessaly::testing {
namespace {

bool DrainOnce(int fd, std::string* sink, bool* open) {
  char buffer[65536];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n > 0) {
    sink->append(buffer, static_cast<size_t>(n));
    return true;
  }
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  *open = false;
  return n == 0;
}

}  // namespace

ProcessResult internal::RunProgram(const std::vector<std::string>& argv,
                                   const std::string& input_file) {
  ProcessResult result;
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) {
    result.error = std::strerror(errno);
    return result;
  }
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    result.error = std::strerror(errno);
    close(out_pipe[0]);
    close(out_pipe[1]);
    return result;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(
      &actions, 0, input_file.empty() ? "/dev/null" : input_file.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);

  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  pid_t pid = 0;
  const int spawn_error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawn_error != 0) {
    result.error = std::string("cannot start ") + argv[0] + ": " + std::strerror(spawn_error);
    close(out_pipe[0]);
    close(err_pipe[0]);
    return result;
  }

  bool out_open = true;
  bool err_open = true;
  while (out_open || err_open) {
    pollfd fds[2];
    nfds_t count = 0;
    if (out_open) fds[count++] = {out_pipe[0], POLLIN, 0};
    if (err_open) fds[count++] = {err_pipe[0], POLLIN, 0};
    if (poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      result.error = std::strerror(errno);
      break;
    }
    for (nfds_t i = 0; i < count; ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      if (fds[i].fd == out_pipe[0]) {
        DrainOnce(out_pipe[0], &result.out, &out_open);
      } else {
        DrainOnce(err_pipe[0], &result.err, &err_open);
      }
    }
  }
  close(out_pipe[0]);
  close(err_pipe[0]);
  result.raw_out = result.out;  // LF line ends already
  result.raw_err = result.err;

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      result.error = std::strerror(errno);
      return result;
    }
  }
  if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  } else {
    result.error = "ended by signal " + std::to_string(WTERMSIG(status));
  }
  return result;
}

bool ProgramExists(const std::string& program) {
  if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
    if (access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace tessaly::testing
