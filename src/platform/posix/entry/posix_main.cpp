#include "platform/runtime.h"

int main() { return wmain(0, nullptr); }
