// The shipped browser stand-in: it stays up until it is asked to quit, the
// way a real browser does, and then ends normally.
#include <signal.h>

int main() {
  sigset_t quitSignals;
  sigemptyset(&quitSignals);
  sigaddset(&quitSignals, SIGTERM);
  sigaddset(&quitSignals, SIGINT);
  sigaddset(&quitSignals, SIGHUP);
  sigprocmask(SIG_BLOCK, &quitSignals, nullptr);
  int received = 0;
  sigwait(&quitSignals, &received);
  return 0;
}
