// One key from standard input, as the pause reads it.
#pragma once

namespace repng::runtime {

// In raw mode when standard input is a terminal, so that any key counts and
// none is echoed; otherwise one byte, or end of input. Never hangs on a
// closed input.
void WaitForOneKey();

}  // namespace repng::runtime
