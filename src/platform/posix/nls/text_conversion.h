// Text conversion of the Windows SDK (kernel32's NLS functions).
#pragma once

#include "platform/posix/win32_types.h"

#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_NO_BEST_FIT_CHARS 0x00000400

#define ERROR_INVALID_FLAGS 1004L

// Converts UTF-16 to a narrow code page. CP_ACP stands for code page 936
// (GBK); 936 and CP_UTF8 are also accepted. A cchWideChar of -1 converts up to
// and including the terminating zero. A cbMultiByte of 0 measures. Returns
// the byte count, or 0 with the last error set: ERROR_INSUFFICIENT_BUFFER when
// the output does not fit (nothing written then), ERROR_INVALID_PARAMETER or
// ERROR_INVALID_FLAGS for bad arguments, ERROR_NO_UNICODE_TRANSLATION for a
// lone surrogate under WC_ERR_INVALID_CHARS. Characters the code page cannot
// hold become the default character ("?" unless lpDefaultChar names one).
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                               LPBOOL lpUsedDefaultChar);
