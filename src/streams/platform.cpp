#include "streams/platform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace lzw::platform {
namespace {

Time time_of(const struct timespec& time) { return Time{time.tv_sec, time.tv_nsec}; }

void fill_info(const struct stat& status, FileInfo* info) {
  info->is_regular = S_ISREG(status.st_mode);
  info->is_symlink = S_ISLNK(status.st_mode);
  info->is_sticky = (status.st_mode & S_ISVTX) != 0;
  info->world_writable = (status.st_mode & S_IWOTH) != 0;
  info->size = static_cast<uint64_t>(status.st_size);
  info->mode = status.st_mode & 0777;
  info->owner = status.st_uid;
  info->group = status.st_gid;
  info->accessed = time_of(status.st_atim);
  info->modified = time_of(status.st_mtim);
  info->device = status.st_dev;
  info->inode = status.st_ino;
}

// The temporary file to remove if a signal ends the process. Only the signal
// handler reads it, and it is written only while those signals are blocked.
char g_temporary_path[4096];
volatile sig_atomic_t g_temporary_registered = 0;
// Whether install_interruption_cleanup ran: only then does the program own
// the interruption signals' dispositions.
bool g_cleanup_installed = false;

const int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};

// Blocks the interruption signals for its lifetime.
class InterruptionsHeld {
 public:
  InterruptionsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal_number : kInterruptions) sigaddset(&held, signal_number);
    sigprocmask(SIG_BLOCK, &held, &previous_);
  }
  ~InterruptionsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  InterruptionsHeld(const InterruptionsHeld&) = delete;
  InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

 private:
  sigset_t previous_;  // mask to restore
};

void remove_temporary_and_die(int signal_number) {
  if (g_temporary_registered) unlink(g_temporary_path);
  // SA_RESETHAND restored the default action: the signal raised here is
  // delivered when the handler returns and ends the process as usual.
  raise(signal_number);
}

}  // namespace

uint32_t effective_user() { return geteuid(); }

int open_for_reading(const char* path) {
  // O_NONBLOCK keeps a FIFO from blocking the open until a writer comes; it
  // is refused as not a regular file, and regular files ignore the flag.
  int descriptor;
  do {
    descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  } while (descriptor < 0 && errno == EINTR);
  return descriptor;
}

bool describe(int descriptor, FileInfo* info) {
  struct stat status;
  if (fstat(descriptor, &status) != 0) return false;
  fill_info(status, info);
  return true;
}

bool describe_path(const char* path, bool follow_links, FileInfo* info) {
  struct stat status;
  int result = follow_links ? stat(path, &status) : lstat(path, &status);
  if (result != 0) return false;
  fill_info(status, info);
  return true;
}

bool nothing_there() { return errno == ENOENT; }

int64_t read_some(int descriptor, void* destination, size_t count) {
  ssize_t result;
  do {
    result = read(descriptor, destination, count);
  } while (result < 0 && errno == EINTR);
  return result;
}

bool write_all(int descriptor, const void* bytes, size_t count) {
  const char* next = static_cast<const char*>(bytes);
  while (count > 0) {
    ssize_t written = write(descriptor, next, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    next += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

bool write_all_at(int descriptor, const void* bytes, size_t count, uint64_t offset) {
  const char* next = static_cast<const char*>(bytes);
  while (count > 0) {
    ssize_t written = pwrite(descriptor, next, count, static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    next += written;
    offset += static_cast<uint64_t>(written);
    count -= static_cast<size_t>(written);
  }
  return true;
}

bool copy_all(int from, int to) {
  constexpr size_t kPiece = 1 << 20;
  std::unique_ptr<char[]> piece(new char[kPiece]);
  for (uint64_t offset = 0;;) {
    ssize_t got;
    do {
      got = pread(from, piece.get(), kPiece, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    if (got < 0) return false;
    if (got == 0) return true;
    if (!write_all(to, piece.get(), static_cast<size_t>(got))) return false;
    offset += static_cast<uint64_t>(got);
  }
}

bool close_file(int descriptor) {
  // Linux releases the descriptor even when close reports EINTR, so it is
  // never retried; the error still counts as a failed write.
  return close(descriptor) == 0;
}

int open_in_place(const char* path, bool follow_link, bool create) {
  int flags = O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  if (!follow_link) flags |= O_NOFOLLOW;
  if (follow_link && create) flags |= O_CREAT;
  int descriptor;
  do {
    descriptor = open(path, flags, 0666);
  } while (descriptor < 0 && errno == EINTR);
  // Writes block as usual from here on (a FIFO's reader may be slow).
  if (descriptor >= 0) fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  return descriptor;
}

bool set_file_size(int descriptor, uint64_t bytes) { return ftruncate(descriptor, static_cast<off_t>(bytes)) == 0; }

void truncate_in_place(int descriptor) { (void)set_file_size(descriptor, 0); }

int create_temporary(char* path_template) {
  InterruptionsHeld held;
  int descriptor = mkstemp(path_template);
  if (descriptor >= 0 && std::strlen(path_template) < sizeof(g_temporary_path)) {
    std::memcpy(g_temporary_path, path_template, std::strlen(path_template) + 1);
    g_temporary_registered = 1;
  }
  return descriptor;
}

bool publish_temporary(const char* temporary, const char* destination) {
  InterruptionsHeld held;
  if (std::rename(temporary, destination) != 0) return false;
  g_temporary_registered = 0;
  if (g_cleanup_installed) {
    // Ignoring a signal discards it if pending, before the mask is restored.
    for (int signal_number : kInterruptions) signal(signal_number, SIG_IGN);
  }
  return true;
}

void remove_temporary(const char* temporary) {
  InterruptionsHeld held;
  unlink(temporary);
  g_temporary_registered = 0;
}

void copy_metadata(int descriptor, const FileInfo& source, bool with_owner) {
  // The owner first: changing it clears set-id bits, which are not copied anyway.
  if (with_owner) (void)fchown(descriptor, source.owner, source.group);
  (void)fchmod(descriptor, static_cast<mode_t>(source.mode & 0777));
  const struct timespec times[2] = {{static_cast<time_t>(source.accessed.seconds), source.accessed.nanoseconds},
                                    {static_cast<time_t>(source.modified.seconds), source.modified.nanoseconds}};
  (void)futimens(descriptor, times);
}

void ignore_file_size_signal() { signal(SIGXFSZ, SIG_IGN); }

void install_interruption_cleanup() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = remove_temporary_and_die;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal_number : kInterruptions) sigaddset(&action.sa_mask, signal_number);
  for (int signal_number : kInterruptions) {
    // A signal ignored when the program started (nohup, trap '' in a script)
    // is the caller's choice and stays ignored.
    struct sigaction inherited;
    if (sigaction(signal_number, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) continue;
    sigaction(signal_number, &action, nullptr);
  }
  g_cleanup_installed = true;
}

}  // namespace lzw::platform
