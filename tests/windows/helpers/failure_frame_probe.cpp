// Runs failures of every kind through the failure frame and prints one line
// per case: its name and whether the frame reported a failure.
#include <cstdio>

#include "platform/runtime.h"

namespace {

using repng::runtime::RunInFailureFrame;

volatile int* volatile g_null_pointer = nullptr;
volatile int g_zero = 0;
volatile int g_dividend = 12345;
volatile int g_depth_limit = 1 << 30;

void Nothing(void*) {}
void ThrowInt(void*) { throw 7; }
void WriteThroughNull(void*) { *g_null_pointer = 1; }
void DivideByZero(void*) { std::printf("%d", g_dividend / g_zero); }

int Recurse(int depth) {
  volatile char frame[512] = {};
  frame[0] = static_cast<char>(depth);
  if (depth >= g_depth_limit) return frame[0];
  return Recurse(depth + 1) + frame[0];
}
void OverflowTheStack(void*) { std::printf("%d", Recurse(0)); }

// A fault inside an inner frame belongs to that frame alone.
void NestedFault(void* inner_reported) {
  *static_cast<bool*>(inner_reported) = RunInFailureFrame(WriteThroughNull, nullptr);
}

void Report(const char* name, bool failed) { std::printf("%s: %s\n", name, failed ? "failure" : "clean"); }

}  // namespace

int main() {
  Report("nothing", RunInFailureFrame(Nothing, nullptr));
  Report("int thrown", RunInFailureFrame(ThrowInt, nullptr));
  Report("write through null", RunInFailureFrame(WriteThroughNull, nullptr));
  Report("divide by zero", RunInFailureFrame(DivideByZero, nullptr));
  Report("stack overflow", RunInFailureFrame(OverflowTheStack, nullptr));
  Report("stack overflow again", RunInFailureFrame(OverflowTheStack, nullptr));
  bool inner_reported = false;
  Report("outer of nested fault", RunInFailureFrame(NestedFault, &inner_reported));
  Report("inner of nested fault", inner_reported);
  return 0;
}
