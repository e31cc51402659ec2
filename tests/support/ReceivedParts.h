#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "platform/RangeReceiver.h"

namespace qz::test {

// Keeps each part's bytes under its first byte, checking they arrive in sequence.
class ReceivedParts : public RangeReceiver {
 public:
  bool OnPart(const ByteRange& part) override {
    current = part;
    parts[part.first];
    return true;
  }
  bool OnBytes(uint64_t offset, const char* data, size_t size) override {
    std::string& bytes = parts[current.first];
    EXPECT_EQ(offset, current.first + bytes.size());
    bytes.append(data, size);
    return true;
  }
  ByteRange current;
  std::map<uint64_t, std::string> parts;
};

}  // namespace qz::test
