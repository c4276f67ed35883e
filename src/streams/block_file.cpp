#include "streams/block_file.h"

#include <algorithm>
#include <cstring>

namespace lzw {

BlockFile::BlockFile(size_t block_size)
    : buffer_(new uint8_t[block_size]), block_size_(block_size) {}

BlockFile::~BlockFile() {
  if (owns_descriptor_) platform::close_file(descriptor_);
}

Status BlockFile::open_for_reading(const char* name) {
  descriptor_ = platform::open_for_reading(name);
  if (descriptor_ < 0) return kCannotOpenInput;
  owns_descriptor_ = true;
  if (!platform::describe(descriptor_, &info_) || !info_.is_regular) return kCannotOpenInput;
  unfetched_ = info_.size;
  return kOk;
}

bool BlockFile::fetch(uint8_t* destination, size_t count, Status* status) {
  for (size_t got = 0; got < count;) {
    int64_t result = platform::read_some(descriptor_, destination + got, count - got);
    if (result <= 0) {  // an error, or the file is shorter than when it was measured
      *status = kCannotReadInput;
      return false;
    }
    got += static_cast<size_t>(result);
  }
  unfetched_ -= count;
  return true;
}

size_t BlockFile::read(uint8_t* destination, size_t count, Status* status) {
  count = static_cast<size_t>(std::min<uint64_t>(count, remaining()));
  size_t delivered = 0;
  while (delivered < count) {
    if (position_ == filled_) {
      const size_t wanted = count - delivered;
      if (wanted >= block_size_) {
        // A whole block or more: straight into the caller's buffer.
        if (!fetch(destination + delivered, wanted, status)) return 0;
        return count;
      }
      const size_t block = static_cast<size_t>(std::min<uint64_t>(block_size_, unfetched_));
      if (!fetch(buffer_.get(), block, status)) return 0;
      position_ = 0;
      filled_ = block;
    }
    size_t step = std::min(count - delivered, filled_ - position_);
    std::memcpy(destination + delivered, buffer_.get() + position_, step);
    position_ += step;
    delivered += step;
  }
  return delivered;
}

void BlockFile::open_for_writing(int descriptor) {
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
