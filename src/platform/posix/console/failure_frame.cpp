#include <csetjmp>
#include <csignal>
#include <memory>

#include "platform/runtime.h"
#include "platform/run_catching_exceptions.h"

namespace repng::runtime {
namespace {

// Processor faults that become a failure of the frame instead of ending the
// process.
constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE};
constexpr std::size_t kFaultCount = sizeof kFaultSignals / sizeof kFaultSignals[0];
// The handler must run even when the fault is a stack overflow.
constexpr std::size_t kAlternateStackBytes = 256 * 1024;

thread_local sigjmp_buf* t_active_frame = nullptr;

extern "C" void JumpToActiveFrame(int signal_number) {
  if (t_active_frame == nullptr) {
    // A fault on a thread with no frame: die as the fault would have.
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
    return;
  }
  siglongjmp(*t_active_frame, 1);
}

// Fault handlers and an alternate signal stack, in place only while a body
// runs; the previous ones come back afterwards.
class FaultHandlers {
 public:
  FaultHandlers() : stack_memory_(new (std::nothrow) char[kAlternateStackBytes]) {
    if (stack_memory_ != nullptr) {
      stack_t stack{};
      stack.ss_sp = stack_memory_.get();
      stack.ss_size = kAlternateStackBytes;
      stack_installed_ = sigaltstack(&stack, &saved_stack_) == 0;
    }
    struct sigaction action {};
    action.sa_handler = JumpToActiveFrame;
    sigemptyset(&action.sa_mask);
    action.sa_flags = stack_installed_ ? SA_ONSTACK : 0;
    for (std::size_t i = 0; i < kFaultCount; ++i)
      installed_[i] = sigaction(kFaultSignals[i], &action, &saved_actions_[i]) == 0;
  }

  ~FaultHandlers() {
    for (std::size_t i = 0; i < kFaultCount; ++i)
      if (installed_[i]) sigaction(kFaultSignals[i], &saved_actions_[i], nullptr);
    if (stack_installed_) sigaltstack(&saved_stack_, nullptr);
  }

  FaultHandlers(const FaultHandlers&) = delete;
  FaultHandlers& operator=(const FaultHandlers&) = delete;

 private:
  std::unique_ptr<char[]> stack_memory_;
  stack_t saved_stack_{};
  bool stack_installed_ = false;
  struct sigaction saved_actions_[kFaultCount] {};
  bool installed_[kFaultCount] = {};
};

}  // namespace

// After a fault the body's frames are abandoned without their destructors:
// what they held stays allocated, which is the price of reporting the crash
// instead of dying.
bool RunInFailureFrame(void (*body)(void* context), void* context) {
  FaultHandlers handlers;
  sigjmp_buf frame;
  sigjmp_buf* const enclosing_frame = t_active_frame;
  volatile bool failed = true;
  // The saved signal mask is restored by the jump, so the fault signal is
  // not left blocked.
  if (sigsetjmp(frame, 1) == 0) {
    t_active_frame = &frame;
    failed = RunCatchingExceptions(body, context);
  }
  t_active_frame = enclosing_frame;
  return failed;
}

}  // namespace repng::runtime
