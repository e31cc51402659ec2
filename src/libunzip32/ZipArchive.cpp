#include "libunzip32/ZipArchive.h"

#include <sys/stat.h>
#include <zip.h>

#include "libunzip32/ZipError.h"

namespace qz::unzip32 {
namespace {

constexpr uint32_t kDosFolderAttribute = 0x10;

ZipArchive::Kind KindOf(const std::string& name, uint8_t system, uint32_t attributes,
                        mode_t* permissions) {
  bool folderName = !name.empty() && (name.back() == '/' || name.back() == '\\');
  if (system == ZIP_OPSYS_UNIX) {
    mode_t mode = attributes >> 16;
    *permissions = mode & 0777;
    switch (mode & S_IFMT) {
      case S_IFLNK:
        return ZipArchive::Kind::kLink;
      case S_IFDIR:
        return ZipArchive::Kind::kFolder;
      case S_IFREG:
      case 0:
      // A member that "zip -" read from a pipe carries the pipe's type; its data is an
      // ordinary file's, as the unzip command writes it.
      case S_IFIFO:
        break;
      default:
        return ZipArchive::Kind::kSpecial;
    }
  } else if (attributes & kDosFolderAttribute) {
    return ZipArchive::Kind::kFolder;
  }
  return folderName ? ZipArchive::Kind::kFolder : ZipArchive::Kind::kFile;
}

}  // namespace

ZipArchive::ZipArchive(const std::string& path) {
  int error = ZIP_ER_OK;
  archive_ = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (archive_ == nullptr) {
    zip_error_t details;
    zip_error_init_with_code(&details, error);
    ZipError failure(error, zip_error_strerror(&details));
    zip_error_fini(&details);
    throw failure;
  }
}

ZipArchive::~ZipArchive() {
  zip_discard(archive_);
}

uint64_t ZipArchive::Count() const {
  zip_int64_t count = zip_get_num_entries(archive_, 0);
  return count < 0 ? 0 : static_cast<uint64_t>(count);
}

ZipArchive::Member ZipArchive::Stat(uint64_t index) const {
  zip_stat_t info;
  if (zip_stat_index(archive_, index, 0, &info) != 0) {
    zip_error_t* error = zip_get_error(archive_);
    throw ZipError(zip_error_code_zip(error), zip_error_strerror(error));
  }
  Member member;
  member.index = index;
  member.name = (info.valid & ZIP_STAT_NAME) ? info.name : "";
  member.size = info.size;
  member.compressedSize = info.comp_size;
  member.crc = info.crc;
  member.modified = info.mtime;
  member.method = info.comp_method;
  member.encryption = info.encryption_method;
  uint8_t system = 0;
  uint32_t attributes = 0;
  zip_file_get_external_attributes(archive_, index, 0, &system, &attributes);
  member.kind = KindOf(member.name, system, attributes, &member.permissions);
  return member;
}

uint32_t ZipArchive::CommentLength() const {
  int length = 0;
  zip_get_archive_comment(archive_, &length, ZIP_FL_ENC_RAW);
  return static_cast<uint32_t>(length);
}

const char* ZipArchive::MethodName(uint16_t method) {
  switch (method) {
    case ZIP_CM_STORE:
      return "Stored";
    case ZIP_CM_DEFLATE:
      return "Deflated";
    case ZIP_CM_DEFLATE64:
      return "Deflat64";
    case ZIP_CM_BZIP2:
      return "BZip2";
    case ZIP_CM_LZMA:
      return "LZMA";
    case ZIP_CM_XZ:
      return "XZ";
    default:
      return "Unknown";
  }
}

}  // namespace qz::unzip32
