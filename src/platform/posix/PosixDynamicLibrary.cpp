#include "platform/posix/PosixDynamicLibrary.h"

#include <dlfcn.h>

#include "platform/Error.h"

namespace qz {

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& path) {
  return std::make_unique<PosixDynamicLibrary>(path);
}

PosixDynamicLibrary::PosixDynamicLibrary(const std::string& path)
    : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (handle_ == nullptr) throw Error::Standard(Error::kDllLoad);
}

PosixDynamicLibrary::~PosixDynamicLibrary() {
  dlclose(handle_);
}

void* PosixDynamicLibrary::Function(const std::string& name) {
  void* address = dlsym(handle_, name.c_str());
  if (address == nullptr) throw Error::Standard(Error::kDllFunctionNotFound);
  return address;
}

}  // namespace qz
