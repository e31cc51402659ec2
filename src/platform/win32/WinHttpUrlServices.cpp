#include "platform/win32/WinHttpUrlServices.h"

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/DownloadTransfer.h"
#include "platform/RangeTransfer.h"
#include "platform/ResumePlan.h"
#include "platform/UpdaterVersionInfo.h"
#include "platform/win32/TransferPipe.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32PartialFile.h"
#include "platform/win32/Win32ReplacementFile.h"

namespace qz {
namespace {

constexpr int kConnectTimeoutMs = 30'000;
constexpr int kSendTimeoutMs = 30'000;
// Nothing at all for a minute is a stall, as StallDetector's default limit counts one.
constexpr int kStallTimeoutMs = 60'000;
constexpr DWORD kMaxRedirects = 10;
// Under Wine, 200 MiB from 127.0.0.1 (loaded machine, medians of five): 8 KiB reads 118
// MB/s, 64 KiB 100 MB/s, 1 MiB 77 MB/s; the differences are within the noise except for
// 1 MiB, which is slower. Wine's WinHTTP receives from the socket 8 KiB at a time whatever
// is asked for (26.9k receives per 200 MiB with 64 KiB and with 1 MiB reads), each a round
// trip to its server, which bounds it at a fraction of curl's speed there. 64 KiB keeps
// the calls few on Windows itself.
constexpr DWORD kReadSize = DWORD{64} << 10;
// How long the calling thread waits for data before it ticks: the dialogs handle their
// window events about 20 times a second.
constexpr std::chrono::milliseconds kTickInterval{50};

class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  ~InternetHandle() {
    if (handle_ != nullptr) WinHttpCloseHandle(handle_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

int32_t TransferFailure() {
  return -static_cast<int32_t>(GetLastError());
}

std::wstring UserAgent() {
  UpdaterVersionInfo version = UpdaterVersionInfo::Current();
  return L"QzUpdate/" + std::to_wstring(version.major) + L"." + std::to_wstring(version.minor) +
         L"." + std::to_wstring(version.revision);
}

// A session through the system's automatic proxy configuration where the system offers
// it, else through the proxy the user or administrator set (WinHTTP's default).
HINTERNET OpenSession() {
  std::wstring agent = UserAgent();
  HINTERNET session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                  WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (session != nullptr) return session;
  return WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                     WINHTTP_NO_PROXY_BYPASS, 0);
}

struct Address {
  std::wstring host;
  std::wstring pathAndQuery;
  INTERNET_PORT port = 0;
  bool secure = false;
};

bool Crack(const std::wstring& url, Address& address) {
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
    SetLastError(ERROR_WINHTTP_UNRECOGNIZED_SCHEME);
    return false;
  }
  address.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  address.pathAndQuery.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  address.pathAndQuery.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (address.pathAndQuery.empty()) address.pathAndQuery = L"/";
  address.port = parts.nPort;
  address.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  return true;
}

bool Configure(HINTERNET request) {
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS;
  DWORD redirects = kMaxRedirects;
  return WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy) &&
         WinHttpSetOption(request, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects,
                          sizeof redirects) &&
         WinHttpSetTimeouts(request, 0, kConnectTimeoutMs, kSendTimeoutMs, kStallTimeoutMs);
}

DWORD NumberHeader(HINTERNET request, DWORD query, DWORD missing) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (!WinHttpQueryHeaders(request, query | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                           &value, &size, WINHTTP_NO_HEADER_INDEX)) {
    return missing;
  }
  return value;
}

// The declared body length, or -1 when the server gave none (chunked, or until close).
int64_t DeclaredLength(HINTERNET request) {
  wchar_t text[32];
  DWORD size = sizeof text;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                           text, &size, WINHTTP_NO_HEADER_INDEX)) {
    return -1;
  }
  wchar_t* end = nullptr;
  long long length = wcstoll(text, &end, 10);
  return end != text && *end == L'\0' && length >= 0 ? length : -1;
}

// A header's value in ASCII (header values that matter here are), empty when missing.
std::string TextHeader(HINTERNET request, DWORD query) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  std::wstring wide(size / sizeof(wchar_t), L'\0');
  if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, wide.data(), &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  wide.resize(size / sizeof(wchar_t));
  std::string text;
  for (wchar_t c : wide) text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return text;
}

bool IsEncoded(HINTERNET request) {
  wchar_t coding[64];
  DWORD size = sizeof coding;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_ENCODING, WINHTTP_HEADER_NAME_BY_INDEX,
                           coding, &size, WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  return coding[0] != L'\0' && _wcsicmp(coding, L"identity") != 0;
}

DownloadTransfer::Response ResponseOf(HINTERNET request) {
  DownloadTransfer::Response response;
  response.status = static_cast<long>(NumberHeader(request, WINHTTP_QUERY_STATUS_CODE, 0));
  response.declaredLength = DeclaredLength(request);
  response.encoded = IsEncoded(request);
  response.rangeStart = ResumePlan::RangeStart(TextHeader(request, WINHTTP_QUERY_CONTENT_RANGE));
  response.validator = ResumePlan::ValidatorOf(TextHeader(request, WINHTTP_QUERY_ETAG),
                                               TextHeader(request, WINHTTP_QUERY_LAST_MODIFIED));
  response.contentType = TextHeader(request, WINHTTP_QUERY_CONTENT_TYPE);
  response.contentRange = TextHeader(request, WINHTTP_QUERY_CONTENT_RANGE);
  return response;
}

int64_t NowMilliseconds() {
  return static_cast<int64_t>(GetTickCount64());
}

// Worker thread: streams the body into `pipe`; 0 when the whole answer arrived, else a
// failure code. A synchronous read blocks until data arrives, so the receive timeout
// catches a server that sends nothing at all.
int32_t ReceiveBody(HINTERNET request, TransferPipe& pipe) {
  const DownloadTransfer::Response response = ResponseOf(request);
  if (!pipe.PutResponse(response)) return UrlServices::kAborted;
  auto buffer = std::make_unique<char[]>(kReadSize);
  // This answer's own body, without bytes kept from an earlier attempt.
  uint64_t bodyBytes = 0;
  while (true) {
    DWORD got = 0;
    if (!WinHttpReadData(request, buffer.get(), kReadSize, &got)) {
      DWORD error = GetLastError();
      return error == ERROR_WINHTTP_TIMEOUT ? UrlServices::kStalled : -static_cast<int32_t>(error);
    }
    if (got == 0) break;
    bodyBytes += got;
    if (!pipe.PutBody(buffer.get(), got)) return UrlServices::kAborted;
  }
  // WinHTTP ends a body that the server cut short like a complete one.
  if (!response.encoded && response.declaredLength >= 0 &&
      bodyBytes != static_cast<uint64_t>(response.declaredLength)) {
    return -static_cast<int32_t>(ERROR_WINHTTP_CONNECTION_ERROR);
  }
  return 0;
}

// The request headers: never a cached copy, never a content coding, plus `extra` lines.
std::wstring RequestHeaders(const std::vector<std::string>& extra) {
  std::wstring headers =
      L"Cache-Control: no-cache\r\nPragma: no-cache\r\nAccept-Encoding: identity\r\n";
  for (const std::string& line : extra) headers += WideText::FromAnsi(line) + L"\r\n";
  return headers;
}

// Worker thread: sends `request` with the `extra` header lines and passes the answer on.
int32_t Converse(HINTERNET request, const std::vector<std::string>& extra, TransferPipe& pipe) {
  if (!Configure(request)) return TransferFailure();
  const std::wstring headers = RequestHeaders(extra);
  if (!WinHttpSendRequest(request, headers.c_str(), static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA,
                          0, 0, 0) ||
      !WinHttpReceiveResponse(request, nullptr)) {
    return TransferFailure();
  }
  return ReceiveBody(request, pipe);
}

// Worker thread: the whole exchange for `url` in `session`, whose pool of open
// connections it uses and adds to; 0 when the whole answer arrived, else the
// transport's failure code. Cancelling the pipe closes the request handle, which is how
// WinHTTP interrupts a call blocked on it.
int32_t Fetch(HINTERNET session, const std::string& url, const std::vector<std::string>& extra,
              TransferPipe& pipe) {
  Address address;
  if (!Crack(WideText::FromAnsi(url), address)) return TransferFailure();
  InternetHandle connection(WinHttpConnect(session, address.host.c_str(), address.port, 0));
  if (!connection) return TransferFailure();
  HINTERNET request =
      WinHttpOpenRequest(connection.get(), L"GET", address.pathAndQuery.c_str(), nullptr,
                         WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                         (address.secure ? WINHTTP_FLAG_SECURE : 0) | WINHTTP_FLAG_REFRESH);
  if (request == nullptr) return TransferFailure();
  if (!pipe.SetInterrupt([request] { WinHttpCloseHandle(request); })) {
    WinHttpCloseHandle(request);
    return UrlServices::kAborted;
  }
  const int32_t code = Converse(request, extra, pipe);
  if (pipe.ClearInterrupt()) WinHttpCloseHandle(request);
  return code;
}

// Calling thread: feeds what the worker receives into `transfer` and ticks while nothing
// arrives. Returns the worker's final code, or nothing when the transfer stopped it (the
// pipe is then cancelled and the transfer knows why). `Transfer` is a DownloadTransfer or
// a RangeTransfer.
template <typename Transfer>
std::optional<int32_t> Deliver(TransferPipe& pipe, Transfer& transfer) {
  while (true) {
    TransferPipe::Item item = pipe.Next(kTickInterval);
    bool going = true;
    switch (item.kind) {
      case TransferPipe::Item::Kind::kNothingYet:
        going = transfer.OnTick(NowMilliseconds());
        break;
      case TransferPipe::Item::Kind::kResponse:
        going = transfer.OnResponse(item.response);
        if (going) pipe.Accept();
        break;
      case TransferPipe::Item::Kind::kBody:
        going = transfer.OnBody(item.body.data(), item.body.size()) &&
                transfer.OnTick(NowMilliseconds());
        break;
      case TransferPipe::Item::Kind::kEnd:
        return item.code;
    }
    if (!going) {
      pipe.Cancel();
      return std::nullopt;
    }
  }
}

// Runs the blocking WinHTTP calls on a worker thread while this thread serves `transfer`,
// so its observer is called only here and ticks on while WinHTTP waits. A stopped
// transfer returns at once and hands its worker, which touches nothing but the pipe it
// shares and the session it holds a share of, to `stopped`.
template <typename Transfer>
int32_t RunWorker(const std::shared_ptr<void>& session, const std::string& url,
                  const std::vector<std::string>& extra, Transfer& transfer, std::thread& stopped) {
  auto pipe = std::make_shared<TransferPipe>();
  std::thread worker;
  try {
    worker = std::thread([session, pipe, url, extra] {
      // Only allocations can throw here; the download then fails as out of memory.
      int32_t code = -static_cast<int32_t>(ERROR_OUTOFMEMORY);
      try {
        code = Fetch(session.get(), url, extra, *pipe);
      } catch (const std::exception&) {
        code = -static_cast<int32_t>(ERROR_OUTOFMEMORY);
      }
      pipe->PutEnd(code);
    });
  } catch (const std::system_error&) {
    return -static_cast<int32_t>(ERROR_OUTOFMEMORY);
  }
  std::optional<int32_t> code = Deliver(*pipe, transfer);
  if (!code) {
    stopped = std::move(worker);
    return 0;
  }
  worker.join();
  return *code;
}

}  // namespace

WinHttpUrlServices::WinHttpUrlServices(StallDetector::Limit stall) : stall_(stall) {}

bool WinHttpUrlServices::OpenSessionOnce() {
  if (session_) return true;
  HINTERNET session = OpenSession();
  if (session == nullptr) return false;
  try {
    session_ = std::shared_ptr<void>(session, WinHttpCloseHandle);
  } catch (const std::bad_alloc&) {
    // The shared pointer has closed the session already.
    SetLastError(ERROR_OUTOFMEMORY);
    return false;
  }
  return true;
}

int32_t WinHttpUrlServices::Exchange(const std::string& url, const std::vector<std::string>& extra,
                                     DownloadTransfer& transfer) {
  if (stopped_.joinable()) stopped_.join();
  if (!OpenSessionOnce()) return TransferFailure();
  return RunWorker(session_, url, extra, transfer, stopped_);
}

int32_t WinHttpUrlServices::Exchange(const std::string& url, RangeTransfer& transfer) {
  if (stopped_.joinable()) stopped_.join();
  if (!OpenSessionOnce()) return TransferFailure();
  return RunWorker(session_, url, transfer.RequestHeaders(), transfer, stopped_);
}

WinHttpUrlServices::~WinHttpUrlServices() {
  if (stopped_.joinable()) stopped_.detach();
}

void WinHttpUrlServices::DeleteCacheEntry(const std::string&) {}

int32_t WinHttpUrlServices::DownloadToFile(const std::string& url, const std::string& path,
                                           TransferObserver* observer, uint64_t maxBytes) {
  Win32ReplacementFile file(path);
  if (int error = file.Open()) return LocalFailure(error);
  DownloadTransfer transfer(file, observer, maxBytes, stall_);
  // A failure before the response is the transport's code; after it, the transfer knows.
  return transfer.Finish(Exchange(url, {}, transfer), DownloadTransfer::Response{});
}

int32_t WinHttpUrlServices::ResumeToFile(const std::string& url, const std::string& path,
                                         const std::string& partialPath, TransferObserver* observer,
                                         uint64_t maxBytes) {
  Win32PartialFile file(partialPath, path);
  if (int error = file.Open()) return LocalFailure(error);
  ResumePlan plan(file);
  DownloadTransfer transfer(file, plan.Offset(), observer, maxBytes, stall_);
  const int32_t result =
      transfer.Finish(Exchange(url, plan.RequestHeaders(), transfer), DownloadTransfer::Response{});
  if (!transfer.StartsOver()) return result;
  DownloadTransfer whole(file, 0, observer, maxBytes, stall_);
  return whole.Finish(Exchange(url, {}, whole), DownloadTransfer::Response{});
}

RangeReply WinHttpUrlServices::FetchRanges(const std::string& url,
                                           const std::vector<ByteRange>& ranges,
                                           const std::string& ifRange, RangeReceiver& receiver) {
  RangeTransfer transfer(ranges, ifRange, receiver, stall_);
  return transfer.Finish(Exchange(url, transfer), DownloadTransfer::Response{});
}

}  // namespace qz
