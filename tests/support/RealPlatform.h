#pragma once

// The real file system and downloads of the platform that the tests run on.
#ifdef _WIN32
// winsock2.h first: the test server's sockets need it before windows.h.
#include <winsock2.h>
// After winsock2.h.
#include <windows.h>

#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/WinHttpUrlServices.h"
#else
#include "platform/posix/CurlUrlServices.h"
#include "platform/posix/PosixFileSystem.h"
#endif

namespace qz::test {

#ifdef _WIN32
using RealFileSystem = Win32FileSystem;
using RealUrlServices = WinHttpUrlServices;

// True under Wine, whose ntdll has an export of its own.
inline bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}
#else
using RealFileSystem = PosixFileSystem;
using RealUrlServices = CurlUrlServices;

inline bool UnderWine() {
  return false;
}
#endif

}  // namespace qz::test
