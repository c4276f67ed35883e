#ifndef LZW_STREAMS_PLATFORM_H_
#define LZW_STREAMS_PLATFORM_H_

#include <cstddef>
#include <cstdint>

// The operating-system calls the program makes for files and signals, kept in
// one place so that the rest of the code is plain C++ (the codec's memory
// calls are in platform_memory.h). Every function reports failure by its
// return value and leaves errno as the system set it.
namespace lzw::platform {

// A file time, to the nanosecond.
struct Time {
  int64_t seconds = 0;
  int64_t nanoseconds = 0;
};

// What the program needs to know about a file.
struct FileInfo {
  bool is_regular = false;      // an ordinary file (not a directory, device, FIFO)
  bool is_symlink = false;      // only when asked not to follow links
  bool is_sticky = false;       // a directory whose entries only their owners may replace
  bool world_writable = false;  // anyone may write (for a directory: add and remove entries)
  uint64_t size = 0;            // bytes, for regular files
  uint32_t mode = 0;            // permission bits (mode & 0777)
  uint32_t owner = 0;           // user and group ids
  uint32_t group = 0;
  Time accessed;                // last access and modification
  Time modified;
  uint64_t device = 0;          // device and inode identify the file itself
  uint64_t inode = 0;
};

// The user id whose permissions the process has.
uint32_t effective_user();

// Opens a file for reading; -1 on failure.
int open_for_reading(const char* path);
// Describes an open file; false on failure.
bool describe(int descriptor, FileInfo* info);
// Describes a path; false when it does not exist or cannot be examined
// (errno tells which).
bool describe_path(const char* path, bool follow_links, FileInfo* info);
// Whether a failed describe_path only found nothing under that name.
bool nothing_there();
// Reads up to `count` bytes; returns the number read (0 at the end), or -1.
int64_t read_some(int descriptor, void* destination, size_t count);
// Writes all `count` bytes, at the current position or at `offset`.
bool write_all(int descriptor, const void* bytes, size_t count);
bool write_all_at(int descriptor, const void* bytes, size_t count, uint64_t offset);
// Copies the whole of `from`, from its start, to the current position of `to`.
bool copy_all(int from, int to);
// Closes a descriptor; false when the close reported an error.
bool close_file(int descriptor);

// Opens for writing, without blocking, a destination that is written where
// it stands rather than replaced, neither truncating it nor waiting for a
// FIFO's reader (a FIFO without one fails). `follow_link`: the path is a
// link to follow, whose target `create` allows to be made; otherwise the
// path itself is opened, never through a link, and never created. -1 on
// failure.
int open_in_place(const char* path, bool follow_link, bool create);
// Cuts or extends a file to `bytes`.
bool set_file_size(int descriptor, uint64_t bytes);
// Empties a file written in place; failures (a device) are ignored.
void truncate_in_place(int descriptor);
// Creates a new file from `path_template` (ending in XXXXXX, which is replaced
// by a random name) exclusively, and registers it for removal if the process
// is interrupted before `publish_temporary` or `remove_temporary`.
int create_temporary(char* path_template);
// Renames the temporary file over `destination` and deregisters it; the
// interruption signals are held off meanwhile, so the file is either still
// registered or already final. Once it is final the run has succeeded: where
// the interruption clean-up is installed, those signals are ignored from then
// on, a pending one included.
bool publish_temporary(const char* temporary, const char* destination);
// Deletes the temporary file and deregisters it.
void remove_temporary(const char* temporary);
// Gives a new file the permission bits (exactly: no umask, no set-id bits)
// and times of `source` and, when `with_owner`, its owner and group.
// Failures are ignored.
void copy_metadata(int descriptor, const FileInfo& source, bool with_owner);

// Process-wide settings made once in main: a file-size limit turns into a
// failed write instead of killing the process, and SIGINT, SIGTERM and SIGHUP
// remove the registered temporary file before the process dies of them,
// except those that were ignored when the program started, which stay so.
void ignore_file_size_signal();
void install_interruption_cleanup();

}  // namespace lzw::platform

#endif  // LZW_STREAMS_PLATFORM_H_
