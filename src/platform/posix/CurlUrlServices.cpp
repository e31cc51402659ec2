#include "platform/posix/CurlUrlServices.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string_view>

#include "platform/DownloadTransfer.h"
#include "platform/ResumePlan.h"
#include "platform/UpdaterVersionInfo.h"
#include "platform/posix/PartialFile.h"
#include "platform/posix/PathResolver.h"
#include "platform/posix/ReplacementFile.h"

namespace qz {
namespace {

constexpr long kConnectTimeoutSeconds = 30;
constexpr long kMaxRedirects = 10;

using Transfer = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

// libcurl must be initialised once before any transfer and never concurrently with one.
// A function-local static does exactly that, safely across threads, without a global of
// our own; it is never cleaned up because transfers may run until the process ends.
CURLcode InitialiseCurlOnce() {
  static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
  return result;
}

int32_t CurlFailure(CURLcode code) {
  return -static_cast<int32_t>(code);
}

int64_t NowMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The value of the final answer's header `name`; empty when it has none.
std::string HeaderValue(CURL* curl, const char* name) {
  curl_header* header = nullptr;
  if (curl_easy_header(curl, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK) return {};
  return header->value;
}

bool IsEncoded(CURL* curl) {
  std::string coding = HeaderValue(curl, "Content-Encoding");
  return !coding.empty() && coding != "identity";
}

DownloadTransfer::Response ResponseOf(CURL* curl) {
  DownloadTransfer::Response response;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
  curl_off_t length = -1;
  if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK) {
    response.declaredLength = length;
  }
  response.encoded = IsEncoded(curl);
  response.rangeStart = ResumePlan::RangeStart(HeaderValue(curl, "Content-Range"));
  response.validator =
      ResumePlan::ValidatorOf(HeaderValue(curl, "ETag"), HeaderValue(curl, "Last-Modified"));
  return response;
}

struct Session {
  DownloadTransfer& transfer;
  CURL* curl = nullptr;
  bool responseSeen = false;
};

// libcurl calls this only for the body of the final answer, after all its headers.
size_t WriteBody(char* data, size_t size, size_t count, void* context) {
  auto* session = static_cast<Session*>(context);
  const size_t bytes = size * count;
  if (!session->responseSeen) {
    session->responseSeen = true;
    if (!session->transfer.OnResponse(ResponseOf(session->curl))) return 0;
  }
  return session->transfer.OnBody(data, bytes) ? bytes : 0;
}

// libcurl calls this at least once a second, also while nothing arrives.
int Tick(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* session = static_cast<Session*>(context);
  return session->transfer.OnTick(NowMilliseconds()) ? 0 : 1;
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
                   const std::string& userAgent, long receiveBufferBytes, Session& session) {
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
  // Asking for identity keeps the declared length the file's length; setting any value
  // also makes libcurl decode a coding that a server applies regardless.
  set(CURLOPT_ACCEPT_ENCODING, "identity");
  set(CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_BUFFERSIZE, receiveBufferBytes);
  set(CURLOPT_WRITEFUNCTION, WriteBody);
  set(CURLOPT_WRITEDATA, static_cast<void*>(&session));
  set(CURLOPT_XFERINFOFUNCTION, Tick);
  set(CURLOPT_XFERINFODATA, static_cast<void*>(&session));
  set(CURLOPT_NOPROGRESS, 0L);
  return result;
}

}  // namespace

CurlUrlServices::CurlUrlServices(StallDetector::Limit stall, long receiveBufferBytes)
    : stall_(stall), receiveBufferBytes_(receiveBufferBytes) {}

void CurlUrlServices::DeleteCacheEntry(const std::string&) {}

int32_t CurlUrlServices::DownloadToFile(const std::string& url, const std::string& path,
                                        TransferObserver* observer, uint64_t maxBytes) {
  if (CURLcode init = InitialiseCurlOnce(); init != CURLE_OK) return CurlFailure(init);
  ReplacementFile file(PathResolver::Resolve(path), 0666);
  if (int error = file.Open()) return LocalFailure(error);
  DownloadTransfer transfer(file, observer, maxBytes, stall_);
  return Perform(url, transfer, {});
}

int32_t CurlUrlServices::ResumeToFile(const std::string& url, const std::string& path,
                                      const std::string& partialPath, TransferObserver* observer,
                                      uint64_t maxBytes) {
  if (CURLcode init = InitialiseCurlOnce(); init != CURLE_OK) return CurlFailure(init);
  PartialFile file(PathResolver::Resolve(partialPath), PathResolver::Resolve(path));
  if (int error = file.Open()) return LocalFailure(error);
  ResumePlan plan(file);
  DownloadTransfer transfer(file, plan.Offset(), observer, maxBytes, stall_);
  return Perform(url, transfer, plan.RequestHeaders());
}

int32_t CurlUrlServices::Perform(const std::string& url, DownloadTransfer& transfer,
                                 const std::vector<std::string>& extraHeaders) {
  Transfer curl(curl_easy_init(), curl_easy_cleanup);
  HeaderList headers = NoCacheHeaders();
  for (const std::string& line : extraHeaders) {
    if (headers && curl_slist_append(headers.get(), line.c_str()) == nullptr) headers.reset();
  }
  if (!curl || !headers) return CurlFailure(CURLE_OUT_OF_MEMORY);
  Session session{transfer, curl.get()};
  std::string userAgent = UserAgent();
  CURLcode result =
      Configure(curl.get(), url, headers.get(), userAgent, receiveBufferBytes_, session);
  if (result == CURLE_OK) result = curl_easy_perform(curl.get());
  return transfer.Finish(CurlFailure(result), ResponseOf(curl.get()));
}

}  // namespace qz
