#ifndef LZW_STREAMS_DESTINATION_H_
#define LZW_STREAMS_DESTINATION_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "lzw/lzw.h"
#include "streams/platform.h"

namespace lzw {

// The file a run writes, handled so that a file under the destination's name
// is always complete, nothing that existed is lost, and nobody else's link
// redirects the run.
//
// A destination that is a regular file, or a new name, is written to a
// temporary file in the same directory, which `commit` renames over it with
// the source's permission bits, times and (for root, where the source's owner
// owns the directory) owner; until then, and on every failure, the temporary
// file is removed when the Destination is destroyed and the earlier file
// stays as it was.
//
// A destination that exists and is a symbolic link or not a regular file (a
// device, a FIFO with a reader) is written where it stands and keeps its own
// metadata, but only once nothing but a write can fail: `commit` empties it
// and writes the whole content. A link is followed only where the kernel's
// protected-symlinks rule would follow it (in a sticky, world-writable
// directory, only a link of the caller or of the directory's owner) and, for
// root, only a link of root's own; a device or FIFO in such a directory
// follows the same owner rule.
class Destination {
 public:
  // How the content reaches the destination.
  enum class Content {
    kStreamed,  // written to descriptor() before commit(); held in a temporary file
    kInMemory,  // handed whole to commit(bytes, count), or mapped from descriptor() where it is not -1
  };

  Destination() = default;
  ~Destination();
  Destination(const Destination&) = delete;
  Destination& operator=(const Destination&) = delete;

  // Refuses (kCannotCreateOutput) a path that leads to `source` itself, that
  // cannot be created or replaced under its final name, or that is a link or
  // device the rules above do not allow; nothing is touched then.
  Status create(const char* path, const platform::FileInfo& source, Content content);
  // The temporary file the content is written to; -1 for content in memory
  // that goes in place.
  int descriptor() const { return temporary_; }
  // Overwrites bytes of the streamed content already written.
  Status write_at(uint64_t offset, const uint8_t* bytes, size_t count);
  // Makes the streamed content final. On failure (kCannotWriteOutput) the
  // temporary file is removed and an earlier file kept.
  Status commit();
  // Writes `bytes` and makes them final, likewise.
  Status commit(const uint8_t* bytes, size_t count);

 private:
  // Judges an existing destination that is written in place.
  Status accept_in_place(const platform::FileInfo& existing, const platform::FileInfo& directory);
  Status commit_in_place(const uint8_t* bytes, size_t count);
  void discard();

  std::string path_;                 // the destination's name
  std::string temporary_path_;       // the temporary file, empty once gone
  platform::FileInfo source_;        // whose metadata a new file gets
  bool with_owner_ = false;          // the new file also gets the source's owner
  bool in_place_ = false;            // written where it stands
  platform::FileInfo link_;          // in place through a link: the link as judged
  int target_ = -1;                  // in place: the open destination, if it exists yet
  int temporary_ = -1;               // the temporary file, open while writing
};

}  // namespace lzw

#endif  // LZW_STREAMS_DESTINATION_H_
