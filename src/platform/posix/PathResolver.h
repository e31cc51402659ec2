#pragma once

#include <string>

namespace qz {

// Maps a name the program supplies onto what exists on disk, ignoring ASCII case, so
// "QzUFiles/Vq.Zip" finds "QzUFiles/VQ.Zip". Each component is looked up in the folder
// resolved so far: an exact match first, else the first case-insensitive match in sorted
// byte order. From the first component that matches nothing on, the rest stays as written,
// so a new file takes the name the program gave it.
class PathResolver {
 public:
  // The path with every existing component spelled as on disk. Separators, empty
  // components, "." and ".." are kept as written. Never fails; never throws.
  static std::string Resolve(const std::string& path);
};

}  // namespace qz
