#pragma once

#include "platform/posix/win32_types.h"
