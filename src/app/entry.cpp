#include "platform/runtime.h"

int wmain(int, WCHAR*[]) { return 0; }
