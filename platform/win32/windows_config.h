#pragma once

// The one place that decides how <windows.h> is seen: every Windows source of the platform
// layer includes this header first, so they all agree on the macros below.

#ifndef NOMINMAX
#define NOMINMAX  // min and max stay the standard library's
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // nothing newer than Vista is called directly
#endif

#include <windows.h>
