#pragma once

#include <memory>
#include <string>

namespace qz {

// A shared library loaded at run time, unloaded when the object goes.
class DynamicLibrary {
 public:
  virtual ~DynamicLibrary() = default;

  // Loads the library file at `path`; qz::Error 48 "Error in loading DLL" when it is
  // missing or cannot be loaded.
  static std::unique_ptr<DynamicLibrary> Open(const std::string& path);

  // The address of the exported function `name`; qz::Error 453 "Specified DLL function
  // not found" when the library has none of that name.
  virtual void* Function(const std::string& name) = 0;
};

}  // namespace qz
