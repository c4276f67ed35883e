#ifndef LZW_STREAMS_PLATFORM_H_
#define LZW_STREAMS_PLATFORM_H_

#include <cstddef>
#include <cstdint>

// The operating-system calls the program makes for files and signals, kept in
// one place so that the rest of the code is plain C++ (the codec's memory
// calls are in platform_memory.h). Every function reports failure by its
// return value and leaves errno as the system set it.
namespace lzw::platform {

// What the program needs to know about a file.
struct FileInfo {
  bool is_regular = false;  // an ordinary file (not a directory, device, FIFO)
  bool is_symlink = false;  // only when asked not to follow links
  uint64_t size = 0;        // bytes, for regular files
  uint32_t mode = 0;        // permission bits (mode & 0777)
  uint64_t device = 0;      // device and inode identify the file itself
  uint64_t inode = 0;
};

// Opens a file for reading; -1 on failure.
int open_for_reading(const char* path);
// Describes an open file; false on failure.
bool describe(int descriptor, FileInfo* info);
// Describes a path; false when it does not exist or cannot be examined.
bool describe_path(const char* path, bool follow_links, FileInfo* info);
// Reads up to `count` bytes; returns the number read (0 at the end), or -1.
int64_t read_some(int descriptor, void* destination, size_t count);
// Writes all `count` bytes, at the current position or at `offset`.
bool write_all(int descriptor, const void* bytes, size_t count);
bool write_all_at(int descriptor, const void* bytes, size_t count, uint64_t offset);
// Closes a descriptor; false when the close reported an error.
bool close_file(int descriptor);

// Opens an existing destination that is not replaced but written where it
// stands (a link, a device), following the kernel's usual rules; -1 on failure.
int open_in_place(const char* path);
// Creates a new file from `path_template` (ending in XXXXXX, which is replaced
// by a random name) exclusively, and registers it for removal if the process
// is interrupted before `publish_temporary` or `remove_temporary`.
int create_temporary(char* path_template);
// Renames the temporary file over `destination` and deregisters it; the
// interruption signals are held off meanwhile, so the file is either still
// registered or already final.
bool publish_temporary(const char* temporary, const char* destination);
// Deletes the temporary file and deregisters it.
void remove_temporary(const char* temporary);
// Sets the permission bits exactly (no umask); failures are ignored.
void set_permissions(int descriptor, uint32_t mode);

// Process-wide settings made once in main: a file-size limit turns into a
// failed write instead of killing the process, and SIGINT, SIGTERM and SIGHUP
// remove the registered temporary file before the process dies of them.
void ignore_file_size_signal();
void install_interruption_cleanup();

}  // namespace lzw::platform

#endif  // LZW_STREAMS_PLATFORM_H_
