#pragma once

#include <string>
#include <vector>

#include "forms/Control.h"

namespace qz {

// The design-time layout of a dialog: its caption and its controls in design order.
struct FormDesign {
  std::string caption;
  std::vector<ControlDesign> controls;
};

}  // namespace qz
