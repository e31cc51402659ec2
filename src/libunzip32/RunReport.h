#pragma once

#include <cstdint>
#include <string>

#include "unzip32.h"

namespace qz::unzip32 {

// What a run tells its caller: printed lines through the print function and the result
// code, which keeps the most serious outcome met so far.
class RunReport {
 public:
  RunReport(const UnzipCallbacks* callbacks, int32_t messageLevel);

  void SetMessageLevel(int32_t messageLevel) { messageLevel_ = messageLevel; }

  // Prints `line` whatever the message level and raises the result to `code`.
  void Problem(int32_t code, const std::string& line);
  // Prints `line` only at message level 0 (every message).
  void Progress(const std::string& line);
  // Prints `line` at message levels 0 and 1.
  void Summary(const std::string& line);

  // Overrides any other outcome (invalid options, archive not found, cancelled); an
  // empty `line` prints nothing.
  void Final(int32_t code, const std::string& line);

  bool HasErrors() const;
  int32_t Result() const { return result_; }

 private:
  void Print(const std::string& line);

  const UnzipCallbacks* callbacks_;
  int32_t messageLevel_;
  int32_t result_ = kUnzipOk;
};

}  // namespace qz::unzip32
