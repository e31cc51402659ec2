#pragma once

#include "platform/InstanceGuard.h"

namespace qz::test {

class FakeInstanceGuard : public InstanceGuard {
 public:
  bool PreviousInstance() override { return running; }
  bool running = false;
};

}  // namespace qz::test
