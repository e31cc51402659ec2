#include "libunzip32/RunReport.h"

#include "libunzip32/CallerText.h"

#include <algorithm>
#include <array>

namespace qz::unzip32 {
namespace {

// Least serious first.
constexpr std::array<int32_t, 9> kSeverity = {
    kUnzipOk,           kUnzipWarning,      kUnzipNoMatch,     kUnzipBadPassword, kUnzipUnsupported,
    kUnzipArchiveError, kUnzipEndOfArchive, kUnzipSevereError, kUnzipDiskFull};

int Rank(int32_t code) {
  auto it = std::find(kSeverity.begin(), kSeverity.end(), code);
  return it == kSeverity.end() ? static_cast<int>(kSeverity.size()) : it - kSeverity.begin();
}

}  // namespace

RunReport::RunReport(const UnzipCallbacks* callbacks, int32_t messageLevel)
    : callbacks_(callbacks), messageLevel_(messageLevel) {}

void RunReport::Problem(int32_t code, const std::string& line) {
  Print(line);
  if (Rank(code) > Rank(result_)) result_ = code;
}

void RunReport::Progress(const std::string& line) {
  if (messageLevel_ <= 0) Print(line);
}

void RunReport::Summary(const std::string& line) {
  if (messageLevel_ <= 1) Print(line);
}

void RunReport::Final(int32_t code, const std::string& line) {
  if (!line.empty()) Print(line);
  result_ = code;
}

bool RunReport::HasErrors() const {
  return Rank(result_) > Rank(kUnzipWarning);
}

void RunReport::Print(const std::string& line) {
  if (callbacks_ == nullptr || callbacks_->Print == nullptr) return;
  // Text and line end go separately, so the receiver sees each line end on its own.
  std::string text = CallerText::Outward(line);
  callbacks_->Print(text.c_str(), static_cast<int32_t>(text.size()));
  callbacks_->Print("\n", 1);
}

}  // namespace qz::unzip32
