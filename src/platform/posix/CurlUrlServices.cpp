#include "platform/posix/CurlUrlServices.h"

#include <curl/curl.h>

#include <memory>

#include "platform/TransferObserver.h"
#include "platform/UpdaterVersionInfo.h"
#include "platform/posix/PathResolver.h"
#include "platform/posix/ReplacementFile.h"

namespace qz {
namespace {

constexpr long kConnectTimeoutSeconds = 30;
constexpr long kLowSpeedBytesPerSecond = 1;
constexpr long kLowSpeedSeconds = 60;
constexpr long kMaxRedirects = 10;
constexpr long kFirstFailingStatus = 300;
constexpr int32_t kLocalFailureBase = 1000;

using Transfer = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

// libcurl must be initialised once before any transfer and never concurrently with one.
// A function-local static does exactly that, safely across threads, without a global of
// our own; it is never cleaned up because transfers may run until the process ends.
CURLcode InitialiseCurlOnce() {
  static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
  return result;
}

int32_t LocalFailure(int error) {
  return -(kLocalFailureBase + error);
}

struct BodySink {
  ReplacementFile& file;
  TransferObserver* observer;
  CURL* curl = nullptr;
  uint64_t received = 0;
  int error = 0;
  bool aborted = false;
};

int64_t DeclaredLength(CURL* curl) {
  curl_off_t length = -1;
  if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) return -1;
  return length;
}

size_t WriteBody(char* data, size_t size, size_t count, void* context) {
  auto* sink = static_cast<BodySink*>(context);
  const size_t bytes = size * count;
  sink->error = sink->file.Write(data, bytes);
  if (sink->error != 0) return 0;
  sink->received += bytes;
  if (sink->observer != nullptr &&
      !sink->observer->OnData(data, bytes, sink->received, DeclaredLength(sink->curl))) {
    sink->aborted = true;
    return 0;
  }
  return bytes;
}

// libcurl calls this many times a second while data flows and about once a second while
// it waits for the server.
int Tick(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* sink = static_cast<BodySink*>(context);
  if (sink->observer == nullptr || sink->observer->OnTick()) return 0;
  sink->aborted = true;
  return 1;
}

HeaderList NoCacheHeaders() {
  HeaderList headers(curl_slist_append(nullptr, "Cache-Control: no-cache"), curl_slist_free_all);
  if (!headers) return headers;
  if (curl_slist_append(headers.get(), "Pragma: no-cache") == nullptr) headers.reset();
  return headers;
}

std::string UserAgent() {
  UpdaterVersionInfo version = UpdaterVersionInfo::Current();
  return "QzUpdate/" + std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
         std::to_string(version.revision);
}

CURLcode Configure(CURL* curl, const std::string& url, curl_slist* headers,
                   const std::string& userAgent, BodySink& sink) {
  CURLcode result = CURLE_OK;
  auto set = [&](CURLoption option, auto value) {
    if (result == CURLE_OK) result = curl_easy_setopt(curl, option, value);
  };
  set(CURLOPT_URL, url.c_str());
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  set(CURLOPT_FOLLOWLOCATION, 1L);
  set(CURLOPT_MAXREDIRS, kMaxRedirects);
  set(CURLOPT_SSL_VERIFYPEER, 1L);
  set(CURLOPT_SSL_VERIFYHOST, 2L);
  set(CURLOPT_HTTPHEADER, headers);
  set(CURLOPT_USERAGENT, userAgent.c_str());
  set(CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  set(CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond);
  set(CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_WRITEFUNCTION, WriteBody);
  set(CURLOPT_WRITEDATA, static_cast<void*>(&sink));
  set(CURLOPT_XFERINFOFUNCTION, Tick);
  set(CURLOPT_XFERINFODATA, static_cast<void*>(&sink));
  set(CURLOPT_NOPROGRESS, sink.observer == nullptr ? 1L : 0L);
  return result;
}

}  // namespace

void CurlUrlServices::DeleteCacheEntry(const std::string&) {}

int32_t CurlUrlServices::DownloadToFile(const std::string& url, const std::string& path,
                                        TransferObserver* observer) {
  if (CURLcode init = InitialiseCurlOnce(); init != CURLE_OK) return -static_cast<int32_t>(init);
  ReplacementFile file(PathResolver::Resolve(path), 0666);
  if (int error = file.Open()) return LocalFailure(error);

  Transfer curl(curl_easy_init(), curl_easy_cleanup);
  HeaderList headers = NoCacheHeaders();
  if (!curl || !headers) return -static_cast<int32_t>(CURLE_OUT_OF_MEMORY);
  BodySink sink{file, observer, curl.get()};
  std::string userAgent = UserAgent();
  CURLcode result = Configure(curl.get(), url, headers.get(), userAgent, sink);
  if (result == CURLE_OK) result = curl_easy_perform(curl.get());
  if (sink.error != 0) return LocalFailure(sink.error);
  if (sink.aborted) return kAborted;
  if (result != CURLE_OK) return -static_cast<int32_t>(result);

  long status = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  if (status >= kFirstFailingStatus) return static_cast<int32_t>(status);
  if (int error = file.Commit()) return LocalFailure(error);
  return 0;
}

}  // namespace qz
