#include "libunzip32/EntrySpans.h"

#include <algorithm>
#include <fstream>

namespace qz::unzip32 {
namespace {

constexpr uint64_t kLocalHeaderSize = 30;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kMaxCommentSize = 65535;
constexpr size_t kDirectoryRecordSize = 46;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kDirectorySignature = 0x02014b50;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint32_t kUnset32 = 0xFFFFFFFF;

uint64_t Le(const std::string& bytes, size_t at, int width) {
  uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
  }
  return value;
}

bool ReadAt(std::ifstream& in, uint64_t offset, size_t size, std::string* bytes) {
  bytes->assign(size, '\0');
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(bytes->data(), static_cast<std::streamsize>(size));
  return static_cast<size_t>(in.gcount()) == size;
}

struct Directory {
  uint64_t offset = 0;
  uint64_t size = 0;
  uint64_t count = 0;
};

std::optional<Directory> FindDirectory(std::ifstream& in, uint64_t fileSize) {
  size_t tailSize =
      static_cast<size_t>(std::min<uint64_t>(fileSize, kEndRecordSize + kMaxCommentSize));
  std::string tail;
  if (tailSize < kEndRecordSize || !ReadAt(in, fileSize - tailSize, tailSize, &tail)) return {};
  for (size_t at = tailSize - kEndRecordSize + 1; at-- > 0;) {
    if (Le(tail, at, 4) != kEndSignature) continue;
    Directory directory{Le(tail, at + 16, 4), Le(tail, at + 12, 4), Le(tail, at + 10, 2)};
    uint64_t endOffset = fileSize - tailSize + at;
    std::string locator;
    if (endOffset >= 20 && ReadAt(in, endOffset - 20, 20, &locator) &&
        Le(locator, 0, 4) == kZip64LocatorSignature) {
      std::string end64;
      if (!ReadAt(in, Le(locator, 8, 8), 56, &end64) || Le(end64, 0, 4) != kZip64EndSignature) {
        return {};
      }
      directory = {Le(end64, 48, 8), Le(end64, 40, 8), Le(end64, 32, 8)};
    }
    return directory;
  }
  return {};
}

// The zip64 extra field holds, in this order, only the values that are unset above.
void ApplyZip64(const std::string& extra, uint64_t* size, uint64_t* compressed, uint64_t* offset) {
  for (size_t at = 0; at + 4 <= extra.size();) {
    uint64_t id = Le(extra, at, 2);
    size_t length = static_cast<size_t>(Le(extra, at + 2, 2));
    size_t end = std::min(extra.size(), at + 4 + length);
    if (id == kZip64ExtraId) {
      size_t field = at + 4;
      for (uint64_t* value : {size, compressed, offset}) {
        if (*value != kUnset32) continue;
        if (field + 8 > end) return;
        *value = Le(extra, field, 8);
        field += 8;
      }
      return;
    }
    at = end;
  }
}

}  // namespace

std::vector<EntrySpans::Span> EntrySpans::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  in.seekg(0, std::ios::end);
  auto fileSize = static_cast<uint64_t>(in.tellg());
  std::optional<Directory> directory = FindDirectory(in, fileSize);
  std::string records;
  if (!directory || directory->size > fileSize ||
      !ReadAt(in, directory->offset, static_cast<size_t>(directory->size), &records)) {
    return {};
  }
  std::vector<Span> spans;
  for (size_t at = 0; spans.size() < directory->count;) {
    if (at + kDirectoryRecordSize > records.size() || Le(records, at, 4) != kDirectorySignature) {
      return {};
    }
    size_t nameLength = static_cast<size_t>(Le(records, at + 28, 2));
    size_t extraLength = static_cast<size_t>(Le(records, at + 30, 2));
    size_t commentLength = static_cast<size_t>(Le(records, at + 32, 2));
    size_t next = at + kDirectoryRecordSize + nameLength + extraLength + commentLength;
    if (next > records.size()) return {};
    uint64_t size = Le(records, at + 24, 4);
    Span span{spans.size(), Le(records, at + 42, 4), Le(records, at + 20, 4)};
    ApplyZip64(records.substr(at + kDirectoryRecordSize + nameLength, extraLength), &size,
               &span.compressedSize, &span.offset);
    spans.push_back(span);
    at = next;
  }
  return spans;
}

std::optional<std::pair<uint64_t, uint64_t>> EntrySpans::FirstOverlap(std::vector<Span> spans) {
  std::sort(spans.begin(), spans.end(),
            [](const Span& a, const Span& b) { return a.offset < b.offset; });
  for (size_t i = 1; i < spans.size(); ++i) {
    const Span& before = spans[i - 1];
    uint64_t gap = spans[i].offset - before.offset;
    if (gap < kLocalHeaderSize || gap - kLocalHeaderSize < before.compressedSize) {
      return std::make_pair(std::min(before.index, spans[i].index),
                            std::max(before.index, spans[i].index));
    }
  }
  return std::nullopt;
}

}  // namespace qz::unzip32
