// The host application's stand-in on Windows. While it runs it holds Config.ldb in its
// folder open without delete sharing, as Vq's database engine does; that is how the
// updater learns that Vq is still running. The demo installs it as Vq.exe.

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "StandInOptions.h"

namespace {

HANDLE stopEvent = nullptr;

std::wstring OwnPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring Widen(const std::string& text) {
  int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// The demo stamps each copy of the executable with a line "VQ-VERSION=<version>" after the
// program image (the loader ignores trailing bytes), so that the old and the new Vq.exe
// of an update differ and can tell which one they are.
std::string VersionStamp() {
  std::ifstream self(OwnPath().c_str(), std::ios::binary | std::ios::ate);
  const std::streamoff tail = 128;
  std::streamoff size = self.tellg();
  if (!self || size <= 0) return "unstamped";
  self.seekg(size > tail ? size - tail : 0);
  std::string end((std::istreambuf_iterator<char>(self)), std::istreambuf_iterator<char>());
  const std::string mark = "VQ-VERSION=";
  size_t at = end.rfind(mark);
  if (at == std::string::npos) return "unstamped";
  std::string version = end.substr(at + mark.size());
  return version.substr(0, version.find_first_of("\r\n"));
}

// Opens (or creates) the lock file for reading and writing, sharing reading and writing
// but not deletion: nobody can delete or replace it while this process runs.
HANDLE HoldLockFile(const std::wstring& path) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  std::string holder = "Vq stand-in, process " + std::to_string(GetCurrentProcessId()) + "\r\n";
  DWORD written = 0;
  WriteFile(file, holder.data(), static_cast<DWORD>(holder.size()), &written, nullptr);
  SetEndOfFile(file);
  FlushFileBuffers(file);
  return file;
}

BOOL WINAPI OnConsoleEvent(DWORD) {
  SetEvent(stopEvent);
  return TRUE;
}

DWORD WINAPI WatchStandardInput(void*) {
  char sink[256];
  DWORD read = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  while (ReadFile(input, sink, sizeof sink, &read, nullptr) && read > 0) {
  }
  SetEvent(stopEvent);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qz::demo;
  std::string problem;
  bool help = false;
  auto options = StandInOptions::Parse({argv + 1, argv + argc}, problem, help);
  if (!options) {
    std::cerr << (help ? "" : problem + "\n") << StandInOptions::Usage();
    return help ? 0 : 2;
  }
  if (options->version) {
    std::cout << "Vq stand-in " << VersionStamp() << "\n";
    return 0;
  }

  stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
  std::wstring folder = options->folder.empty() ? OwnPath() : Widen(options->folder);
  if (options->folder.empty()) folder.resize(folder.find_last_of(L"\\/"));
  std::wstring lockFile = folder + L"\\Config.ldb";
  HANDLE lock = HoldLockFile(lockFile);
  if (lock == INVALID_HANDLE_VALUE) {
    std::cerr << "vq-standin: cannot open Config.ldb (error " << GetLastError() << ")\n";
    return 1;
  }
  if (!options->readyFile.empty()) {
    std::ofstream ready(Widen(options->readyFile).c_str(), std::ios::trunc);
    ready << GetCurrentProcessId() << "\n";
  }
  std::cout << "Vq stand-in " << VersionStamp() << " is running, holding Config.ldb" << std::endl;
  if (options->untilStdinCloses) {
    CreateThread(nullptr, 0, &WatchStandardInput, nullptr, 0, nullptr);
  }
  WaitForSingleObject(stopEvent, INFINITE);
  CloseHandle(lock);
  std::cout << "Vq (stand-in) has ended" << std::endl;
  return 0;
}
