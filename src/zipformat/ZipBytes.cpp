#include "zipformat/ZipBytes.h"

#include "platform/Error.h"

namespace qz {
namespace {

uint64_t Read(std::string_view bytes, size_t at, size_t width) {
  if (at > bytes.size() || bytes.size() - at < width) {
    throw Error(Error::kInternalError, "a zip record ends early", "ZipBytes");
  }
  uint64_t value = 0;
  for (size_t i = width; i-- > 0;) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  }
  return value;
}

void Write(std::string& bytes, size_t at, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

uint16_t ZipBytes::U16(std::string_view bytes, size_t at) {
  return static_cast<uint16_t>(Read(bytes, at, 2));
}
uint32_t ZipBytes::U32(std::string_view bytes, size_t at) {
  return static_cast<uint32_t>(Read(bytes, at, 4));
}
uint64_t ZipBytes::U64(std::string_view bytes, size_t at) {
  return Read(bytes, at, 8);
}

void ZipBytes::Put16(std::string& bytes, size_t at, uint16_t value) {
  Write(bytes, at, value, 2);
}
void ZipBytes::Put32(std::string& bytes, size_t at, uint32_t value) {
  Write(bytes, at, value, 4);
}
void ZipBytes::Put64(std::string& bytes, size_t at, uint64_t value) {
  Write(bytes, at, value, 8);
}
void ZipBytes::Append16(std::string& bytes, uint16_t value) {
  bytes.append(2, '\0');
  Put16(bytes, bytes.size() - 2, value);
}
void ZipBytes::Append32(std::string& bytes, uint32_t value) {
  bytes.append(4, '\0');
  Put32(bytes, bytes.size() - 4, value);
}
void ZipBytes::Append64(std::string& bytes, uint64_t value) {
  bytes.append(8, '\0');
  Put64(bytes, bytes.size() - 8, value);
}

}  // namespace qz
