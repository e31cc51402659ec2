/* Preloaded into the updater by the kill test (LD_PRELOAD); never part of the program.
 *
 * Counts the operations that replace or remove files (rename, renameat, renameat2,
 * unlink, unlinkat, remove) and, when QZ_KILL_AT=N is set, ends the process with SIGKILL right
 * before the Nth of them (QZ_KILL_WHEN=before, the default) or right after it
 * (QZ_KILL_WHEN=after): a crash at that exact point, the same in every run.
 * QZ_COUNT_UNDER=FOLDER counts only operations on paths in that folder, so that whatever
 * the toolkit does with its caches elsewhere cannot move the points.
 * QZ_OPERATIONS_LOG=FILE appends one line per operation: its number, name and paths.
 * QZ_FAST_CLOCK=1 makes waiting free: nanosleep returns at once, and so does a poll or
 * ppoll with a timeout when nothing is ready (an event loop's wait for its next timer);
 * the clocks that time() and clock_gettime report move forward by the time not waited, so
 * the toolkit's timers fire as if it had passed. A wait without a timeout (for input) is
 * real.
 * QZ_CLOCK_AHEAD=SECONDS moves that clock forward by as much from the start: a run that
 * starts so much later, for which the files of a killed run are long abandoned. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static atomic_long operations;
static atomic_llong skippedNanoseconds;

static int EnvIs(const char* name, const char* value) {
  const char* set = getenv(name);
  return set != NULL && strcmp(set, value) == 0;
}

static long KillAt(void) {
  const char* at = getenv("QZ_KILL_AT");
  return at == NULL ? 0 : atol(at);
}

static void Log(long number, const char* what, const char* from, const char* to) {
  const char* file = getenv("QZ_OPERATIONS_LOG");
  if (file == NULL) return;
  char line[8192];
  int length = snprintf(line, sizeof line, "%ld %s %s%s%s\n", number, what, from,
                        to != NULL ? " -> " : "", to != NULL ? to : "");
  if (length <= 0) return;
  if ((size_t)length > sizeof line) length = sizeof line;
  int fd = open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  ssize_t written = write(fd, line, (size_t)length);
  (void)written;
  close(fd);
}

/* The absolute form of `path` relative to the folder open as `dir`. */
static void Absolute(int dir, const char* path, char* out, size_t size) {
  if (path[0] == '/' || dir == AT_FDCWD) {
    if (path[0] == '/' || getcwd(out, size) == NULL) out[0] = '\0';
  } else {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", dir);
    ssize_t length = readlink(link, out, size - 1);
    out[length > 0 ? length : 0] = '\0';
  }
  size_t used = strlen(out);
  snprintf(out + used, size - used, "%s%s", used > 0 && path[0] != '/' ? "/" : "", path);
}

static int Counted(int dir, const char* path) {
  const char* folder = getenv("QZ_COUNT_UNDER");
  if (folder == NULL) return 1;
  char absolute[8192];
  Absolute(dir, path, absolute, sizeof absolute);
  size_t length = strlen(folder);
  return strncmp(absolute, folder, length) == 0 && absolute[length] == '/';
}

/* Counts one operation and kills the process before it when asked; returns its number,
 * or 0 for an operation that is not counted. */
static long Before(int dir, const char* what, const char* from, const char* to) {
  if (!Counted(dir, from)) return 0;
  long number = atomic_fetch_add(&operations, 1) + 1;
  Log(number, what, from, to);
  if (number == KillAt() && !EnvIs("QZ_KILL_WHEN", "after")) raise(SIGKILL);
  return number;
}

static int After(long number, int result) {
  if (number != 0 && number == KillAt() && EnvIs("QZ_KILL_WHEN", "after")) raise(SIGKILL);
  return result;
}

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

int rename(const char* from, const char* to) {
  long number = Before(AT_FDCWD, "rename", from, to);
  return After(number, REAL(rename)(from, to));
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  long number = Before(fromDir, "rename", from, to);
  return After(number, REAL(renameat)(fromDir, from, toDir, to));
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags) {
  long number = Before(fromDir, "rename", from, to);
  return After(number, REAL(renameat2)(fromDir, from, toDir, to, flags));
}

int unlink(const char* path) {
  long number = Before(AT_FDCWD, "unlink", path, NULL);
  return After(number, REAL(unlink)(path));
}

int unlinkat(int dir, const char* path, int flags) {
  long number = Before(dir, "unlink", path, NULL);
  return After(number, REAL(unlinkat)(dir, path, flags));
}

int remove(const char* path) {
  long number = Before(AT_FDCWD, "unlink", path, NULL);
  return After(number, REAL(remove)(path));
}

static int FastClock(void) {
  return EnvIs("QZ_FAST_CLOCK", "1");
}

static void Skip(long long nanoseconds) {
  atomic_fetch_add(&skippedNanoseconds, nanoseconds);
}

int nanosleep(const struct timespec* duration, struct timespec* remaining) {
  if (!FastClock()) return REAL(nanosleep)(duration, remaining);
  Skip((long long)duration->tv_sec * 1000000000LL + duration->tv_nsec);
  if (remaining != NULL) remaining->tv_sec = remaining->tv_nsec = 0;
  return 0;
}

int poll(struct pollfd* fds, nfds_t count, int timeout) {
  if (!FastClock() || timeout <= 0) return REAL(poll)(fds, count, timeout);
  int ready = REAL(poll)(fds, count, 0);
  if (ready == 0) Skip((long long)timeout * 1000000LL);
  return ready;
}

int ppoll(struct pollfd* fds, nfds_t count, const struct timespec* timeout, const sigset_t* mask) {
  if (!FastClock() || timeout == NULL || (timeout->tv_sec == 0 && timeout->tv_nsec == 0)) {
    return REAL(ppoll)(fds, count, timeout, mask);
  }
  const struct timespec none = {0, 0};
  int ready = REAL(ppoll)(fds, count, &none, mask);
  if (ready == 0) Skip((long long)timeout->tv_sec * 1000000000LL + timeout->tv_nsec);
  return ready;
}

static int Shifted(clockid_t clock) {
  return clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE || clock == CLOCK_MONOTONIC ||
         clock == CLOCK_MONOTONIC_COARSE || clock == CLOCK_MONOTONIC_RAW || clock == CLOCK_BOOTTIME;
}

int clock_gettime(clockid_t clock, struct timespec* now) {
  int result = REAL(clock_gettime)(clock, now);
  if (result != 0 || !Shifted(clock)) return result;
  long long total = (long long)now->tv_nsec + atomic_load(&skippedNanoseconds);
  const char* ahead = getenv("QZ_CLOCK_AHEAD");
  if (ahead != NULL && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) {
    now->tv_sec += (time_t)atoll(ahead);
  }
  now->tv_sec += (time_t)(total / 1000000000LL);
  now->tv_nsec = (long)(total % 1000000000LL);
  return 0;
}

time_t time(time_t* out) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  if (out != NULL) *out = now.tv_sec;
  return now.tv_sec;
}
