// The failure frame on Windows: C++ exceptions through catch (...), processor
// faults through a vectored exception handler that sends the faulting thread
// back to its frame. GCC's exception handling does not catch structured
// exceptions, so a fault would otherwise end the process.
#include <malloc.h>

#include <cstddef>
#include <cstdint>

#include "platform/runtime.h"
#include "platform/run_catching_exceptions.h"

namespace repng::runtime {
namespace {

// Where a fault lands before it jumps to its frame: a few kilobytes inside
// the frame's own stack area, above every frame of the body, so that it is
// usable even after a stack overflow.
constexpr std::size_t kLandingStackBytes = 16 * 1024;
// Below a function's entry, the Windows x64 convention wants the return
// address slot and 32 bytes of home space for the callee's arguments.
constexpr std::uintptr_t kEntryReserveBytes = 8 + 32;

struct FailureFrame {
  // __builtin_setjmp's buffer: frame pointer, resume address, stack pointer.
  void* jump_buffer[5] = {};
  FailureFrame* enclosing = nullptr;
  volatile DWORD fault_code = 0;
  alignas(16) std::byte landing_stack[kLandingStackBytes];
};

thread_local FailureFrame* t_active_frame = nullptr;

bool IsProcessorFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_STACK_CHECK:
      return true;
    default:
      return false;
  }
}

// Entered in place of the faulting instruction, on the landing stack, with
// the frame as its first argument.
[[noreturn]] __attribute__((noinline)) void LandInFrame(FailureFrame* frame) {
  __builtin_longjmp(frame->jump_buffer, 1);
}

// Jumping out of the handler itself would leave the system's exception
// dispatch half done; instead the thread resumes, with the dispatch finished,
// in LandInFrame.
LONG CALLBACK RedirectFaultToFrame(EXCEPTION_POINTERS* exception) {
  FailureFrame* const frame = t_active_frame;
  const DWORD code = exception->ExceptionRecord->ExceptionCode;
  if (frame == nullptr || !IsProcessorFault(code)) return EXCEPTION_CONTINUE_SEARCH;
  frame->fault_code = code;
  CONTEXT* const context = exception->ContextRecord;
  const auto top = reinterpret_cast<std::uintptr_t>(frame->landing_stack + kLandingStackBytes);
  context->Rsp = (top & ~std::uintptr_t{15}) - kEntryReserveBytes;
  context->Rip = reinterpret_cast<DWORD64>(&LandInFrame);
  context->Rcx = reinterpret_cast<DWORD64>(frame);
  return EXCEPTION_CONTINUE_EXECUTION;
}

// The handler is in place only while a body runs; faults elsewhere, and on
// threads without a frame, take the system's usual course.
class VectoredHandler {
 public:
  VectoredHandler() : handle_(AddVectoredExceptionHandler(1, RedirectFaultToFrame)) {}
  ~VectoredHandler() {
    if (handle_ != nullptr) RemoveVectoredExceptionHandler(handle_);
  }
  VectoredHandler(const VectoredHandler&) = delete;
  VectoredHandler& operator=(const VectoredHandler&) = delete;

 private:
  PVOID handle_;
};

}  // namespace

// After a fault the body's frames are abandoned without their destructors:
// what they held stays allocated, which is the price of reporting the crash
// instead of dying.
bool RunInFailureFrame(void (*body)(void* context), void* context) {
  VectoredHandler handler;
  FailureFrame frame;
  frame.enclosing = t_active_frame;
  volatile bool failed = true;
  if (__builtin_setjmp(frame.jump_buffer) == 0) {
    t_active_frame = &frame;
    failed = RunCatchingExceptions(body, context);
  }
  t_active_frame = frame.enclosing;
  // The overflow used up the stack's guard page; without a new one the next
  // overflow would end the process without any report.
  if (frame.fault_code == EXCEPTION_STACK_OVERFLOW) _resetstkoflw();
  return failed;
}

}  // namespace repng::runtime
