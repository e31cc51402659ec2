#pragma once

#include <string>

#include "platform/DynamicLibrary.h"

namespace qz {

// DynamicLibrary over dlopen / dlsym.
class PosixDynamicLibrary : public DynamicLibrary {
 public:
  explicit PosixDynamicLibrary(const std::string& path);
  ~PosixDynamicLibrary() override;
  PosixDynamicLibrary(const PosixDynamicLibrary&) = delete;
  PosixDynamicLibrary& operator=(const PosixDynamicLibrary&) = delete;

  void* Function(const std::string& name) override;

 private:
  void* handle_;
};

}  // namespace qz
