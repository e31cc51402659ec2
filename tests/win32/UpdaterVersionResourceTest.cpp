#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "platform/UpdaterVersionInfo.h"

namespace qz {
namespace {

// What Windows Explorer shows of an executable: its version resource, read the way the
// shell reads it. The record the updater publishes must be the same.
TEST(UpdaterVersionResourceTest, TheExecutablesResourceMatchesTheVersionRecord) {
  wchar_t path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  DWORD size = GetFileVersionInfoSizeW(path, nullptr);
  ASSERT_GT(size, 0u);
  auto data = std::make_unique<char[]>(size);
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, data.get()));

  auto text = [&](const char* name) {
    std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.get(), key.c_str(), reinterpret_cast<void**>(&value), &length))
      return std::string("<none>");
    return std::string(value, length > 0 ? length - 1 : 0);
  };
  UpdaterVersionInfo record = UpdaterVersionInfo::Current();
  EXPECT_EQ(text("CompanyName"), record.companyName);
  EXPECT_EQ(text("Comments"), record.comments);
  EXPECT_EQ(text("FileVersion"), std::to_string(record.major) + "." + std::to_string(record.minor) +
                                     "." + std::to_string(record.revision));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.get(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), static_cast<WORD>(record.major));
  EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), static_cast<WORD>(record.minor));
  EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), static_cast<WORD>(record.revision));
}

}  // namespace
}  // namespace qz
