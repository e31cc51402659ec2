#include "releasetool/ReproducibleZip.h"

#include <zip.h>

#include <memory>
#include <string>

#include "platform/Error.h"

namespace qz {
namespace {

namespace fs = std::filesystem;

// 1 January 2000, 00:00, in MS-DOS form: a date without a time zone, so every machine
// writes the same bytes.
constexpr zip_uint16_t kDosDate = ((2000 - 1980) << 9) | (1 << 5) | 1;
constexpr zip_uint16_t kDosTime = 0;
constexpr zip_uint32_t kOrdinaryFile = 0100644;
constexpr zip_uint32_t kExecutableFile = 0100755;
constexpr zip_int32_t kBestCompression = 9;

std::string Shown(const fs::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

// A libzip source over a whole file, opened by its native (on Windows wide) name.
zip_source_t* FileSource(const fs::path& path, zip_error_t* error) {
#ifdef _WIN32
  return zip_source_win32w_create(path.c_str(), 0, -1, error);
#else
  return zip_source_file_create(path.c_str(), 0, -1, error);
#endif
}

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};

void AddMember(zip_t* archive, const PackMember& member) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = FileSource(member.source, &error);
  if (source == nullptr) {
    const std::string why = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw Error(Error::kPathFileAccess, "cannot read " + Shown(member.source) + ": " + why);
  }
  const zip_int64_t index = zip_file_add(archive, member.name.c_str(), source, ZIP_FL_ENC_UTF_8);
  if (index < 0) {
    zip_source_free(source);
    throw Error(Error::kPathFileAccess, "cannot add " + member.name + ": " + zip_strerror(archive));
  }
  const auto at = static_cast<zip_uint64_t>(index);
  if (zip_set_file_compression(archive, at, ZIP_CM_DEFLATE, kBestCompression) != 0 ||
      zip_file_set_dostime(archive, at, kDosTime, kDosDate, 0) != 0 ||
      zip_file_set_external_attributes(archive, at, 0, ZIP_OPSYS_UNIX,
                                       (member.executable ? kExecutableFile : kOrdinaryFile)
                                           << 16) != 0) {
    throw Error(Error::kInternalError,
                "cannot set up " + member.name + ": " + zip_strerror(archive));
  }
}

}  // namespace

void ReproducibleZip::Write(const fs::path& target, const std::vector<PackMember>& members) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* file = FileSource(target, &error);
  std::unique_ptr<zip_t, ArchiveCloser> archive(
      file == nullptr ? nullptr : zip_open_from_source(file, ZIP_CREATE | ZIP_TRUNCATE, &error));
  if (!archive) {
    if (file != nullptr) zip_source_free(file);
    const std::string why = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw Error(Error::kPathFileAccess, "cannot write " + Shown(target) + ": " + why);
  }
  for (const PackMember& member : members) AddMember(archive.get(), member);
  if (zip_close(archive.get()) != 0) {
    throw Error(Error::kPathFileAccess,
                "cannot write " + Shown(target) + ": " + zip_strerror(archive.get()));
  }
  archive.release();
}

}  // namespace qz
