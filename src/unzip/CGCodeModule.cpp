#include "unzip/CGCodeModule.h"

#include <algorithm>
#include <cstring>

#include "platform/DynamicLibrary.h"
#include "platform/Error.h"
#include "platform/Prompts.h"
#include "unzip/ArchivePassword.h"
#include "unzip32.h"

namespace qz::CGCodeModule {
namespace {

constexpr char kSource[] = "CodeModule::VBUnzip";
constexpr size_t kPrintLimit = 32800;
constexpr size_t kNameLimit = 256;
constexpr int32_t kPasswordClearLimit = 257;
constexpr int32_t kPasswordLimit = 256;
constexpr int32_t kReplaceNo = 100;
constexpr int32_t kReplaceYes = 102;
constexpr int32_t kReplaceNone = 104;

// The bytes of `text` up to its first zero byte, at most `limit` of them.
std::string ReadText(const char* text, size_t limit) {
  if (text == nullptr) return {};
  return std::string(text, strnlen(text, limit));
}

// The prompts answer the library's questions only while its run lasts.
class RunPrompts {
 public:
  explicit RunPrompts(Prompts& prompts) { State().prompts = &prompts; }
  ~RunPrompts() { State().prompts = nullptr; }
  RunPrompts(const RunPrompts&) = delete;
  RunPrompts& operator=(const RunPrompts&) = delete;
};

DynamicLibrary& Library(const std::string& folder) {
  ModuleState& state = State();
  std::string path = folder + "/" + kLibraryFileName;
  if (!state.library || state.libraryPath != path) {
    state.library.reset();
    state.libraryPath.clear();
    state.library = DynamicLibrary::Open(path);
    state.libraryPath = path;
  }
  return *state.library;
}

void FillVersion(UnzipVersionInfo* version) {
  std::memset(version, 0, sizeof *version);
  version->Length = sizeof *version;
  std::memset(version->Release, ' ', sizeof version->Release - 1);
  std::memset(version->Date, ' ', sizeof version->Date - 1);
  std::memset(version->Backend, ' ', sizeof version->Backend - 1);
}

const char* TextOrNull(const std::string& text) {
  return text.empty() ? nullptr : text.c_str();
}

}  // namespace

ModuleState& State() {
  static ModuleState state;
  return state;
}

int32_t VBUnzip(Prompts& prompts, const std::string& libraryFolder, const std::string& sZipFileName,
                const std::string& sExtractDir, int16_t iExtractNewer, int16_t iSpaceToUnderScore,
                int16_t iPromptOverwrite, int16_t iMessageLevel, int16_t iWriteToStdOut,
                int16_t iTestZip, int16_t iExtractList, int16_t iExtractOnlyNewer,
                int16_t iDisplayComment, int16_t iHonorDirectories, int16_t iOverWriteFiles,
                int16_t iConvertCRtoCRLF, int16_t iVerbose, int16_t iCaseSensitive,
                int16_t iPrivilege) {
  ModuleState& state = State();
  state.sLastMessage.clear();
  state.iSkipPassword = 0;
  state.otherPassword.clear();
  state.otherPasswordMember.clear();
  state.totalSize = 0;
  try {
    // The record's order differs from the argument order.
    UnzipOptions options = {iExtractOnlyNewer,
                            iSpaceToUnderScore,
                            iPromptOverwrite,
                            iMessageLevel,
                            iWriteToStdOut,
                            iTestZip,
                            iExtractList,
                            iExtractNewer,
                            iDisplayComment,
                            iHonorDirectories,
                            iOverWriteFiles,
                            iConvertCRtoCRLF,
                            iVerbose,
                            iCaseSensitive,
                            iPrivilege,
                            TextOrNull(sZipFileName),
                            TextOrNull(sExtractDir)};
    UnzipCallbacks callbacks = {};
    callbacks.Print = UnzipPrint;
    callbacks.Replace = UnzipReplace;
    callbacks.Password = UnzipPassword;
    callbacks.ListEntry = UnzipListEntry;
    callbacks.Service = UnzipService;
    UnzipNameList include = {};
    UnzipNameList exclude = {};
    UnzipVersionInfo version;
    FillVersion(&version);

    DynamicLibrary& library = Library(libraryFolder);
    auto uzpVersion2 = reinterpret_cast<UzpVersion2Function>(library.Function("UzpVersion2"));
    auto singleEntryUnzip =
        reinterpret_cast<WizSingleEntryUnzipFunction>(library.Function("Wiz_SingleEntryUnzip"));
    uzpVersion2(&version);
    RunPrompts runPrompts(prompts);
    int32_t result = singleEntryUnzip(0, &include, 0, &exclude, &options, &callbacks);
    state.totalSize = callbacks.TotalSize;
    return result;
  } catch (const Error& error) {
    throw error.WithSource(kSource);
  }
}

int32_t UNZIP_API UnzipPrint(const char* text, int32_t length) {
  try {
    if (length <= 0) return 0;
    std::string piece = ReadText(text, std::min(static_cast<size_t>(length), kPrintLimit));
    if (!piece.empty() && piece[0] == '\n') piece = "\r\n";
    State().sLastMessage += piece;
  } catch (...) {
  }
  return 0;
}

int32_t UNZIP_API UnzipReplace(const char* name) {
  try {
    Prompts* prompts = State().prompts;
    if (prompts == nullptr) return kReplaceNo;
    MsgBoxResult answer =
        prompts->MsgBox("Overwrite " + ReadText(name, kNameLimit) + "?",
                        kYesNoCancel | kExclamation, "VBUnZip32 - File Already Exists!");
    if (answer == MsgBoxResult::kNo) return kReplaceNo;
    if (answer == MsgBoxResult::kCancel) return kReplaceNone;
    return kReplaceYes;
  } catch (...) {
    // A box that could not be shown answers as one closed with its default button, Yes.
    return kReplaceYes;
  }
}

int32_t UNZIP_API UnzipPassword(char* buffer, int32_t size, const char*, const char* name) {
  ModuleState& state = State();
  if (state.iSkipPassword == 1) return 1;
  std::string member;
  std::string answer;
  bool typed = false;
  try {
    member = ReadText(name, kNameLimit);
    if (!state.otherPassword.empty() && member == state.otherPasswordMember) {
      answer.swap(state.otherPassword);
    } else if (state.prompts != nullptr) {
      typed = true;
      answer = state.prompts->InputBox("Please Enter The Password!", "", "");
    }
  } catch (...) {
    answer.clear();
  }
  state.otherPassword.clear();
  if (answer.empty()) {
    state.iSkipPassword = 1;
    return 1;
  }
  // An archive made on Linux takes the bytes as typed, one made on Windows the ANSI code
  // page's: the typed bytes first, the other form at the next request for this member.
  std::string other = typed ? ArchivePassword::FromAnswer(answer) : answer;
  if (other != answer) {
    state.otherPassword = std::move(other);
    state.otherPasswordMember = member;
  }
  if (buffer != nullptr && size > 0) {
    std::memset(buffer, 0, static_cast<size_t>(std::min(size, kPasswordClearLimit)));
    size_t count = std::min(
        {answer.size(), static_cast<size_t>(size - 1), static_cast<size_t>(kPasswordLimit)});
    std::memcpy(buffer, answer.data(), count);
  }
  return 0;
}

void UNZIP_API UnzipListEntry(uint32_t size, uint32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                              int32_t, char flag, const char* name, const char*, uint32_t,
                              int32_t) {
  try {
    if (State().onListEntry) State().onListEntry(ReadText(name, kPrintLimit), size, flag);
  } catch (...) {
    // Nothing may reach the library; the listing goes on.
  }
}

int32_t UNZIP_API UnzipService(const char*, uint32_t) {
  try {
    if (State().beforeEachMember) State().beforeEachMember();
  } catch (...) {
    // Nothing may reach the library; the run goes on.
  }
  return 0;
}

}  // namespace qz::CGCodeModule
