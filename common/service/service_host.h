// Running as the service: the start notification is posted to the event loop
// as soon as RunAsService() is called; SIGTERM and SIGINT become "stop",
// SIGUSR1 "pause" and SIGUSR2 "resume". Signals are read from a signalfd and
// handed out by the event loop like every other event, so the notifications
// arrive on the program's one thread, inside its waits.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/event_loop.h"

namespace vexa {

class ServiceHost {
 public:
  static constexpr int32_t kStop = 0;
  static constexpr int32_t kPause = 1;
  static constexpr int32_t kStart = 2;
  static constexpr int32_t kResume = 3;

  // Raised with State() set to the new value.
  std::function<void()> OnState;
  // Raised when the notifications cannot be read.
  std::function<void(int number, const std::string& description)> OnError;

  explicit ServiceHost(EventLoop& loop) : loop_(loop) {}
  ~ServiceHost();
  ServiceHost(const ServiceHost&) = delete;
  ServiceHost& operator=(const ServiceHost&) = delete;

  // Blocks the service signals and starts handing them out. Throws
  // std::system_error when the signal descriptor cannot be made.
  void RunAsService();
  int32_t State() const { return state_; }
  // Sets the state and raises the State notification; the start and the
  // signals come through here.
  void Notify(int32_t state);

  // Blocks the signals that RunAsService() reads. Call it first thing in main,
  // so a stop that arrives early is queued instead of killing the process.
  static void BlockServiceSignals();

 private:
  void ReadSignals();

  EventLoop& loop_;
  int signal_fd_ = -1;
  int watch_id_ = 0;
  int32_t state_ = -1;
};

}  // namespace vexa
