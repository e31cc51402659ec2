#pragma once

#include "platform/win32/WindowsApi.h"

#include <map>
#include <string>
#include <tuple>

#include "platform/ControlFont.h"

namespace qz {

// The real fonts of the controls' font descriptions, made once per description and kept
// until the cache goes. Point sizes are turned into pixels at the screen's resolution, so
// text grows with the dialogs on a screen of more than 96 dots an inch. Faces that this
// system lacks are replaced by the system's font mapper; the description keeps its name.
class Win32FontCache {
 public:
  explicit Win32FontCache(int dotsPerInch) : dotsPerInch_(dotsPerInch) {}
  ~Win32FontCache();
  Win32FontCache(const Win32FontCache&) = delete;
  Win32FontCache& operator=(const Win32FontCache&) = delete;

  // The font for `font`; the system's dialog font if none can be made. Owned by the cache.
  HFONT Get(const ControlFont& font);
  int DotsPerInch() const { return dotsPerInch_; }

 private:
  using Key = std::tuple<std::string, double, bool, bool, bool, bool>;

  int dotsPerInch_;
  std::map<Key, HFONT> fonts_;
};

}  // namespace qz
