#pragma once

#include "platform/Prompts.h"

namespace qz {

// Prompts for a console tool that never asks: every question is declined. The archives it
// tests are its own and hold no passwords or files to replace.
class NoPrompts : public Prompts {
 public:
  MsgBoxResult MsgBox(const std::string&, int, const std::string&) override {
    return MsgBoxResult::kNo;
  }
  std::string InputBox(const std::string&, const std::string&, const std::string&) override {
    return {};
  }
  void DoEvents() override {}
  void SetBusyPointer(bool) override {}
};

}  // namespace qz
