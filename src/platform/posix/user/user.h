// The screen's window and device context.
#pragma once

#include "platform/posix/win32_types.h"

HWND WINAPI GetDesktopWindow();
// A screen context for the desktop window (or a null window); give it back
// with ReleaseDC.
HDC WINAPI GetDC(HWND hWnd);
// 1 when the context was a screen context and is released, 0 otherwise.
int WINAPI ReleaseDC(HWND hWnd, HDC hDC);
