#include "platform/win32/windows_config.h"

#include "platform/system.h"

#include <ctime>
#include <string>
#include <vector>

#include "platform/status.h"
#include "platform/win32/windows_version.h"

namespace platform {
namespace {

// The largest path the ANSI calls can give back, and then some.
constexpr DWORD kLongestPath = 1U << 16;

std::string narrow(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) {
    return {};
  }
  std::string result(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(), length, nullptr, nullptr);
  result.resize(static_cast<std::size_t>(length) - 1);
  return result;
}

// RtlGetVersion tells the true version, where GetVersionExA reports 6.2 on Windows 8.1 and
// later to a program that does not declare them in a manifest. Windows 95/98 lack it.
bool queryTrueVersion(WindowsVersion& info) {
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (ntdll == nullptr) {
    return false;
  }
  const FARPROC address = GetProcAddress(ntdll, "RtlGetVersion");
  if (address == nullptr) {
    return false;
  }
  // Through the generic function pointer type, which converts to any other without warning.
  const auto rtlGetVersion =
      reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void (*)()>(address));
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (rtlGetVersion(&version) != 0) {
    return false;
  }
  info = {version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion,
          version.dwBuildNumber, narrow(version.szCSDVersion)};
  return true;
}

}  // namespace

WindowsVersion queryWindowsVersion() {
  WindowsVersion info;
  if (queryTrueVersion(info)) {
    return info;
  }
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (GetVersionExA(&version) != 0) {
    info = {version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion,
            version.dwBuildNumber, version.szCSDVersion};
  }
  return info;
}

MoverFamily moverFamilyOf(const WindowsVersion& version) {
  return version.platformId == VER_PLATFORM_WIN32_WINDOWS ? MoverFamily::win9x : MoverFamily::nt;
}

SystemName systemNameOf(const WindowsVersion& version) {
  SystemName words;
  words.windows = true;
  if (version.platformId == VER_PLATFORM_WIN32_WINDOWS) {
    words.name = (version.minor == 0 ? "95 " : "98 ") + version.servicePack;
  } else if (version.platformId == VER_PLATFORM_WIN32_NT) {
    words.name = "NT " + std::to_string(version.major) + "." + std::to_string(version.minor);
    words.build = std::to_string(version.build) + " " + version.servicePack;
  }
  return words;
}

MoverFamily moverFamily() {
  return moverFamilyOf(queryWindowsVersion());
}

SystemName systemName() {
  return systemNameOf(queryWindowsVersion());
}

std::size_t raiseOpenFileLimit(std::size_t) {
  return 16384;  // handles have no limit of their own worth counting
}

std::string programFilePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(buffer.size());
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), capacity);
    if (length == 0) {
      return {};
    }
    // A full buffer means the name was cut short.
    if (length < capacity) {
      return std::string(buffer.data(), length);
    }
    if (capacity >= kLongestPath) {
      return {};
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string toConsoleCharset(std::string text) {
  // The console shows the OEM code page, the program's text is in the ANSI one. The buffer
  // form converts in place and copes with any length.
  if (!text.empty()) {
    CharToOemBuffA(text.data(), text.data(), static_cast<DWORD>(text.size()));
  }
  return text;
}

std::optional<std::string> environment(const std::string& name) {
  for (DWORD size = 256;;) {
    std::vector<char> buffer(size);
    // An empty value also gives 0, so only the error code tells a missing variable.
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableA(name.c_str(), buffer.data(), size);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
      return std::nullopt;
    }
    if (length < size) {
      return std::string(buffer.data(), length);
    }
    size = length;  // too small: the size needed, terminator included
  }
}

std::int64_t now() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

std::string formatLocalTime(const char* format, std::int64_t time) {
  // The program never calls setlocale, so strftime works in the "C" locale: English names.
  const std::time_t value = static_cast<std::time_t>(time);
  struct tm local {};
  if (localtime_s(&local, &value) != 0) {
    return {};
  }
  char buffer[128];
  const std::size_t length = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, length);
}

std::string absolutePath(const std::string& path) {
  const std::string wanted = path.empty() ? std::string(".") : path;
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(buffer.size());
    // Resolves "." and ".." and turns slashes into backslashes, against the current directory.
    const DWORD length = GetFullPathNameA(wanted.c_str(), capacity, buffer.data(), nullptr);
    if (length == 0 || length > kLongestPath) {
      return path;
    }
    if (length < capacity) {
      return std::string(buffer.data(), length);
    }
    buffer.resize(length);
  }
}

namespace {

volatile LONG stopEvent = 0;

BOOL WINAPI noteStopEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      // Reported like the POSIX signals of the same intent: SIGINT 2, SIGTERM 15.
      InterlockedExchange(&stopEvent, event == CTRL_C_EVENT ? 2 : 15);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void catchStopRequests() {
  SetConsoleCtrlHandler(noteStopEvent, TRUE);
}

int stopRequested() {
  return static_cast<int>(InterlockedCompareExchange(&stopEvent, 0, 0));
}

Status Status::lastSystemError() {
  return systemError(static_cast<int>(GetLastError()));
}

std::string systemErrorText(int code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string words = length == 0 ? "error " + std::to_string(code) : std::string(text, length);
  LocalFree(text);
  // The system's text ends with a full stop and a line end; a warning line carries neither.
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ' ||
                            words.back() == '.')) {
    words.pop_back();
  }
  return words;
}

std::string runningUserName() {
  return {};
}

std::optional<ForeignOwner> foreignOwner(const std::string&) {
  return std::nullopt;
}

}  // namespace platform
