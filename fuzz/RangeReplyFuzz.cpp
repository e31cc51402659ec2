// Feeds any bytes to the two readers of what a server's range replies hold: the zip
// directory found in an archive's tail, and a multipart/byteranges body. The first byte
// chooses the reader. The directory's members must lie where its records say, within the
// file; the multipart reader must deliver only bytes of the ranges its parts name, and the
// same outcome whether the body arrives whole or in small pieces. Read as the answer to a
// request for three ranges, the parts the updater holds must stay within those ranges,
// each byte once: a reply can make it hold no more than it asked for.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"
#include "platform/MultipartByteRanges.h"
#include "platform/RangeReceiver.h"
#include "platform/RangeReplyFilter.h"
#include "platform/RangeSink.h"
#include "zipformat/CentralDirectory.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void ReadDirectory(std::string_view tail) {
  // The tail may be the end of a longer file; how much longer comes from the input too.
  const uint64_t before = tail.empty() ? 0 : static_cast<uint8_t>(tail.front()) * 4093u;
  const uint64_t length = before + tail.size();
  try {
    const qz::CentralDirectory::Location location =
        qz::CentralDirectory::Locate(tail, before, length);
    Check(location.offset + location.size <= location.end && location.end <= length);
    if (location.offset < before) return;
    const std::string_view directory = tail.substr(location.offset - before, location.size);
    const std::vector<qz::ZipMember> members = qz::CentralDirectory::Members(directory, location);
    Check(members.size() == location.entries);
    for (const qz::ZipMember& member : members) {
      Check(member.localHeaderOffset < location.offset);
      if (member.localHeaderOffset < before) continue;
      const uint64_t entry =
          qz::CentralDirectory::EntryLength(tail.substr(member.localHeaderOffset - before), member);
      Check(member.localHeaderOffset + entry <= length);
    }
  } catch (const qz::Error&) {
  }
}

// Keeps what the reader delivers and checks it against the part being delivered.
class Parts : public qz::RangeReceiver {
 public:
  bool OnPart(const qz::ByteRange& part) override {
    Check(part.first <= part.last);
    part_ = part;
    next_ = part.first;
    received_ += "|" + std::to_string(part.first) + "-" + std::to_string(part.last) + ":";
    return true;
  }
  bool OnBytes(uint64_t offset, const char* data, size_t size) override {
    Check(offset == next_ && size > 0 && offset + size - 1 <= part_.last);
    next_ += size;
    received_.append(data, size);
    return true;
  }
  const std::string& Received() const { return received_; }

 private:
  qz::ByteRange part_;
  uint64_t next_ = 0;
  std::string received_;
};

// The reader's state and what it delivered, the body fed in pieces of `piece` bytes.
std::string ReadMultipart(std::string_view body, size_t piece) {
  Parts parts;
  qz::MultipartByteRanges reader("QZ", parts);
  for (size_t at = 0; at < body.size(); at += piece) {
    if (!reader.Feed(body.data() + at, std::min(piece, body.size() - at))) break;
  }
  Check(reader.Delivered() <= body.size());
  return std::to_string(static_cast<int>(reader.Current())) + parts.Received();
}

// Counts what a reply makes the updater hold.
class HeldParts : public qz::RangeSink {
 public:
  bool OnPart(const qz::ByteRange& part) override {
    Check(part.first <= part.last);
    return true;
  }
  bool OnBytes(uint64_t, const char*, size_t size) override {
    held_ += size;
    return true;
  }
  void OnReplyEnd(bool) override {}
  uint64_t Held() const { return held_; }

 private:
  uint64_t held_ = 0;
};

void HoldWhatWasAsked(std::string_view body) {
  const std::vector<qz::ByteRange> asked{{0, 99}, {200, 299}, {1000, 1999}};
  const std::map<uint64_t, uint64_t> arrived{{250, 259}};
  HeldParts held;
  qz::RangeReplyFilter filter(asked, arrived, held);
  qz::MultipartByteRanges reader("QZ", filter);
  reader.Feed(body.data(), body.size());
  Check(held.Held() <= 1200 - 10);
  Check(filter.Delivered().size() <= 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] % 2 == 0) {
    ReadDirectory(input);
  } else {
    Check(ReadMultipart(input, input.size() + 1) == ReadMultipart(input, 1 + data[0] % 7));
    HoldWhatWasAsked(input);
  }
  return 0;
}
