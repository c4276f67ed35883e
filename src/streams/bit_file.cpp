#include "streams/bit_file.h"

namespace lzw {

BitFile::BitFile(BlockFile* file) : file_(file) {}

BitFile::BitFile(BlockFile* file, uint64_t file_bytes) : file_(file), total_bits_(file_bytes * 8) {}

void BitFile::drain() {
  Status written = file_->write(staging_, staged_);
  if (status_ == kOk) status_ = written;
  staged_ = 0;
}

bool BitFile::refill() {
  Status read_status = kOk;
  staged_end_ = file_->read(staging_, kStagingBytes, &read_status);
  staged_ = 0;
  if (read_status != kOk || staged_end_ == 0) {
    status_ = read_status != kOk ? read_status : kCannotReadInput;
    return false;
  }
  return true;
}

Status BitFile::close() {
  if (pending_count_ > 0) {
    unsigned filler = 8 - pending_count_;
    uint8_t mask = static_cast<uint8_t>((1u << filler) - 1);
    put_byte(static_cast<uint8_t>((pending_ << filler) & ~mask) | (last_byte_ & mask));
    pending_count_ = 0;
  }
  drain();
  Status flushed = file_->flush();
  return status_ != kOk ? status_ : flushed;
}

}  // namespace lzw
