#pragma once

#include <string>

namespace qz::test {

// Runs the holder program (Holder.cpp) as a second process: it takes hold of a file or
// of the instance mark and keeps it until this object goes or Release is called.
class HolderProcess {
 public:
  // Starts `holder <what> <argument>` and waits for its report line.
  HolderProcess(const std::string& what, const std::string& argument);
  ~HolderProcess();
  HolderProcess(const HolderProcess&) = delete;
  HolderProcess& operator=(const HolderProcess&) = delete;

  // "holding", "previous", "failed", or "" when the holder ended without a word.
  const std::string& Reported() const { return reported_; }
  // Lets the holder go and waits until it has ended.
  void Release();
  // Ends the holder at once, as a crash would, and waits until it has ended.
  void Kill();

 private:
  // Handles of the holder process and of the pipe to its standard input.
  void* process_ = nullptr;
  void* toHolder_ = nullptr;
  std::string reported_;
};

}  // namespace qz::test
