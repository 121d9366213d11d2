#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

// The Windows version record and how the program reads it; apart from the query, so that each
// family's words can be tested on any Windows.
namespace platform {

struct WindowsVersion {
  std::uint32_t platformId = 0;  // 1 the Windows 95/98 family, 2 the NT family
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::string servicePack;
};

// Returns the version of the running system; all zero when it cannot be asked.
WindowsVersion queryWindowsVersion();

// The Windows 95/98 family gives the win9x mover, every other version the nt one.
MoverFamily moverFamilyOf(const WindowsVersion& version);

// The 95/98 family gives "95 " (minor version 0) or "98 " and the service-pack text; the NT
// family "NT major.minor" and a build of the build number, a space and the service-pack text;
// any other version nothing but the word Windows.
SystemName systemNameOf(const WindowsVersion& version);

}  // namespace platform
