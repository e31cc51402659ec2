#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qz {

class Clock;
class FileSystem;

// The run's record for the vendor: one plain-text line per event, appended to
// <ApplicationPath>/QzUFiles/Log/QzUpdate.log as the event happens and closed at once, so
// the lines survive the immediate end of the program. A line is the local time, the run's
// tag (tells apart the interleaved lines of two runs on a shared folder) and the text.
// Writing the log never fails anything: a line that cannot be written is dropped.
class UpdateLog {
 public:
  // At this size the log is renamed to QzUpdate.1.log (replacing the older one) before
  // the next line, so the two files together stay near 2 MiB.
  static constexpr uint64_t kRollOverBytes = 1 << 20;

  UpdateLog(FileSystem& files, Clock& clock);

  // From now on lines go into the staging folder of `applicationPath`; the lines of events
  // before this call, held until then, are written first. An empty path changes nothing.
  // Never throws.
  void Open(const std::string& applicationPath) noexcept;

  // Records one event; each run of line breaks in `text` becomes one " / ". Never throws.
  void Event(const std::string& text) noexcept;

  // One download: its address (never a user name or password in it), the result code (0: the whole
  // file arrived), the bytes of the file seen and how long it took.
  void Download(const std::string& url, int32_t result, uint64_t bytes,
                int64_t milliseconds) noexcept;

  // A version number as the updater compares it ("10300").
  static std::string Number(double version);

  // The log's path, empty until Open.
  const std::string& Path() const { return path_; }

 private:
  void Write(const std::string& lines);

  FileSystem& files_;
  Clock& clock_;
  std::string tag_;
  std::string folder_;
  std::string path_;
  // Lines of the events before Open.
  std::string held_;
  bool folderMade_ = false;
};

}  // namespace qz
