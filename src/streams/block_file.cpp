#include "streams/block_file.h"

#include <cstring>

namespace lzw {

BlockFile::BlockFile(size_t block_size)
    : block_size_(block_size) {}

BlockFile::~BlockFile() {
  if (owns_descriptor_) platform::close_file(descriptor_);
}

Status BlockFile::open_for_reading(const char* name) {
  descriptor_ = platform::open_for_reading(name);
  if (descriptor_ < 0) return kCannotOpenInput;
  owns_descriptor_ = true;
  if (!platform::describe(descriptor_, &info_) || !info_.is_regular) return kCannotOpenInput;
  return kOk;
}

size_t BlockFile::read(uint8_t* destination, size_t count, Status* status) {
  size_t delivered = 0;
  while (delivered < count) {
    const int64_t result = platform::read_some(descriptor_, destination + delivered, count - delivered);
    if (result < 0) {
      *status = kCannotReadInput;
      return 0;
    }
    if (result == 0) break;
    delivered += static_cast<size_t>(result);
  }
  return delivered;
}

void BlockFile::open_for_writing(int descriptor) {
  // Readers read straight into their callers' buffers: only writers need a block.
  if (buffer_ == nullptr) buffer_.reset(new uint8_t[block_size_]);
  descriptor_ = descriptor;
  owns_descriptor_ = false;
  position_ = 0;
}

Status BlockFile::write(const uint8_t* bytes, size_t count) {
  if (count == 0) return kOk;  // `bytes` may then be null
  if (position_ + count < block_size_) {
    std::memcpy(buffer_.get() + position_, bytes, count);
    position_ += count;
    return kOk;
  }
  if (flush() != kOk || !platform::write_all(descriptor_, bytes, count)) return kCannotWriteOutput;
  return kOk;
}

Status BlockFile::flush() {
  if (position_ == 0) return kOk;
  bool written = platform::write_all(descriptor_, buffer_.get(), position_);
  position_ = 0;
  return written ? kOk : kCannotWriteOutput;
}

}  // namespace lzw
