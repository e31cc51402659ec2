#pragma once

#include <cstdint>
#include <string>

namespace qz {

class Prompts;

// The options of one extraction (archive, folder and fifteen switches of the extraction
// library) and the call that runs it through CGCodeModule::VBUnzip. Boolean switches are
// kept as 16-bit 1 or 0; MessageLevel, ExtractList and Privilege are kept as set and
// narrowed to 16 bits only by Unzip. All instances share the driver's last message.
class CGUnzipFiles {
 public:
  // `prompts` answers the library's questions during Unzip; the library is loaded from
  // `libraryFolder`, the folder of the updater's executable.
  CGUnzipFiles(Prompts& prompts, std::string libraryFolder);

  bool ExtractNewer() const { return iExtractNewer_ == 1; }
  void SetExtractNewer(bool bExtractNewer) { iExtractNewer_ = bExtractNewer ? 1 : 0; }
  bool SpaceToUnderScore() const { return iSpaceToUnderScore_ == 1; }
  void SetSpaceToUnderScore(bool bConvert) { iSpaceToUnderScore_ = bConvert ? 1 : 0; }
  bool PromptOverwrite() const { return iPromptOverwrite_ == 1; }
  void SetPromptOverwrite(bool bPrompt) { iPromptOverwrite_ = bPrompt ? 1 : 0; }
  int32_t MessageLevel() const { return iMessageLevel_; }
  void SetMessageLevel(int32_t iLevel) { iMessageLevel_ = iLevel; }
  bool WriteToStdOut() const { return iWriteToStdOut_ == 1; }
  void SetWriteToStdOut(bool bWrite) { iWriteToStdOut_ = bWrite ? 1 : 0; }
  bool TestZip() const { return iTestZip_ == 1; }
  void SetTestZip(bool bTest) { iTestZip_ = bTest ? 1 : 0; }
  int32_t ExtractList() const { return iExtractList_; }
  void SetExtractList(int32_t zExType) { iExtractList_ = zExType; }
  bool ExtractOnlyNewer() const { return iExtractOnlyNewer_ == 1; }
  void SetExtractOnlyNewer(bool bOnlyNewer) { iExtractOnlyNewer_ = bOnlyNewer ? 1 : 0; }
  bool DisplayComment() const { return iDisplayComment_ == 1; }
  void SetDisplayComment(bool bDisplay) { iDisplayComment_ = bDisplay ? 1 : 0; }
  bool HonorDirectories() const { return iHonorDirectories_ == 1; }
  void SetHonorDirectories(bool bHonor) { iHonorDirectories_ = bHonor ? 1 : 0; }
  bool OverWriteFiles() const { return iOverWriteFiles_ == 1; }
  void SetOverWriteFiles(bool bOverWrite) { iOverWriteFiles_ = bOverWrite ? 1 : 0; }
  bool ConvertCRtoCRLF() const { return iConvertCRtoCRLF_ == 1; }
  void SetConvertCRtoCRLF(bool bConvert) { iConvertCRtoCRLF_ = bConvert ? 1 : 0; }
  bool Verbose() const { return iVerbose_ == 1; }
  void SetVerbose(bool bVerbose) { iVerbose_ = bVerbose ? 1 : 0; }
  bool CaseSensitive() const { return iCaseSensitive_ == 1; }
  void SetCaseSensitive(bool bCaseSensitive) { iCaseSensitive_ = bCaseSensitive ? 1 : 0; }
  int32_t Privilege() const { return iPrivilege_; }
  void SetPrivilege(int32_t zPriv) { iPrivilege_ = zPriv; }
  std::string ZipFileName() const { return sZipFileName_; }
  void SetZipFileName(const std::string& sZipFileName) { sZipFileName_ = sZipFileName; }
  std::string ExtractDir() const { return sExtractDir_; }
  void SetExtractDir(const std::string& sExtractDir) { sExtractDir_ = sExtractDir; }

  // Runs the extraction; a non-empty argument first replaces the stored archive name or
  // folder for good. Returns the library's result code (0 success). Throws qz::Error
  // with source "CGUnZipFiles::Unzip": 6 "Overflow" when MessageLevel, ExtractList or
  // Privilege does not fit 16 bits, and every error of the driver, number and
  // description kept.
  int32_t Unzip(const std::string& sZipFileName, const std::string& sExtractDir);

  // Everything the library printed during the most recent run of any instance.
  std::string GetLastMessage() const;

  // The uncompressed size of the members of the most recent run of any instance (at most
  // 4 GiB - 1), so that a caller can make sure they fit before writing them.
  uint32_t GetTotalSize() const;

 private:
  void Class_Initialize();

  Prompts& prompts_;
  std::string libraryFolder_;
  int16_t iExtractNewer_;
  int16_t iSpaceToUnderScore_;
  int16_t iPromptOverwrite_;
  int32_t iMessageLevel_;
  int16_t iWriteToStdOut_;
  int16_t iTestZip_;
  int32_t iExtractList_;
  int16_t iExtractOnlyNewer_;
  int16_t iDisplayComment_;
  int16_t iHonorDirectories_;
  int16_t iOverWriteFiles_;
  int16_t iConvertCRtoCRLF_;
  int16_t iVerbose_;
  int16_t iCaseSensitive_;
  int32_t iPrivilege_;
  std::string sZipFileName_;
  std::string sExtractDir_;
};

}  // namespace qz
