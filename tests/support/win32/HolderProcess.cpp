#include "support/win32/HolderProcess.h"

#include <windows.h>

#include <stdexcept>

namespace qz::test {
namespace {

void Close(void*& handle) {
  if (handle != nullptr) CloseHandle(handle);
  handle = nullptr;
}

}  // namespace

HolderProcess::HolderProcess(const std::string& what, const std::string& argument) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE holderIn = nullptr;
  HANDLE holderOut = nullptr;
  HANDLE fromHolder = nullptr;
  HANDLE toHolder = nullptr;
  if (!CreatePipe(&holderIn, &toHolder, &inherit, 0) ||
      !CreatePipe(&fromHolder, &holderOut, &inherit, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  toHolder_ = toHolder;
  SetHandleInformation(toHolder, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(fromHolder, HANDLE_FLAG_INHERIT, 0);

  PROCESS_INFORMATION info{};
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = holderIn;
  startup.hStdOutput = holderOut;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::string commandLine = "\"" QZ_HOLDER_PATH "\" " + what + " \"" + argument + "\"";
  BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &startup, &info);
  CloseHandle(holderIn);
  CloseHandle(holderOut);
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  if (!started) {
    CloseHandle(fromHolder);
    throw std::runtime_error("cannot start the holder");
  }
  char byte;
  DWORD got = 0;
  while (ReadFile(fromHolder, &byte, 1, &got, nullptr) && got == 1 && byte != '\n') {
    if (byte != '\r') reported_ += byte;
  }
  CloseHandle(fromHolder);
}

HolderProcess::~HolderProcess() {
  Release();
}

void HolderProcess::Release() {
  Close(toHolder_);
  if (process_ == nullptr) return;
  WaitForSingleObject(process_, INFINITE);
  Close(process_);
}

void HolderProcess::Kill() {
  if (process_ != nullptr) TerminateProcess(process_, 1);
  Release();
}

}  // namespace qz::test
