#pragma once

#include <curl/curl.h>

namespace qz {

// The libcurl functions that downloads use, from libcurl loaded when the first download
// starts. Linked with the program, libcurl and the 26 libraries it needs cost every start
// about 16 ms of CPU time before the first window (bench/startup_bench.sh). Once loaded,
// libcurl stays for the whole process: its global initialisation happens exactly once.
class CurlLibrary {
 public:
  CurlLibrary() = default;
  ~CurlLibrary();
  CurlLibrary(const CurlLibrary&) = delete;
  CurlLibrary& operator=(const CurlLibrary&) = delete;

  // Loads and initialises libcurl unless done already; CURLE_FAILED_INIT when it is
  // missing or lacks a function, else what its global initialisation returned. The
  // functions below may be called only after a result of CURLE_OK.
  CURLcode Load();

  decltype(&curl_easy_init) easyInit = nullptr;
  decltype(&curl_easy_setopt) easySetopt = nullptr;
  decltype(&curl_easy_perform) easyPerform = nullptr;
  decltype(&curl_easy_getinfo) easyGetinfo = nullptr;
  decltype(&curl_easy_header) easyHeader = nullptr;
  decltype(&curl_easy_cleanup) easyCleanup = nullptr;
  decltype(&curl_easy_reset) easyReset = nullptr;
  decltype(&curl_slist_append) slistAppend = nullptr;
  decltype(&curl_slist_free_all) slistFreeAll = nullptr;

 private:
  bool Resolve();

  void* handle_ = nullptr;
  CURLcode loaded_ = CURLE_FAILED_INIT;
};

}  // namespace qz
