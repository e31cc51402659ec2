#include "platform/win32/Win32Clock.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace qz {
namespace {

constexpr int64_t kFileTimeTicksPerMillisecond = 10'000;

}  // namespace

int64_t Win32Clock::NowSeconds() {
  return NowMilliseconds() / 1000;
}

int64_t Win32Clock::NowMilliseconds() {
  FILETIME utc;
  GetSystemTimeAsFileTime(&utc);
  FILETIME local;
  if (!FileTimeToLocalFileTime(&utc, &local)) local = utc;
  ULARGE_INTEGER ticks;
  ticks.LowPart = local.dwLowDateTime;
  ticks.HighPart = local.dwHighDateTime;
  return static_cast<int64_t>(ticks.QuadPart / kFileTimeTicksPerMillisecond);
}

std::string Win32Clock::LocalTimeText() {
  SYSTEMTIME local;
  GetLocalTime(&local);
  char text[32];
  const int length = snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", local.wYear,
                              local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond);
  return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

void Win32Clock::SleepMilliseconds(int milliseconds) {
  if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

}  // namespace qz
