#ifndef LZW_STREAMS_DESTINATION_H_
#define LZW_STREAMS_DESTINATION_H_

#include <cstdint>
#include <string>

#include "lzw/lzw.h"
#include "streams/platform.h"

namespace lzw {

// The file a run writes, handled so that a file under the destination's name
// is always complete and nothing that existed is lost.
//
// A destination that is a regular file, or a new name, is written to a
// temporary file in the same directory, which `commit` renames over it with
// the source's permission bits; until then, and on every failure, the
// temporary file is removed when the Destination is destroyed and the earlier
// file stays as it was. A destination that is a symbolic link or exists and is
// not a regular file (a device) is written where it stands and never removed.
class Destination {
 public:
  Destination() = default;
  ~Destination();
  Destination(const Destination&) = delete;
  Destination& operator=(const Destination&) = delete;

  // Refuses (kCannotCreateOutput) a path that leads to `source` itself or
  // that cannot be created; nothing is touched then.
  Status create(const char* path, const platform::FileInfo& source);
  int descriptor() const { return descriptor_; }
  // Overwrites bytes already written; kCannotWriteOutput where the
  // destination cannot seek (a pipe or some devices).
  Status write_at(uint64_t offset, const uint8_t* bytes, size_t count);
  // Makes the written file final. On failure (kCannotWriteOutput) the
  // temporary file is removed and the earlier file kept.
  Status commit();

 private:
  void discard();

  std::string path_;             // the destination's name
  std::string temporary_path_;   // empty when written in place
  uint32_t mode_ = 0;            // permission bits for the new file
  int descriptor_ = -1;          // open while writing
};

}  // namespace lzw

#endif  // LZW_STREAMS_DESTINATION_H_
