#ifndef LZW_STREAMS_BLOCK_FILE_H_
#define LZW_STREAMS_BLOCK_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "lzw/lzw.h"
#include "streams/platform.h"

namespace lzw {

// One binary file read or written a block at a time.
//
// A reader is measured when it is opened and delivers exactly that many bytes:
// a file that grows meanwhile is read as it was, and one that shrinks is a
// read failure rather than a source of stale bytes. A writer collects bytes in
// its block and hands whole blocks to a descriptor that someone else owns (see
// Destination); `flush` writes the partial last block and must be called
// before the descriptor is closed. A writer is the Sink of an Encoder or a
// Decoder that writes a file.
class BlockFile : public Sink {
 public:
  explicit BlockFile(size_t block_size = 64 * 1024);
  ~BlockFile() override;
  BlockFile(const BlockFile&) = delete;
  BlockFile& operator=(const BlockFile&) = delete;

  // Reading. Fails with kCannotOpenInput when the file cannot be opened or is
  // not a regular file.
  Status open_for_reading(const char* name);
  const platform::FileInfo& info() const { return info_; }
  // Bytes not yet delivered.
  uint64_t remaining() const { return unfetched_ + (filled_ - position_); }
  // Delivers min(count, remaining()) bytes; returns how many were delivered,
  // or sets *status to kCannotReadInput and returns 0.
  size_t read(uint8_t* destination, size_t count, Status* status);

  // Writing onto a descriptor that stays owned by the caller.
  void open_for_writing(int descriptor);
  Status write(const uint8_t* bytes, size_t count);
  Status put(const uint8_t* bytes, size_t count) override { return write(bytes, count); }
  Status flush();

 private:
  // Reads exactly `count` of the bytes not yet fetched into `destination`.
  bool fetch(uint8_t* destination, size_t count, Status* status);

  std::unique_ptr<uint8_t[]> buffer_;  // the current block
  size_t block_size_;                  // capacity of buffer_
  size_t position_ = 0;                // next byte to deliver or to fill
  size_t filled_ = 0;                  // reading: valid bytes in buffer_
  int descriptor_ = -1;                // the file
  bool owns_descriptor_ = false;       // readers own theirs, writers do not
  platform::FileInfo info_;            // reading: the file as opened
  uint64_t unfetched_ = 0;             // reading: bytes not yet read from the file
};

}  // namespace lzw

#endif  // LZW_STREAMS_BLOCK_FILE_H_
