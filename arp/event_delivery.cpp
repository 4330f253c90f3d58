#include "arp/event_delivery.h"

#include <cstdio>

#include "arp/vendor.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "arp/address_json.h"
#include "platform/process.h"

namespace vexa {

namespace {

constexpr Millis kReapInterval{100};

}  // namespace

JournalWriter SystemJournal() {
  return [](const std::vector<JournalField>& fields) {
    std::vector<std::string> items;
    items.reserve(fields.size());
    std::vector<iovec> iov;
    iov.reserve(fields.size());
    for (const JournalField& field : fields) {
      items.push_back(field.name + '=' + field.value);
      iov.push_back({items.back().data(), items.back().size()});
    }
    sd_journal_sendv(iov.data(), static_cast<int>(iov.size()));
  };
}

std::vector<JournalField> JournalEntryOf(const AddressEvent& event) {
  std::string message = "Address " + event.kind + ": " + event.ip + " " + event.mac;
  if (!event.old_mac.empty()) message += " (was " + event.old_mac + ")";
  message += " on " + event.router + " interface " + std::to_string(event.if_index);
  return {{"MESSAGE", message},          {"PRIORITY", "5"},
          {"VEXA_EVENT", event.kind},    {"VEXA_IP", event.ip},
          {"VEXA_MAC", event.mac},       {"VEXA_OLD_MAC", event.old_mac},
          {"VEXA_ROUTER", event.router}, {"VEXA_IF_INDEX", std::to_string(event.if_index)},
          {"VEXA_VENDOR", event.vendor}};
}

EventCommandRunner::EventCommandRunner(const CollectorContext& ctx)
    : ctx_(ctx), reaper_(ctx.loop, kReapInterval, [this] { Check(); }) {}

EventCommandRunner::~EventCommandRunner() {
  // A program still running keeps what it was given; only our end goes.
  CloseInput();
}

void EventCommandRunner::Run(const std::string& program, std::string input) {
  if (Busy()) {
    queued_program_ = program;
    queued_ += input;
    return;
  }
  program_ = program;
  input_ = std::move(input);
  Start();
}

void EventCommandRunner::Start() {
  int error = 0;
  const std::optional<InputChild> child = SpawnWithInput(program_, error);
  if (!child) {
    input_.clear();
    Failed(std::string("could not be started: ") + std::strerror(error));
    return;
  }
  pid_ = child->pid;
  fd_ = child->input;
  written_ = 0;
  killed_ = false;
  deadline_ = ctx_.loop.clock().Now() + kTimeLimit;
  watch_ = ctx_.loop.Watch(fd_, POLLOUT, [this](short) { WriteInput(); });
  reaper_.SetEnabled(true);
  WriteInput();
}

void EventCommandRunner::WriteInput() {
  while (fd_ >= 0 && written_ < input_.size()) {
    const ssize_t n = ::send(fd_, input_.data() + written_, input_.size() - written_,
                             MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      written_ += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return;  // the watch calls again when it takes more
    } else {
      break;  // the program closed its input: what it read is what it gets
    }
  }
  CloseInput();
}

void EventCommandRunner::CloseInput() {
  if (watch_ >= 0) ctx_.loop.Unwatch(watch_);
  watch_ = -1;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void EventCommandRunner::Check() {
  if (pid_ <= 0) return;
  int status = 0;
  const pid_t done = ::waitpid(pid_, &status, WNOHANG);
  if (done == 0) {
    if (!killed_ && ctx_.loop.clock().Now() >= deadline_) {
      ::kill(-pid_, SIGKILL);  // its own session: whatever it started goes too
      ::kill(pid_, SIGKILL);
      killed_ = true;
    }
    return;
  }
  pid_ = -1;
  reaper_.SetEnabled(false);
  CloseInput();
  input_.clear();
  if (done < 0)
    Failed(std::string("could not be waited for: ") + std::strerror(errno));
  else if (killed_)
    Failed("was stopped after " + std::to_string(kTimeLimit.count()) + " s");
  else if (WIFSIGNALED(status))
    Failed("ended by signal " + std::to_string(WTERMSIG(status)));
  else if (WEXITSTATUS(status) != 0)
    Failed("ended with exit status " + std::to_string(WEXITSTATUS(status)));
  if (!Busy() && !queued_.empty()) {
    program_ = std::move(queued_program_);
    input_ = std::move(queued_);
    queued_.clear();
    Start();
  }
}

void EventCommandRunner::Failed(const std::string& why) {
  ctx_.log.LogEvent(kLogSourceCollector, "RunEventCommand", "EventCommand " + program_ + " " + why,
                    kLevelError);
}

void EventDelivery::Deliver(const std::vector<AddressEvent>& events) {
  // Loaded at the first changes; a registry that cannot be read only leaves
  // the vendors empty, and is told once on stderr (the journal).
  const VendorRegistry& vendors = VendorRegistry::ForProcess([](const std::string& message) {
    std::fprintf(stderr, "VexaArpSrv: %s\n", message.c_str());
  });
  std::string input;
  for (AddressEvent event : events) {
    if (!event.delivered) continue;
    event.vendor = vendors.VendorOf(event.mac);
    if (journal_) journal_(JournalEntryOf(event));
    input += EventJsonLine(event);
  }
  if (!input.empty() && !ctx_.settings.event_command.empty())
    command_.Run(ctx_.settings.event_command, std::move(input));
}

}  // namespace vexa
