// Starting the imaging library, once per process.
#pragma once

// Starts the library on the first call; later calls do nothing, also when
// the first start failed. The library is never shut down.
void EnsureGdiplusStarted();
