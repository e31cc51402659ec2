#include "platform/posix/CurlLibrary.h"

#include <dlfcn.h>

namespace qz {
namespace {

// The run-time name of the libcurl ABI the headers describe.
constexpr const char* kLibraryName = "libcurl.so.4";

template <typename Function>
bool Find(void* handle, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
  return function != nullptr;
}

}  // namespace

CurlLibrary::~CurlLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

CURLcode CurlLibrary::Load() {
  if (handle_ != nullptr) return loaded_;
  // Never unloaded, so its global state outlives every object that loads it.
  handle_ = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle_ == nullptr) return CURLE_FAILED_INIT;
  decltype(&curl_global_init) globalInit = nullptr;
  if (!Resolve() || !Find(handle_, "curl_global_init", globalInit)) return CURLE_FAILED_INIT;
  // Once per process, and never concurrently with a transfer: a function-local static does
  // exactly that, safely across threads; it is never cleaned up as transfers may run until
  // the process ends.
  static const CURLcode initialised = globalInit(CURL_GLOBAL_DEFAULT);
  loaded_ = initialised;
  return loaded_;
}

bool CurlLibrary::Resolve() {
  return Find(handle_, "curl_easy_init", easyInit) &&
         Find(handle_, "curl_easy_setopt", easySetopt) &&
         Find(handle_, "curl_easy_perform", easyPerform) &&
         Find(handle_, "curl_easy_getinfo", easyGetinfo) &&
         Find(handle_, "curl_easy_header", easyHeader) &&
         Find(handle_, "curl_easy_cleanup", easyCleanup) &&
         Find(handle_, "curl_easy_reset", easyReset) &&
         Find(handle_, "curl_slist_append", slistAppend) &&
         Find(handle_, "curl_slist_free_all", slistFreeAll);
}

}  // namespace qz
