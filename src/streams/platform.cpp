#include "streams/platform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lzw::platform {
namespace {

void fill_info(const struct stat& status, FileInfo* info) {
  info->is_regular = S_ISREG(status.st_mode);
  info->is_symlink = S_ISLNK(status.st_mode);
  info->size = static_cast<uint64_t>(status.st_size);
  info->mode = status.st_mode & 0777;
  info->device = status.st_dev;
  info->inode = status.st_ino;
}

// The temporary file to remove if a signal ends the process. Only the signal
// handler reads it, and it is written only while those signals are blocked.
char g_temporary_path[4096];
volatile sig_atomic_t g_temporary_registered = 0;

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

bool close_file(int descriptor) {
  // Linux releases the descriptor even when close reports EINTR, so it is
  // never retried; the error still counts as a failed write.
  return close(descriptor) == 0;
}

int open_in_place(const char* path) {
  int descriptor;
  do {
    descriptor = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
  } while (descriptor < 0 && errno == EINTR);
  return descriptor;
}

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
  return true;
}

void remove_temporary(const char* temporary) {
  InterruptionsHeld held;
  unlink(temporary);
  g_temporary_registered = 0;
}

void set_permissions(int descriptor, uint32_t mode) {
  (void)fchmod(descriptor, static_cast<mode_t>(mode & 0777));
}

void ignore_file_size_signal() { signal(SIGXFSZ, SIG_IGN); }

void install_interruption_cleanup() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = remove_temporary_and_die;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal_number : kInterruptions) sigaddset(&action.sa_mask, signal_number);
  for (int signal_number : kInterruptions) sigaction(signal_number, &action, nullptr);
}

}  // namespace lzw::platform
