#include "platform/win32/NamedMutexInstanceGuard.h"

#include <windows.h>
// After <windows.h>, which it needs.
#include <sddl.h>

#include <memory>
#include <utility>

#include "platform/win32/WideText.h"

namespace qz {
namespace {

// The SID of the user running this process as text, or "unknown-user" when the token
// cannot be read (the mark is then per folder only).
std::string UserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "unknown-user";
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  auto buffer = std::make_unique<unsigned char[]>(size);
  std::string sid = "unknown-user";
  wchar_t* text = nullptr;
  if (size > 0 && GetTokenInformation(token, TokenUser, buffer.get(), size, &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &text)) {
    sid = WideText::ToUtf8(text);
    LocalFree(text);
  }
  CloseHandle(token);
  return sid;
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// The folder with links resolved where the system can tell, without a "\\?\" prefix.
std::wstring FinalPath(const std::wstring& folder) {
  HANDLE handle =
      CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return folder;
  std::wstring final(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                           FILE_NAME_NORMALIZED);
  if (length >= final.size()) {
    final.resize(length + 1);
    length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                       FILE_NAME_NORMALIZED);
  }
  CloseHandle(handle);
  if (length == 0 || length >= final.size()) return folder;
  final.resize(length);
  if (final.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + final.substr(7);
  if (final.rfind(L"\\\\?\\", 0) == 0) return final.substr(4);
  return final;
}

}  // namespace

NamedMutexInstanceGuard::NamedMutexInstanceGuard() : NamedMutexInstanceGuard(DefaultKey()) {}

NamedMutexInstanceGuard::NamedMutexInstanceGuard(std::string key)
    : name_(L"Local\\" + WideText::FromAnsi(key)) {}

NamedMutexInstanceGuard::~NamedMutexInstanceGuard() {
  if (mutex_ != nullptr) CloseHandle(mutex_);
}

bool NamedMutexInstanceGuard::PreviousInstance() {
  if (mutex_ != nullptr) return false;
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name_.c_str());
  if (mutex == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return true;
  }
  mutex_ = mutex;
  return false;
}

std::string NamedMutexInstanceGuard::DefaultKey() {
  std::wstring module = ModulePath();
  std::wstring folder = FinalPath(module.substr(0, module.find_last_of(L"\\/")));
  for (auto& c : folder) {
    if (c == L'/') c = L'\\';
  }
  while (folder.size() > 1 && folder.back() == L'\\') folder.pop_back();
  CharUpperBuffW(folder.data(), static_cast<DWORD>(folder.size()));
  return Key(UserSid(), WideText::ToUtf8(folder));
}

}  // namespace qz
