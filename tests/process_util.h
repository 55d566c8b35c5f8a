// Child processes for the tests that run the registry store from several
// processes: fork a function, wait for its exit, and pass one-byte signals
// through pipes to run processes step by step.
#ifndef TOBRELTOOLS_TESTS_PROCESS_UTIL_H_
#define TOBRELTOOLS_TESTS_PROCESS_UTIL_H_

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace tobrel {
namespace test {

// Runs `body` in a forked child, which exits with its result. A child that
// is still running after `limitSeconds` is ended by SIGALRM, so that a hang
// fails the test rather than stopping it.
inline pid_t spawn(const std::function<int()>& body, unsigned limitSeconds = 120) {
  pid_t pid = fork();
  if (pid == 0) {
    alarm(limitSeconds);
    _exit(body());
  }
  return pid;
}

// The exit status of the child, or 1000 + the signal that ended it.
inline int waitExit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 1000 + WTERMSIG(status) : -1;
}

// A one-way channel of one-byte signals between two processes. Make it
// before the fork; each side then uses its own end.
class Signal {
 public:
  Signal() {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  ~Signal() {
    if (fds_[0] >= 0) close(fds_[0]);
    if (fds_[1] >= 0) close(fds_[1]);
  }
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;

  bool send(char c = '.') { return write(fds_[1], &c, 1) == 1; }
  // The next byte, or -1 once every writer has closed its end.
  int receive() {
    char c = 0;
    ssize_t n;
    do {
      n = read(fds_[0], &c, 1);
    } while (n < 0 && errno == EINTR);
    return n == 1 ? static_cast<unsigned char>(c) : -1;
  }
  // Closes the writing end in this process (so that receive() sees the end
  // once the other writers close theirs).
  void closeSend() {
    if (fds_[1] >= 0) close(fds_[1]);
    fds_[1] = -1;
  }

 private:
  int fds_[2];
};

}  // namespace test
}  // namespace tobrel

#endif  // TOBRELTOOLS_TESTS_PROCESS_UTIL_H_
