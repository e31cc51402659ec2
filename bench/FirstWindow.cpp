// Time from starting a program to its first top-level window appearing on the X display:
//
//   first_window TIMEOUT_MS PROGRAM [ARGUMENTS...]
//
// Prints the milliseconds from spawning PROGRAM to the server's notice that it mapped a
// window of its own (not a menu or tooltip), then kills the program and prints the CPU
// milliseconds it had used by then (steadier than the first figure on a busy machine). Exit status
// 1 when no window appeared within TIMEOUT_MS or the program could not start. Used by
// bench/startup_bench.sh.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Event = std::unique_ptr<xcb_generic_event_t, decltype(&std::free)>;

// Asks for the notices of windows mapped on the root and waits until the server has them.
bool WatchRoot(xcb_connection_t* connection) {
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
  std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
  return xcb_connection_has_error(connection) == 0;
}

double Milliseconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) * 1e3 + static_cast<double>(time.tv_usec) / 1e3;
}

bool IsTopLevelMap(const xcb_generic_event_t& event) {
  if ((event.response_type & 0x7f) != XCB_MAP_NOTIFY) return false;
  return reinterpret_cast<const xcb_map_notify_event_t&>(event).override_redirect == 0;
}

// Waits for the first top-level window until `deadline`; false when none came.
bool WaitForWindow(xcb_connection_t* connection, Clock::time_point deadline) {
  pollfd watched{xcb_get_file_descriptor(connection), POLLIN, 0};
  while (Clock::now() < deadline) {
    while (Event event{xcb_poll_for_event(connection), &std::free}) {
      if (IsTopLevelMap(*event)) return true;
    }
    if (xcb_connection_has_error(connection)) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    poll(&watched, 1, static_cast<int>(std::max<long>(0, left.count())));
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: first_window TIMEOUT_MS PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) || !WatchRoot(connection)) {
    std::fprintf(stderr, "first_window: no X display\n");
    return 1;
  }
  const auto start = Clock::now();
  pid_t pid = 0;
  if (int error = posix_spawn(&pid, argv[2], nullptr, nullptr, argv + 2, environ)) {
    std::fprintf(stderr, "first_window: cannot start %s: %s\n", argv[2], std::strerror(error));
    return 1;
  }
  const bool shown =
      WaitForWindow(connection, start + std::chrono::milliseconds(std::atol(argv[1])));
  const double milliseconds =
      std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  kill(pid, SIGKILL);
  rusage usage{};
  wait4(pid, nullptr, 0, &usage);
  xcb_disconnect(connection);
  if (!shown) {
    std::fprintf(stderr, "first_window: no window from %s\n", argv[2]);
    return 1;
  }
  std::printf("%.1f %.1f\n", milliseconds,
              Milliseconds(usage.ru_utime) + Milliseconds(usage.ru_stime));
  return 0;
}
