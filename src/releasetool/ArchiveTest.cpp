#include "releasetool/ArchiveTest.h"

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "releasetool/NoPrompts.h"
#include "unzip/CGUnzipFiles.h"

namespace qz {

void ArchiveTest::Run(FileSystem& files, const std::string& archive, const std::string& scratch) {
  NoPrompts prompts;
  CGUnzipFiles unzip(prompts, files.ExecutableFolder());
  unzip.SetHonorDirectories(false);
  unzip.SetTestZip(true);
  int32_t result = 0;
  try {
    result = unzip.Unzip(archive, scratch);
  } catch (const Error& error) {
    throw Error(error.Number(),
                "cannot test VQ.Zip with the extraction library beside this program: " +
                    error.Description());
  }
  if (result != 0) {
    throw Error(result, "the extraction library's test of VQ.Zip failed (" +
                            std::to_string(result) + "):\n" + unzip.GetLastMessage());
  }
}

}  // namespace qz
