#include <iostream>
#include <string>
#include <vector>

#include "releasetool/ReleaseCommands.h"
#ifdef _WIN32
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/WinHttpUrlServices.h"
#else
#include "platform/posix/CurlUrlServices.h"
#include "platform/posix/PosixFileSystem.h"
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  qz::Win32FileSystem files;
  qz::WinHttpUrlServices urls;
#else
  qz::PosixFileSystem files;
  qz::CurlUrlServices urls;
#endif
  return qz::ReleaseCommands(files, urls, std::cout, std::cerr)
      .Run(std::vector<std::string>(argv + 1, argv + argc));
}
