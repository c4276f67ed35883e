#include "streams/bit_file.h"

namespace lzw {

BitFile::BitFile(Sink* sink) : sink_(sink) {}

BitFile::BitFile() = default;

void BitFile::drain() {
  if (staged_ == 0) return;
  last_drained_ = staging_[staged_ - 1];
  Status written = sink_->put(staging_, staged_);
  if (status_ == kOk) status_ = written;
  staged_ = 0;
}

Status BitFile::close() {
  if (pending_count_ > 0) {
    const uint8_t last_byte = staged_ > 0 ? staging_[staged_ - 1] : last_drained_;
    unsigned filler = 8 - pending_count_;
    uint8_t mask = static_cast<uint8_t>((1u << filler) - 1);
    put_byte(static_cast<uint8_t>((pending_ << filler) & ~mask) | (last_byte & mask));
    pending_count_ = 0;
  }
  drain();
  return status_;
}

}  // namespace lzw
