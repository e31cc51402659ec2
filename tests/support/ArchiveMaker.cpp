#include "support/ArchiveMaker.h"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace qz::test {

std::string ArchiveMaker::WithSameCrc32(const std::string& bytes) {
  const auto crc = [](const std::string& text) {
    return static_cast<uint32_t>(libdeflate_crc32(0, text.data(), text.size()));
  };
  std::string forged = bytes;
  forged[0] = static_cast<char>(forged[0] ^ 1);
  const size_t tail = forged.size() - 4;
  std::fill(forged.begin() + static_cast<std::ptrdiff_t>(tail), forged.end(), '\0');
  const uint32_t base = crc(forged);
  // A CRC-32 is affine in the message's bits: each of the last 32 bits flips a fixed set of
  // the CRC's bits, and together they reach every value. Elimination over GF(2) finds which.
  uint32_t effects[32] = {};
  uint32_t choices[32] = {};
  for (unsigned bit = 0; bit < 32; ++bit) {
    std::string probe = forged;
    probe[tail + bit / 8] = static_cast<char>(probe[tail + bit / 8] ^ (1 << (bit % 8)));
    uint32_t effect = crc(probe) ^ base;
    uint32_t choice = 1u << bit;
    for (int top = 31; top >= 0 && effect != 0; --top) {
      if (((effect >> top) & 1) == 0) continue;
      if (effects[top] == 0) {
        effects[top] = effect;
        choices[top] = choice;
        break;
      }
      effect ^= effects[top];
      choice ^= choices[top];
    }
  }
  uint32_t wanted = crc(bytes) ^ base;
  uint32_t chosen = 0;
  for (int top = 31; top >= 0; --top) {
    if (((wanted >> top) & 1) == 0) continue;
    wanted ^= effects[top];
    chosen ^= choices[top];
  }
  for (unsigned bit = 0; bit < 32; ++bit) {
    if (((chosen >> bit) & 1) != 0) {
      forged[tail + bit / 8] = static_cast<char>(forged[tail + bit / 8] ^ (1 << (bit % 8)));
    }
  }
  return forged;
}

ArchiveMaker::ArchiveMaker(const std::string& path) {
  int error = 0;
  archive_ = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive_ == nullptr) throw std::runtime_error("cannot create " + path);
}

ArchiveMaker::~ArchiveMaker() {
  if (archive_ != nullptr) zip_discard(archive_);
}

ArchiveMaker& ArchiveMaker::Add(const std::string& name, const std::string& data,
                                const Options& options) {
  data_.push_back(data);
  zip_source_t* source = zip_source_buffer(archive_, data_.back().data(), data.size(), 0);
  zip_int64_t index = zip_file_add(archive_, name.c_str(), source, ZIP_FL_ENC_UTF_8);
  if (index < 0) throw std::runtime_error("cannot add " + name);
  auto entry = static_cast<zip_uint64_t>(index);
  if (options.stored) zip_set_file_compression(archive_, entry, ZIP_CM_STORE, 0);
  if (options.modified != 0) zip_file_set_mtime(archive_, entry, options.modified, 0);
  if (options.encryption != 0) {
    zip_file_set_encryption(archive_, entry, options.encryption, options.password.c_str());
  }
  if (options.unixMode != 0) {
    zip_file_set_external_attributes(archive_, entry, 0, ZIP_OPSYS_UNIX, options.unixMode << 16);
  }
  return *this;
}

ArchiveMaker& ArchiveMaker::AddFolder(const std::string& name) {
  if (zip_dir_add(archive_, name.c_str(), ZIP_FL_ENC_UTF_8) < 0) {
    throw std::runtime_error("cannot add folder " + name);
  }
  return *this;
}

void ArchiveMaker::Close() {
  if (zip_close(archive_) != 0) throw std::runtime_error(zip_strerror(archive_));
  archive_ = nullptr;
}

namespace {

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t Find(const std::string& bytes, const std::string& data) {
  size_t at = bytes.find(data);
  if (at == std::string::npos) throw std::runtime_error("bytes not found in the archive");
  return at;
}

}  // namespace

std::string ArchiveMaker::Incompressible(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (char& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

void DamageFile(const std::string& path, const std::string& data) {
  std::string bytes = ReadBytes(path);
  size_t at = Find(bytes, data);
  bytes[at] = static_cast<char>(bytes[at] ^ 0x5a);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void SetFirstMethod(const std::string& path, uint16_t method) {
  std::string bytes = ReadBytes(path);
  for (auto [signature, offset] : {std::pair<const char*, size_t>{"PK\3\4", 8}, {"PK\1\2", 10}}) {
    size_t at = Find(bytes, signature) + offset;
    bytes[at] = static_cast<char>(method & 0xff);
    bytes[at + 1] = static_cast<char>(method >> 8);
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void TruncateFile(const std::string& path, size_t size) {
  std::filesystem::resize_file(path, size);
}

}  // namespace qz::test
