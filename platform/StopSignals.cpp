#include "platform/StopSignals.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>

namespace platform {
namespace {

sigset_t stopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  return signals;
}

} // namespace

void blockStopSignals() {
  const sigset_t signals = stopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

int waitForStopSignal() {
  const sigset_t signals = stopSignals();
  int received = 0;
  sigwait(&signals, &received);
  return received;
}

void requestStop() {
  ::kill(::getpid(), SIGTERM);
}

} // namespace platform
