// The two functions that the library (libunzip32.so, unzip32.dll) exports; everything else in it
// stays hidden.

#include <zip.h>

#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "libunzip32/CallerText.h"
#include "libunzip32/ExtractionRun.h"
#include "libunzip32/NameFilter.h"
#include "unzip32.h"

// On Windows the module-definition file names the exports.
#ifdef _WIN32
#define QZ_UNZIP32_EXPORT extern "C"
#else
#define QZ_UNZIP32_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

// The names of a list, or false when the count or an entry is unusable.
bool ReadNames(int32_t count, const UnzipNameList* list, std::vector<std::string>* names) {
  if (count == 0) return true;
  if (count < 0 || count > kUnzipNameListSize || list == nullptr) return false;
  for (int32_t i = 0; i < count; ++i) {
    if (list->Names[i] == nullptr || list->Names[i][0] == '\0') return false;
    names->push_back(qz::unzip32::CallerText::Inward(list->Names[i]));
  }
  return true;
}

void PrintLine(const UnzipCallbacks* callbacks, const std::string& line) {
  if (callbacks == nullptr || callbacks->Print == nullptr) return;
  callbacks->Print(line.c_str(), static_cast<int32_t>(line.size()));
  callbacks->Print("\n", 1);
}

void CopyText(char* target, size_t size, const char* text) {
  std::strncpy(target, text, size - 1);
  target[size - 1] = '\0';
}

}  // namespace

QZ_UNZIP32_EXPORT void UNZIP_API UzpVersion2(UnzipVersionInfo* version) {
  if (version == nullptr || version->Length < static_cast<int32_t>(sizeof(UnzipVersionInfo))) {
    return;
  }
  version->Flags = 0;
  CopyText(version->Release, sizeof version->Release, "release");
  CopyText(version->Date, sizeof version->Date, __DATE__);
  CopyText(version->Backend, sizeof version->Backend, LIBZIP_VERSION);
  std::memset(version->Version, 0, sizeof version->Version);
  version->Version[0] = QZ_UNZIP32_VERSION_MAJOR;
  version->Version[1] = QZ_UNZIP32_VERSION_MINOR;
  version->Version[2] = QZ_UNZIP32_VERSION_PATCH;
}

QZ_UNZIP32_EXPORT int32_t UNZIP_API
Wiz_SingleEntryUnzip(int32_t includeCount, UnzipNameList* include, int32_t excludeCount,
                     UnzipNameList* exclude, UnzipOptions* options, UnzipCallbacks* callbacks) {
  // No exception may cross into the caller, which need not be C++.
  try {
    if (options == nullptr) {
      PrintLine(callbacks, "No options given.");
      return kUnzipInvalidOptions;
    }
    std::vector<std::string> included;
    std::vector<std::string> excluded;
    if (!ReadNames(includeCount, include, &included) ||
        !ReadNames(excludeCount, exclude, &excluded)) {
      PrintLine(callbacks, "The list of member names is not usable.");
      return kUnzipInvalidOptions;
    }
    qz::unzip32::NameFilter filter(std::move(included), std::move(excluded),
                                   options->CaseSensitive != 0);
    return qz::unzip32::ExtractionRun(*options, callbacks, std::move(filter)).Run();
  } catch (const std::exception& failure) {
    PrintLine(callbacks, std::string("Extraction failed: ") + failure.what() + ".");
  } catch (...) {
    PrintLine(callbacks, "Extraction failed.");
  }
  return kUnzipSevereError;
}
