#include "unzip/CGUnzipFiles.h"

#include <limits>
#include <utility>

#include "platform/Error.h"
#include "unzip/CGCodeModule.h"

namespace qz {
namespace {

constexpr char kSource[] = "CGUnZipFiles::Unzip";

int16_t Narrow(int32_t value) {
  if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max()) {
    throw Error::Standard(Error::kOverflow);
  }
  return static_cast<int16_t>(value);
}

}  // namespace

CGUnzipFiles::CGUnzipFiles(Prompts& prompts, std::string libraryFolder)
    : prompts_(prompts), libraryFolder_(std::move(libraryFolder)) {
  Class_Initialize();
}

void CGUnzipFiles::Class_Initialize() {
  iMessageLevel_ = 2;
  iExtractNewer_ = iSpaceToUnderScore_ = iPromptOverwrite_ = iWriteToStdOut_ = iTestZip_ = 0;
  iExtractOnlyNewer_ = iDisplayComment_ = iConvertCRtoCRLF_ = iVerbose_ = 0;
  iExtractList_ = 0;
  iHonorDirectories_ = iOverWriteFiles_ = iCaseSensitive_ = 1;
  iPrivilege_ = 0;
}

int32_t CGUnzipFiles::Unzip(const std::string& sZipFileName, const std::string& sExtractDir) {
  try {
    if (!sZipFileName.empty()) sZipFileName_ = sZipFileName;
    if (!sExtractDir.empty()) sExtractDir_ = sExtractDir;
    int16_t privilege = Narrow(iPrivilege_);
    int16_t extractList = Narrow(iExtractList_);
    int16_t messageLevel = Narrow(iMessageLevel_);
    return CGCodeModule::VBUnzip(
        prompts_, libraryFolder_, sZipFileName_, sExtractDir_, iExtractNewer_, iSpaceToUnderScore_,
        iPromptOverwrite_, messageLevel, iWriteToStdOut_, iTestZip_, extractList,
        iExtractOnlyNewer_, iDisplayComment_, iHonorDirectories_, iOverWriteFiles_,
        iConvertCRtoCRLF_, iVerbose_, iCaseSensitive_, privilege);
  } catch (const Error& error) {
    throw error.WithSource(kSource);
  }
}

std::string CGUnzipFiles::GetLastMessage() const {
  return CGCodeModule::State().sLastMessage;
}

uint32_t CGUnzipFiles::GetTotalSize() const {
  return CGCodeModule::State().totalSize;
}

}  // namespace qz
