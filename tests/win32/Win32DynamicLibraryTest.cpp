#include "platform/win32/Win32DynamicLibrary.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "platform/Error.h"
#include "support/TempDir.h"

namespace qz {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

int32_t OpenFails(const std::string& path) {
  try {
    DynamicLibrary::Open(path);
    return 0;
  } catch (const Error& error) {
    return error.Number();
  }
}

// Goes back to the folder the test started in.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) : previous_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~CurrentFolder() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

// A DLL of the extraction library's name planted in the current folder is never loaded:
// not through a bare name, and not by the process's own later loads.
TEST(Win32DynamicLibraryTest, APlantedDllInTheCurrentFolderIsNeverLoaded) {
  TempDir planted;
  fs::copy_file(QZ_PLANTED_DLL, planted / "unzip32.dll");
  CurrentFolder inPlanted(planted.Path());

  EXPECT_EQ(OpenFails("unzip32.dll"), Error::kDllLoad);
  EXPECT_EQ(OpenFails(".\\unzip32.dll"), Error::kDllLoad);
  EXPECT_EQ(LoadLibraryW(L"unzip32.dll"), nullptr);
  EXPECT_EQ(GetModuleHandleW(L"unzip32.dll"), nullptr);

  // By its full path the same file loads, and a missing export is 453.
  auto library = DynamicLibrary::Open(fs::absolute(planted / "unzip32.dll").string());
  EXPECT_NE(library->Function("QzPlanted"), nullptr);
  try {
    library->Function("Wiz_SingleEntryUnzip");
    ADD_FAILURE() << "an export that is not there was found";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), Error::kDllFunctionNotFound);
  }
  EXPECT_EQ(OpenFails(planted / "Missing.dll"), Error::kDllLoad);
}

}  // namespace
}  // namespace qz
