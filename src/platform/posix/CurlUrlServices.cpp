#include "platform/posix/CurlUrlServices.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/DownloadTransfer.h"
#include "platform/RangeTransfer.h"
#include "platform/ResumePlan.h"
#include "platform/UpdaterVersionInfo.h"
#include "platform/posix/PartialFile.h"
#include "platform/posix/PathResolver.h"
#include "platform/posix/ReplacementFile.h"

namespace qz {
namespace {

constexpr long kConnectTimeoutSeconds = 30;
constexpr long kMaxRedirects = 10;

using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

int32_t CurlFailure(CURLcode code) {
  return -static_cast<int32_t>(code);
}

int64_t NowMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The value of the final answer's header `name`; empty when it has none.
std::string HeaderValue(const CurlLibrary& library, CURL* curl, const char* name) {
  curl_header* header = nullptr;
  if (library.easyHeader(curl, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK) return {};
  return header->value;
}

bool IsEncoded(const CurlLibrary& library, CURL* curl) {
  std::string coding = HeaderValue(library, curl, "Content-Encoding");
  return !coding.empty() && coding != "identity";
}

DownloadTransfer::Response ResponseOf(const CurlLibrary& library, CURL* curl) {
  DownloadTransfer::Response response;
  library.easyGetinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
  curl_off_t length = -1;
  if (library.easyGetinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK) {
    response.declaredLength = length;
  }
  response.encoded = IsEncoded(library, curl);
  response.rangeStart = ResumePlan::RangeStart(HeaderValue(library, curl, "Content-Range"));
  response.validator = ResumePlan::ValidatorOf(HeaderValue(library, curl, "ETag"),
                                               HeaderValue(library, curl, "Last-Modified"));
  response.contentType = HeaderValue(library, curl, "Content-Type");
  response.contentRange = HeaderValue(library, curl, "Content-Range");
  return response;
}

struct Session {
  DownloadTransfer& transfer;
  const CurlLibrary& library;
  CURL* curl = nullptr;
  bool responseSeen = false;
};

// libcurl calls this only for the body of the final answer, after all its headers.
size_t WriteBody(char* data, size_t size, size_t count, void* context) {
  auto* session = static_cast<Session*>(context);
  const size_t bytes = size * count;
  if (!session->responseSeen) {
    session->responseSeen = true;
    if (!session->transfer.OnResponse(ResponseOf(session->library, session->curl))) return 0;
  }
  return session->transfer.OnBody(data, bytes) ? bytes : 0;
}

// libcurl calls this at least once a second, also while nothing arrives.
int Tick(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* session = static_cast<Session*>(context);
  return session->transfer.OnTick(NowMilliseconds()) ? 0 : 1;
}

struct RangeSession {
  RangeTransfer& transfer;
  const CurlLibrary& library;
  CURL* curl = nullptr;
  bool responseSeen = false;
};

size_t WriteRanges(char* data, size_t size, size_t count, void* context) {
  auto* session = static_cast<RangeSession*>(context);
  const size_t bytes = size * count;
  if (!session->responseSeen) {
    session->responseSeen = true;
    if (!session->transfer.OnResponse(ResponseOf(session->library, session->curl))) return 0;
  }
  return session->transfer.OnBody(data, bytes) ? bytes : 0;
}

int TickRanges(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* session = static_cast<RangeSession*>(context);
  return session->transfer.OnTick(NowMilliseconds()) ? 0 : 1;
}

// Where a transfer's body and ticks go.
struct Callbacks {
  curl_write_callback write;
  curl_xferinfo_callback tick;
  void* context;
};

// The no-cache request headers and then `extra`; empty when memory runs out.
HeaderList RequestHeaders(const CurlLibrary& library, const std::vector<std::string>& extra) {
  HeaderList headers(library.slistAppend(nullptr, "Cache-Control: no-cache"), library.slistFreeAll);
  if (headers && library.slistAppend(headers.get(), "Pragma: no-cache") == nullptr) {
    headers.reset();
  }
  for (const std::string& line : extra) {
    if (headers && library.slistAppend(headers.get(), line.c_str()) == nullptr) headers.reset();
  }
  return headers;
}

std::string UserAgent() {
  UpdaterVersionInfo version = UpdaterVersionInfo::Current();
  return "QzUpdate/" + std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
         std::to_string(version.revision);
}

CURLcode Configure(const CurlLibrary& library, CURL* curl, const std::string& url,
                   curl_slist* headers, const std::string& userAgent, long receiveBufferBytes,
                   const Callbacks& callbacks) {
  CURLcode result = CURLE_OK;
  auto set = [&](CURLoption option, auto value) {
    if (result == CURLE_OK) result = library.easySetopt(curl, option, value);
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
  set(CURLOPT_WRITEFUNCTION, callbacks.write);
  set(CURLOPT_WRITEDATA, callbacks.context);
  set(CURLOPT_XFERINFOFUNCTION, callbacks.tick);
  set(CURLOPT_XFERINFODATA, callbacks.context);
  set(CURLOPT_NOPROGRESS, 0L);
  return result;
}

}  // namespace

CurlUrlServices::CurlUrlServices(StallDetector::Limit stall, long receiveBufferBytes)
    : stall_(stall), receiveBufferBytes_(receiveBufferBytes) {}

CurlUrlServices::~CurlUrlServices() {
  if (idle_ != nullptr) curl_.easyCleanup(idle_);
}

CURL* CurlUrlServices::TakeHandle() {
  std::lock_guard lock(idleMutex_);
  CURL* curl = std::exchange(idle_, nullptr);
  if (curl == nullptr) return curl_.easyInit();
  // Options and callbacks go; open connections and cached addresses stay.
  curl_.easyReset(curl);
  return curl;
}

// The next transfer needs a handle that takes its options afresh (one whose transfer failed,
// e.g. at a redirect to a refused scheme, may refuse some) and a connection whose next
// byte starts the next answer (a server that sends a body where none may be, a 204 with
// content, leaves bytes behind): only a 200 or 206 read to its end leaves both.
void CurlUrlServices::DropUnlessSound(Transfer& curl, CURLcode result) {
  long status = 0;
  curl_.easyGetinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  if (result != CURLE_OK || (status != 200 && status != 206)) curl_.easyCleanup(curl.release());
}

void CurlUrlServices::ReturnHandle(CURL* curl) {
  std::lock_guard lock(idleMutex_);
  if (idle_ == nullptr) {
    idle_ = curl;
  } else {
    curl_.easyCleanup(curl);
  }
}

void CurlUrlServices::DeleteCacheEntry(const std::string&) {}

int32_t CurlUrlServices::DownloadToFile(const std::string& url, const std::string& path,
                                        TransferObserver* observer, uint64_t maxBytes) {
  if (CURLcode init = curl_.Load(); init != CURLE_OK) return CurlFailure(init);
  ReplacementFile file(PathResolver::Resolve(path), 0666);
  if (int error = file.Open()) return LocalFailure(error);
  DownloadTransfer transfer(file, observer, maxBytes, stall_);
  return Perform(url, transfer, {});
}

int32_t CurlUrlServices::ResumeToFile(const std::string& url, const std::string& path,
                                      const std::string& partialPath, TransferObserver* observer,
                                      uint64_t maxBytes) {
  if (CURLcode init = curl_.Load(); init != CURLE_OK) return CurlFailure(init);
  PartialFile file(PathResolver::Resolve(partialPath), PathResolver::Resolve(path));
  if (int error = file.Open()) return LocalFailure(error);
  ResumePlan plan(file);
  DownloadTransfer transfer(file, plan.Offset(), observer, maxBytes, stall_);
  const int32_t result = Perform(url, transfer, plan.RequestHeaders());
  if (!transfer.StartsOver()) return result;
  DownloadTransfer whole(file, 0, observer, maxBytes, stall_);
  return Perform(url, whole, {});
}

int32_t CurlUrlServices::Perform(const std::string& url, DownloadTransfer& transfer,
                                 const std::vector<std::string>& extraHeaders) {
  Transfer curl(TakeHandle(), [this](CURL* handle) { ReturnHandle(handle); });
  HeaderList headers = RequestHeaders(curl_, extraHeaders);
  if (!curl || !headers) return CurlFailure(CURLE_OUT_OF_MEMORY);
  Session session{transfer, curl_, curl.get()};
  std::string userAgent = UserAgent();
  CURLcode result = Configure(curl_, curl.get(), url, headers.get(), userAgent, receiveBufferBytes_,
                              Callbacks{WriteBody, Tick, &session});
  if (result == CURLE_OK) result = curl_.easyPerform(curl.get());
  const int32_t code = transfer.Finish(CurlFailure(result), ResponseOf(curl_, curl.get()));
  DropUnlessSound(curl, result);
  return code;
}

RangeReply CurlUrlServices::FetchRanges(const std::string& url,
                                        const std::vector<ByteRange>& ranges,
                                        const std::string& ifRange, RangeReceiver& receiver) {
  if (CURLcode init = curl_.Load(); init != CURLE_OK) return RangeReply::Failure(CurlFailure(init));
  RangeTransfer transfer(ranges, ifRange, receiver, stall_);
  Transfer curl(TakeHandle(), [this](CURL* handle) { ReturnHandle(handle); });
  HeaderList headers = RequestHeaders(curl_, transfer.RequestHeaders());
  if (!curl || !headers) return RangeReply::Failure(CurlFailure(CURLE_OUT_OF_MEMORY));
  RangeSession session{transfer, curl_, curl.get()};
  std::string userAgent = UserAgent();
  CURLcode result = Configure(curl_, curl.get(), url, headers.get(), userAgent, receiveBufferBytes_,
                              Callbacks{WriteRanges, TickRanges, &session});
  if (result == CURLE_OK) result = curl_.easyPerform(curl.get());
  RangeReply reply = transfer.Finish(CurlFailure(result), ResponseOf(curl_, curl.get()));
  DropUnlessSound(curl, result);
  return reply;
}

}  // namespace qz
