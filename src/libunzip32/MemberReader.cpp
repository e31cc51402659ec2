#include "libunzip32/MemberReader.h"

#include <zip.h>

#include "libunzip32/ZipArchive.h"
#include "libunzip32/ZipError.h"

namespace qz::unzip32 {
namespace {

[[noreturn]] void Fail(zip_error_t* error) {
  throw ZipError(zip_error_code_zip(error), zip_error_strerror(error));
}

}  // namespace

MemberReader::MemberReader(const ZipArchive& archive, uint64_t index, uint64_t size,
                           const char* password)
    : expected_(size) {
  file_ = zip_fopen_index_encrypted(archive.Handle(), index, 0, password);
  if (file_ == nullptr) Fail(zip_get_error(archive.Handle()));
}

MemberReader::~MemberReader() {
  zip_fclose(file_);
}

size_t MemberReader::Read(char* buffer, size_t capacity) {
  zip_int64_t count = zip_fread(file_, buffer, capacity);
  if (count < 0) Fail(zip_file_get_error(file_));
  total_ += static_cast<uint64_t>(count);
  // A member longer or shorter than its directory entry says is damaged even if its CRC fits.
  if (total_ > expected_ || (count == 0 && total_ != expected_)) {
    throw ZipError(ZIP_ER_INCONS, "Size differs from the archive's directory");
  }
  return static_cast<size_t>(count);
}

}  // namespace qz::unzip32
