#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "unzip32.h"

namespace qz {

class DynamicLibrary;
class Prompts;

// The unzip driver: runs one extraction through the extraction library (libunzip32.so on
// Linux, unzip32.dll on Windows) and answers the library's calls back during the run.
// Single-threaded: runs never overlap.
namespace CGCodeModule {

// The module's state, one copy for the whole process.
struct ModuleState {
  // Everything the library printed during the current or most recent run.
  std::string sLastMessage;
  // 1 once the user has declined to give a password in the current run.
  int16_t iSkipPassword = 0;
  // The typed password's other form (Windows-1252) and the member it was typed for: the
  // answer when the library asks again for that member, before the user is asked again.
  std::string otherPassword;
  std::string otherPasswordMember;
  // The uncompressed size of the selected members of the most recent run, as the library
  // reports it (held in 32 bits, so at most 4 GiB - 1).
  uint32_t totalSize = 0;
  // Answers the overwrite question and the password request; set for the length of a run.
  Prompts* prompts = nullptr;
  // Runs at the library's service call before each member, so that the caller can keep
  // its windows alive during a long run; must not throw. Nothing runs when unset.
  std::function<void()> beforeEachMember;
  // Receives each member of a listing run: its stored name, uncompressed size (at most
  // 4 GiB - 1) and kind ('-' file, 'd' folder, 'l' link); must not throw. Unset: nothing.
  std::function<void(const std::string& name, uint32_t size, char kind)> onListEntry;
  // The library, loaded on first use and kept; loaded again from another folder.
  std::string libraryPath;
  std::unique_ptr<DynamicLibrary> library;
};

ModuleState& State();

// The library's file name in the updater's folder.
#ifdef _WIN32
inline constexpr char kLibraryFileName[] = "unzip32.dll";
#else
inline constexpr char kLibraryFileName[] = "libunzip32.so";
#endif

// Runs the library over `sZipFileName` into `sExtractDir` with the fifteen switches of
// CGUnzipFiles, loading the library from `libraryFolder` on first use; `prompts` answers
// its questions during the run. Returns the library's result code unchanged. Throws
// qz::Error with source "CodeModule::VBUnzip" when the library or one of its two
// functions cannot be found (48, 453).
int32_t VBUnzip(Prompts& prompts, const std::string& libraryFolder, const std::string& sZipFileName,
                const std::string& sExtractDir, int16_t iExtractNewer, int16_t iSpaceToUnderScore,
                int16_t iPromptOverwrite, int16_t iMessageLevel, int16_t iWriteToStdOut,
                int16_t iTestZip, int16_t iExtractList, int16_t iExtractOnlyNewer,
                int16_t iDisplayComment, int16_t iHonorDirectories, int16_t iOverWriteFiles,
                int16_t iConvertCRtoCRLF, int16_t iVerbose, int16_t iCaseSensitive,
                int16_t iPrivilege);

// The functions the library calls during a run. None of them lets an error escape.

// Appends at most `length` bytes of `text` (up to a zero byte, at most 32800) to the last
// message; a piece that begins with a line feed is appended as CR LF instead. Returns 0.
int32_t UNZIP_API UnzipPrint(const char* text, int32_t length);

// Asks whether the existing file `name` may be overwritten: 100 No (skip it), 104 Cancel
// (overwrite no file), 102 for Yes and when the box fails. Without prompts, 100.
int32_t UNZIP_API UnzipReplace(const char* name);

// Asks for the archive password and writes it into `buffer` (size bytes, NUL-terminated,
// at most 256 characters) as typed: 0 with a password; 1 for an empty answer or Cancel,
// after which the run asks no more and every later request gets 1 at once. When the
// library asks again for the same member `name`, the typed password's other form from
// ArchivePassword is written instead of asking, if it differs.
int32_t UNZIP_API UnzipPassword(char* buffer, int32_t size, const char* prompt, const char* name);

// Hands one listing entry to the state's onListEntry.
void UNZIP_API UnzipListEntry(uint32_t size, uint32_t compressedSize, int32_t factor, int32_t month,
                              int32_t day, int32_t year, int32_t hour, int32_t minute, char flag,
                              const char* name, const char* method, uint32_t crc,
                              int32_t encrypted);

// Runs the state's beforeEachMember, then lets the run go on: 0 for every member.
int32_t UNZIP_API UnzipService(const char* name, uint32_t size);

}  // namespace CGCodeModule
}  // namespace qz
