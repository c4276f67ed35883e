#ifndef LZW_STREAMS_BLOCK_FILE_H_
#define LZW_STREAMS_BLOCK_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "lzw/lzw.h"
#include "streams/platform.h"

namespace lzw {

// One binary file, read to its end or written a block at a time.
//
// A reader delivers the file's bytes until the file ends, whatever size it
// claimed when opened: files of /proc and /sys claim 0 or 4096 bytes, and a
// file may grow or shrink while it is read. A writer collects bytes in
// its block and hands whole blocks to a descriptor that someone else owns (see
// Destination); `flush` writes the partial last block and must be called
// before the descriptor is closed. A writer is the Sink of an Encoder or a
// Decoder that writes a file.
class BlockFile : public Sink {
 public:
  // Writes reach the file `block_size` bytes at a time, or more.
  explicit BlockFile(size_t block_size = 64 * 1024);
  ~BlockFile() override;
  BlockFile(const BlockFile&) = delete;
  BlockFile& operator=(const BlockFile&) = delete;

  // Reading. Fails with kCannotOpenInput when the file cannot be opened or is
  // not a regular file.
  Status open_for_reading(const char* name);
  // The file as it was opened; its size is a hint.
  const platform::FileInfo& info() const { return info_; }
  // Delivers `count` bytes, or fewer at the end of the file; returns how many
  // were delivered (0 at the end), or sets *status to kCannotReadInput.
  size_t read(uint8_t* destination, size_t count, Status* status);

  // Writing onto a descriptor that stays owned by the caller.
  void open_for_writing(int descriptor);
  Status write(const uint8_t* bytes, size_t count);
  Status put(const uint8_t* bytes, size_t count) override { return write(bytes, count); }
  Status flush();

 private:
  std::unique_ptr<uint8_t[]> buffer_;  // writing: the current block
  size_t block_size_;                  // capacity of buffer_
  size_t position_ = 0;                // writing: next byte to fill
  int descriptor_ = -1;                // the file
  bool owns_descriptor_ = false;       // readers own theirs, writers do not
  platform::FileInfo info_;            // reading: the file as opened
};

}  // namespace lzw

#endif  // LZW_STREAMS_BLOCK_FILE_H_
