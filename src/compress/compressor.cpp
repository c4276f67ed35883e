#include "compress/compressor.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <string>

#include "compress/dictionary_sizing.h"
#include "compress/encoder_dictionary.h"
#include "streams/bit_file.h"
#include "streams/block_file.h"
#include "streams/destination.h"

namespace lzw {
namespace {

constexpr size_t kChunk = 1 << 20;
// How far ahead of the current byte the current string's coming extensions
// are hashed and their buckets prefetched.
constexpr size_t kLookahead = 8;
// Where a string will start is known only when the previous one ends, too
// late to prefetch its first bucket (the one of its three-byte prefix, since
// two-byte strings have their own table). So while strings are short
// (incompressible data), the three-byte string starting this far ahead is
// prefetched at every position, whichever string turns out to start there.
// With longer strings most of those prefetches would be wasted and only
// crowd out useful ones.
constexpr size_t kSpeculation = 16;
// Speculation is on while the last kStringSample strings averaged fewer than
// kShortString bytes.
constexpr uint64_t kStringSample = 1024;
constexpr uint64_t kShortString = 5;
constexpr size_t kRing = 32;  // a power of two above kLookahead + 1
// Bytes that must be buffered beyond the current one for a step of the loop.
constexpr size_t kWindowMargin = std::max(kLookahead, kSpeculation + 1) + 2;
// Room behind the buffered bytes. Near the end of the input the loop reads up
// to a margin past it (and a word at its last bytes); those reads land here
// and only feed hashes and prefetches that no lookup ever uses, which keeps
// end-of-input tests out of the loop.
constexpr size_t kReadSlack = kWindowMargin + 4;

// A low guess of the input bytes per dictionary entry (compressible data
// has more), so that the first table is rarely too large.
constexpr uint64_t kBytesPerEntryGuess = 8;

// Writes codes at the width their position in the archive calls for.
class CodeWriter {
 public:
  explicit CodeWriter(BitFile* archive) : archive_(archive) {}
  void write(uint32_t code) {
    archive_->write_bits(code, code_width(++codes_written_));
  }
 private:
  BitFile* archive_;            // destination of the codes
  uint64_t codes_written_ = 0;  // codes written so far
};

// The input bytes from the current position on, refilled in large chunks.
class InputWindow {
 public:
  explicit InputWindow(BlockFile* input)
      : input_(input), bytes_(new uint8_t[kChunk + kWindowMargin + kReadSlack]()), end_(input->remaining()) {}

  uint64_t end() const { return end_; }
  // The buffered bytes, bytes()[0] being the input's byte at base().
  const uint8_t* bytes() const { return bytes_.get(); }
  uint64_t base() const { return base_; }
  // Makes [position, position + kWindowMargin) readable (as far as the input
  // goes) and returns the position up to which the loop may run before the
  // next refill.
  Status advance_to(uint64_t position, uint64_t* limit) {
    const uint64_t buffered_end = base_ + filled_;
    const size_t kept = static_cast<size_t>(buffered_end - position);
    std::copy(bytes_.get() + (position - base_), bytes_.get() + filled_, bytes_.get());
    base_ = position;
    filled_ = kept;
    Status status = kOk;
    filled_ += input_->read(bytes_.get() + kept, kChunk + kWindowMargin - kept, &status);
    if (status != kOk) return status;
    const uint64_t new_end = base_ + filled_;
    *limit = new_end == end_ ? end_ : new_end - kWindowMargin;
    return kOk;
  }

 private:
  BlockFile* input_;                 // the source of bytes
  std::unique_ptr<uint8_t[]> bytes_; // buffered input
  uint64_t base_ = 0;                // input position of bytes_[0]
  size_t filled_ = 0;                // valid bytes in bytes_
  uint64_t end_;                     // the input's size
};

// The LZW loop. Each lookup extends the current string by one byte. The
// content hashes of the coming extensions are kept in a ring and their
// buckets prefetched, on the bet that the string goes on growing; the
// look-ahead starts short with each string and widens as the string lasts,
// since most strings end after a few bytes.
Status encode(InputWindow& input, EncoderDictionary& dictionary, CodeWriter& codes) {
  const uint64_t end = input.end();
  if (end == 0) return kOk;
  // Copies of the window's state kept in locals, so that the loop does not
  // reload them after every store.
  uint64_t limit;
  const uint8_t* window = input.bytes();
  uint64_t base = 0;
  auto byte_at = [&](uint64_t position) { return window[position - base]; };
  Status status = input.advance_to(0, &limit);
  if (status != kOk) return status;

  // The first three bytes from `position`, for EncoderDictionary::triple_hash.
  auto three_bytes_at = [&](uint64_t position) {
    if constexpr (std::endian::native == std::endian::little) {
      uint32_t word;
      std::memcpy(&word, window + (position - base), sizeof word);
      return word & 0xFFFFFFu;
    }
    return byte_at(position) | uint32_t{byte_at(position + 1)} << 8 | uint32_t{byte_at(position + 2)} << 16;
  };

  bool speculate = true;
  uint64_t sample_start = 0;  // where the current sample of strings began
  uint64_t sampled = 0;       // strings in it so far
  auto sample_string = [&](uint64_t position) {
    if (++sampled < kStringSample) return;
    speculate = position - sample_start < kStringSample * kShortString;
    sample_start = position;
    sampled = 0;
    // Entries come at a fairly steady rate per input byte.
    dictionary.expect(dictionary.count() * end / position);
  };

  uint64_t hashes[kRing];  // hashes[j % kRing]: hash of the input from the string's start to j
  uint64_t ahead = 0;      // hashes are known up to here
  uint64_t ahead_hash = 0; // the hash at `ahead`
  auto look_further = [&] {
    ahead_hash = EncoderDictionary::extend_hash(ahead_hash, byte_at(ahead));
    hashes[++ahead % kRing] = ahead_hash;
    dictionary.prefetch(ahead_hash);
  };
  // One- and two-byte strings need no hash. The three-byte string's bucket
  // was prefetched speculatively, or else is prefetched now.
  auto start_string = [&](uint64_t position) {
    ahead = position + 3;
    ahead_hash = EncoderDictionary::triple_hash(three_bytes_at(position));
    hashes[ahead % kRing] = ahead_hash;
    if (!speculate) dictionary.prefetch(ahead_hash);
  };

  uint32_t current = byte_at(0);  // code of the longest string matched so far
  start_string(0);
  for (uint64_t next = 1; next < end;) {  // next: the byte that extends the string
    if (next >= limit) {
      status = input.advance_to(next, &limit);
      if (status != kOk) return status;
      base = input.base();
    }
    if (speculate) dictionary.prefetch(EncoderDictionary::triple_hash(three_bytes_at(next + kSpeculation)));
    if (ahead < next + kLookahead) look_further();
    if (ahead < next + kLookahead) look_further();
    const int32_t found = current < 256 ? dictionary.lookup_or_insert_pair(static_cast<uint8_t>(current), byte_at(next))
                                        : dictionary.lookup_or_insert(current, hashes[(next + 1) % kRing]);
    if (found >= 0) {
      current = static_cast<uint32_t>(found);
      ++next;
      continue;
    }
    if (found == EncoderDictionary::kNoMemory) return kOutOfMemory;
    codes.write(current);
    current = byte_at(next);
    start_string(next);
    sample_string(next);
    ++next;
  }
  codes.write(current);
  return kOk;
}

void put_big_endian(uint32_t value, uint8_t bytes[4]) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

}  // namespace

bool input_size_supported(uint64_t bytes) { return bytes < (uint64_t{1} << 31); }

Status compress_file(const char* input_name, const Limits& limits) {
  BlockFile input;
  Status status = input.open_for_reading(input_name);
  if (status != kOk) return status;
  const uint64_t size = input.info().size;
  if (!input_size_supported(size)) return kInputTooLarge;

  Destination destination;
  status = destination.create((std::string(input_name) + ".LZW").c_str(), input.info());
  if (status != kOk) return status;
  EncoderDictionary dictionary;
  status = dictionary.initialize(limits.memory_bytes, size / kBytesPerEntryGuess);
  if (status != kOk) return status;

  BlockFile archive_file;
  archive_file.open_for_writing(destination.descriptor());
  BitFile archive(&archive_file);
  const uint32_t capacity = estimate_dictionary_capacity(static_cast<int32_t>(size));
  archive.write_bits(capacity, 32);
  InputWindow window(&input);
  CodeWriter codes(&archive);
  status = encode(window, dictionary, codes);
  if (status != kOk) return status;
  status = archive.close();
  if (status != kOk) return status;

  // An input with more distinct strings than the estimate allowed for gets
  // the header of a dictionary that holds every possible entry; the codes
  // never depend on it.
  if (dictionary.count() > capacity) {
    uint8_t header[4];
    put_big_endian(static_cast<uint32_t>(size + 256), header);
    status = destination.write_at(0, header, sizeof header);
    if (status != kOk) return status;
  }
  return destination.commit();
}

}  // namespace lzw
