#pragma once

// The real file system and downloads of the platform that the tests run on.
#ifdef _WIN32
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
#else
using RealFileSystem = PosixFileSystem;
using RealUrlServices = CurlUrlServices;
#endif

}  // namespace qz::test
