#include "service/service_host.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace vexa {

namespace {

sigset_t ServiceSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2}) sigaddset(&set, sig);
  return set;
}

}  // namespace

void ServiceHost::BlockServiceSignals() {
  const sigset_t set = ServiceSignals();
  ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

ServiceHost::~ServiceHost() {
  if (watch_id_ != 0) loop_.Unwatch(watch_id_);
  if (signal_fd_ >= 0) ::close(signal_fd_);
}

void ServiceHost::RunAsService() {
  if (signal_fd_ >= 0) return;
  const sigset_t set = ServiceSignals();
  if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0)
    throw std::system_error(errno, std::generic_category(), "sigprocmask");
  signal_fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (signal_fd_ < 0) throw std::system_error(errno, std::generic_category(), "signalfd");
  watch_id_ = loop_.WatchReadable(signal_fd_, [this] { ReadSignals(); });
  loop_.Post([this] { Notify(kStart); });
}

void ServiceHost::Notify(int32_t state) {
  state_ = state;
  if (OnState) OnState();
}

void ServiceHost::ReadSignals() {
  signalfd_siginfo info{};
  for (;;) {
    const ssize_t n = ::read(signal_fd_, &info, sizeof info);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    if (n != static_cast<ssize_t>(sizeof info)) {
      const int err = n < 0 ? errno : EIO;
      if (OnError) OnError(err, std::strerror(err));
      return;
    }
    switch (info.ssi_signo) {
      case SIGTERM:
      case SIGINT:
        Notify(kStop);
        break;
      case SIGUSR1:
        Notify(kPause);
        break;
      case SIGUSR2:
        Notify(kResume);
        break;
      default:
        break;
    }
  }
}

}  // namespace vexa
