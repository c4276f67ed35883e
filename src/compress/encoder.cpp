#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#include <memory>

#include "compress/encoder_dictionary.h"
#include "lzw/lzw.h"
#include "streams/bit_file.h"
#include "streams/platform_memory.h"

namespace lzw {
namespace {

// At the start of a string its extensions up to about the length strings
// have lately reached are hashed and prefetched at once, so that their misses
// overlap; a string that outgrows them is probably a long one, and from then
// on its extensions are prefetched kLookahead bytes ahead of the lookups.
// Hashes beyond a string's end only waste prefetches, which would otherwise
// be most of the memory traffic on incompressible data: running ahead two
// bytes before a string had outgrown its depth made random bytes a tenth to a
// fifth slower, for 3-7% less time on the text tar. A string that runs ahead
// consumes its prefetched lookups far faster than a miss returns, so the
// reach must cover a miss: 24 bytes rather than 8 took 5-8% off the text tar,
// whose strings often run past a dozen bytes, and changed nothing elsewhere.
constexpr size_t kLeastDepth = 3;
constexpr size_t kLookahead = 24;
// Where a string will start is known only when the previous one ends, too
// late to prefetch what its first lookups need: the entry of its two bytes,
// and the buckets of its three- and four-byte extensions. So while strings
// are short (incompressible data), those three are prefetched for the string
// that may start this far ahead, at every position, whichever string turns
// out to start there. The four-byte bucket and the pair's entry, which
// another table's traffic pushes out of the near caches, took a tenth off
// random bytes. With longer strings most of those prefetches would be
// wasted and only crowd out useful ones.
constexpr size_t kSpeculation = 16;
// Speculation is on while the last kStringSample strings averaged fewer than
// kShortString bytes.
constexpr uint64_t kStringSample = 1024;
constexpr uint64_t kShortString = 5;
constexpr size_t kRing = 32;  // a power of two above kLookahead + 1
static_assert(std::has_single_bit(kRing) && kRing > kLookahead + 1);
// Bytes that must be buffered beyond the current one for a step of the loop:
// the speculative word at kSpeculation and the look-ahead's next byte.
constexpr size_t kWindowMargin = std::max(kLookahead, kSpeculation + 1) + 2;
// Room behind the buffered bytes. At the end of the input the loop reads up
// to a margin past it; those reads land here and only feed hashes and
// prefetches that no lookup ever uses, which keeps end-of-input tests out of
// the loop.
constexpr size_t kReadSlack = kWindowMargin + 4;
// A window must hold the margin kept from one fill to the next and more.
constexpr size_t kSmallestWindow = 4 * kWindowMargin;
// A low guess of the input bytes per dictionary entry (compressible data has
// more), so that the first table is rarely too large.
constexpr uint64_t kBytesPerEntryGuess = 8;

// The first three bytes at `bytes` as EncoderDictionary::triple_hash takes
// them, b0 | b1 << 8 | b2 << 16. Reads four.
uint32_t three_bytes(const uint8_t* bytes) {
  if constexpr (std::endian::native == std::endian::little) {
    uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word & 0xFFFFFFu;
  }
  return bytes[0] | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16;
}

void put_big_endian(uint32_t value, Header* header) {
  for (int i = 0; i < 4; ++i) (*header)[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// The content hashes of the current string's coming extensions, computed
// ahead of the lookups so that their buckets are prefetched in time, on the
// bet that the string goes on growing.
class LookAhead {
 public:
  // Begins the string at `start`, whose first three bytes are `first_three`
  // (one- and two-byte strings need no hash), and prefetches its extensions
  // up to `depth` bytes long. `byte_ahead` yields the input byte at a
  // position.
  template <typename ByteAt>
  void start(uint64_t start, uint32_t first_three, size_t depth, const ByteAt& byte_ahead,
             const EncoderDictionary& dictionary) {
    assert(depth >= kLeastDepth && depth <= kLookahead);
    ahead_ = start + 3;
    hash_ = EncoderDictionary::triple_hash(first_three);
    ring_[ahead_ % kRing] = dictionary.probe(hash_);
    running_ = false;
    while (ahead_ < start + depth) extend(byte_ahead, dictionary);
  }
  // Once the string runs ahead (its lookups have used up the depth prefetched
  // at its start), hashes and prefetches up to two more extensions, as long
  // as fewer than kLookahead lie beyond `next`: two a byte, so that a string
  // that outgrew its depth soon has kLookahead prefetched ahead of it.
  template <typename ByteAt>
  void widen(uint64_t next, const ByteAt& byte_ahead, const EncoderDictionary& dictionary) {
    if (!running_ && ahead_ > next) return;
    running_ = true;
    if (ahead_ >= next + kLookahead) return;
    extend(byte_ahead, dictionary);
    if (ahead_ < next + kLookahead) extend(byte_ahead, dictionary);
  }
  // The probe of the string from its start through position `last`.
  EncoderDictionary::Probe probe_through(uint64_t last) const {
    assert(last < ahead_ && ahead_ - last <= kRing);
    return ring_[(last + 1) % kRing];
  }
  // The probe of the three-byte string given to the latest start.
  EncoderDictionary::Probe first_probe(uint64_t start) const { return ring_[(start + 3) % kRing]; }

 private:
  template <typename ByteAt>
  void extend(const ByteAt& byte_ahead, const EncoderDictionary& dictionary) {
    hash_ = EncoderDictionary::extend_hash(hash_, byte_ahead(ahead_));
    const EncoderDictionary::Probe probe = dictionary.probe(hash_);
    ring_[++ahead_ % kRing] = probe;
    dictionary.prefetch(probe);
  }

  // ring_[j % kRing]: probe of the input from the string's start to before j.
  // Probes are made after the insertion that ended the previous string, and
  // the string's own lookups insert nothing until it ends, so none goes stale.
  EncoderDictionary::Probe ring_[kRing];
  uint64_t ahead_ = 0;    // hashes are known up to here
  uint64_t hash_ = 0;     // the hash at ahead_
  bool running_ = false;  // the string outlived its depth: keep kLookahead ahead
};

// Watches the strings' lengths: decides whether the first bucket of every
// possible string start is worth prefetching, and renews the estimate of the
// entries the whole input will need, so that the table grows straight to it.
class Sampler {
 public:
  bool speculating() const { return speculating_; }
  // How long the extensions prefetched at a string's start get: one more
  // than the sample's mean string length, rounded up, for the lookup that
  // ends such a string.
  size_t depth() const { return depth_; }
  // A string ended at `position`. `expected_size` is the input's expected
  // size, 0 when unknown.
  void count_string(uint64_t position, uint64_t expected_size, EncoderDictionary& dictionary) {
    if (++sampled_ < kStringSample) return;
    const uint64_t sampled_bytes = position - sample_start_;
    speculating_ = sampled_bytes < kStringSample * kShortString;
    depth_ = static_cast<size_t>(std::clamp<uint64_t>((sampled_bytes + kStringSample - 1) / kStringSample + 1,
                                                      kLeastDepth, kLookahead));
    sample_start_ = position;
    sampled_ = 0;
    // Entries come at a fairly steady rate per input byte.
    if (expected_size != 0) dictionary.expect(dictionary.count() * expected_size / position);
  }

 private:
  bool speculating_ = true;    // strings are short: prefetch ahead at every position
  size_t depth_ = kLeastDepth;  // extensions prefetched at a string's start
  uint64_t sample_start_ = 0;  // where the current sample of strings began
  uint64_t sampled_ = 0;       // strings in it so far
};

// Hands the caller's sink its bytes, noting the first failure.
class CodeWriter {
 public:
  explicit CodeWriter(Sink* sink) : archive_(sink) {}
  void write_header(uint32_t capacity) { archive_.write_bits(capacity, 32); }
  // Writes a code at the width its position in the archive calls for.
  void write(uint32_t code) { archive_.write_bits(code, code_width(++codes_written_)); }
  Status status() const { return archive_.status(); }
  Status close() { return archive_.close(); }

 private:
  BitFile archive_;             // the archive's bits
  uint64_t codes_written_ = 0;  // codes written so far
};

}  // namespace

// The coding loop is built twice, for any x86-64 and for the processors of
// the last decade (x86-64-v3: BMI2's shifts that need no count in cl, AVX2's
// byte broadcast), and the loader picks one as the program starts. The newer
// build runs 5.5% fewer instructions on text, and its fastest runs were 5-7%
// faster on the text tar, mixed data and random bytes.
#if defined(__x86_64__) && defined(__has_attribute)
#if __has_attribute(target_clones)
#define LZW_CLONED_FOR_NEWER_X86 __attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
#endif
#ifndef LZW_CLONED_FOR_NEWER_X86
#define LZW_CLONED_FOR_NEWER_X86
#endif

struct Encoder::State {
  State(Sink* sink, uint64_t input_size, const Limits& limits);

  Status take(size_t count);
  Status finish(Header* header);
  // Codes the input from next_ on until `limit`, which lies at most a margin
  // before the buffered end, or at the input's end when it is whole.
  Status code_until(uint64_t limit);
  uint64_t buffered_end() const { return base_ + filled_; }
  uint64_t expected_size() const { return input_size_ == kUnknownSize ? 0 : std::max(input_size_, buffered_end()); }

  const uint64_t input_size_;          // the size promised, or kUnknownSize
  Header provisional_header_;          // the header the sink is given first
  const size_t window_bytes_;          // capacity of window_ before its slack
  EncoderDictionary dictionary_;       // the string table
  CodeWriter codes_;                   // the archive
  std::unique_ptr<uint8_t[]> window_;  // buffered input, window_[0] at input position base_
  uint64_t base_ = 0;                  // input position of window_[0]
  size_t filled_ = 0;                  // valid bytes in window_
  uint64_t next_ = 0;                  // the byte that extends the string; 0 before the first byte
  uint32_t current_ = 0;               // code of the longest string matched so far
  LookAhead look_ahead_;               // hashes of the coming extensions
  Sampler sampler_;                    // speculation and the entry estimate
  Status status_ = kOk;                // the first failure
};

Encoder::State::State(Sink* sink, uint64_t input_size, const Limits& limits)
    : input_size_(input_size),
      window_bytes_(std::max(limits.window_bytes, kSmallestWindow)),
      codes_(sink),
      window_(new uint8_t[window_bytes_ + kReadSlack]) {
  // The window's pages are committed in one call, not a fault each as the
  // input arrives: with the pairs' table likewise, that took 3% off
  // compressing the 1.8 MB corpus, where faults cost as much as a tenth of
  // the time. Only the slack past the input's end needs zeros (see finish);
  // zeroing the whole window cost another 4% there.
  platform::commit(window_.get(), window_bytes_ + kReadSlack);
  const bool known = input_size != kUnknownSize && input_size_supported(input_size);
  const uint32_t capacity = estimate_dictionary_capacity(known ? static_cast<int32_t>(input_size) : 0);
  put_big_endian(capacity, &provisional_header_);
  codes_.write_header(capacity);
  status_ = dictionary_.initialize(limits.memory_bytes, known ? input_size / kBytesPerEntryGuess : 0);
}

LZW_CLONED_FOR_NEWER_X86
Status Encoder::State::code_until(uint64_t limit) {
  assert(limit <= buffered_end());
  if (next_ == 0 && limit == 0) return kOk;
  // The loop's state in locals, so that stores to the table do not make the
  // compiler reload it.
  const uint8_t* const window = window_.get();
  const uint64_t base = base_;
  const uint64_t expected_size = this->expected_size();
  EncoderDictionary& dictionary = dictionary_;
  LookAhead look_ahead = look_ahead_;
  Sampler sampler = sampler_;
  uint32_t current = current_;
  uint64_t next = next_;
  auto byte_at = [window, base](uint64_t position) { return window[position - base]; };
  Status status = kOk;
  if (next == 0) {
    // The first string starts with the first byte.
    current = window[0];
    look_ahead.start(0, three_bytes(window), sampler.depth(), byte_at, dictionary);
    next = 1;
  }

  // Each step extends the current string by the byte at `next`.
  auto step = [&] {
    if (sampler.speculating()) {
      const uint8_t* ahead = &window[next + kSpeculation - base];
      const uint64_t triple = EncoderDictionary::triple_hash(three_bytes(ahead));
      dictionary.prefetch(triple);
      dictionary.prefetch(EncoderDictionary::extend_hash(triple, ahead[3]));
      dictionary.prefetch_pair(ahead[0], ahead[1]);
    }
    look_ahead.widen(next, byte_at, dictionary);
  };
  // The string ends before `next`: its code goes out and a new string starts
  // with the byte at `next`, whose three-byte bucket was prefetched
  // speculatively or is prefetched now.
  auto end_string = [&] {
    codes_.write(current);
    current = byte_at(next);
    look_ahead.start(next, three_bytes(&window[next - base]), sampler.depth(), byte_at, dictionary);
    if (!sampler.speculating()) dictionary.prefetch(look_ahead.first_probe(next));
    sampler.count_string(next, expected_size, dictionary);
    ++next;
  };
  while (next < limit) {
    // A string's first extension: two-byte strings have a table of their
    // own, which never fails.
    if (current < 256) {
      step();
      const int32_t pair = dictionary.lookup_or_insert_pair(static_cast<uint8_t>(current), byte_at(next));
      if (pair < 0) {
        end_string();
        continue;
      }
      current = static_cast<uint32_t>(pair);
      ++next;
    }
    // Its longer extensions, as long as the table has them.
    int32_t found = 0;
    while (next < limit) {
      step();
      found = dictionary.lookup_or_insert(current, look_ahead.probe_through(next));
      if (found < 0) break;
      current = static_cast<uint32_t>(found);
      ++next;
    }
    if (found >= 0) break;  // the string goes on past `limit`
    if (found == EncoderDictionary::kNoMemory) {
      status = kOutOfMemory;
      break;
    }
    end_string();
  }
  look_ahead_ = look_ahead;
  sampler_ = sampler;
  current_ = current;
  next_ = next;
  return status != kOk ? status : codes_.status();
}

Status Encoder::State::take(size_t count) {
  assert(filled_ + count <= window_bytes_);
  filled_ += count;
  if (!input_size_supported(buffered_end())) return kInputTooLarge;
  if (filled_ < window_bytes_) return kOk;
  return code_until(buffered_end() - kWindowMargin);
}

Status Encoder::State::finish(Header* header) {
  const uint64_t size = buffered_end();
  // The last strings' look-ahead reads past the input's end: give it zeros.
  std::memset(window_.get() + filled_, 0, kReadSlack);
  Status status = code_until(size);
  if (status != kOk) return status;
  if (size > 0) codes_.write(current_);
  status = codes_.close();
  if (status != kOk) return status;
  // An input with more distinct strings than the estimate allowed for gets
  // the header of a dictionary that holds every possible entry; the codes
  // never depend on it.
  const uint32_t capacity = estimate_dictionary_capacity(static_cast<int32_t>(size));
  put_big_endian(dictionary_.count() > capacity ? static_cast<uint32_t>(size + 256) : capacity, header);
  return kOk;
}

Encoder::Encoder(Sink* sink, uint64_t input_size, const Limits& limits)
    : state_(new State(sink, input_size, limits)) {}

Encoder::~Encoder() = default;

uint8_t* Encoder::input_space(size_t* room) {
  State& s = *state_;
  if (s.filled_ == s.window_bytes_) {
    // Everything before next_ is coded: keep only the margin after it.
    const size_t coded = static_cast<size_t>(s.next_ - s.base_);
    std::memmove(s.window_.get(), s.window_.get() + coded, s.filled_ - coded);
    s.base_ = s.next_;
    s.filled_ -= coded;
  }
  *room = s.window_bytes_ - s.filled_;
  return s.window_.get() + s.filled_;
}

Status Encoder::commit_input(size_t count) {
  State& s = *state_;
  if (s.status_ == kOk) s.status_ = s.take(count);
  return s.status_;
}

Status Encoder::update(const uint8_t* bytes, size_t count) {
  while (count > 0 && state_->status_ == kOk) {
    size_t room;
    uint8_t* space = input_space(&room);
    const size_t step = std::min(room, count);
    std::memcpy(space, bytes, step);
    commit_input(step);
    bytes += step;
    count -= step;
  }
  return state_->status_;
}

Status Encoder::finish(Header* header) {
  State& s = *state_;
  if (s.status_ == kOk) s.status_ = s.finish(header);
  return s.status_;
}

Header Encoder::provisional_header() const { return state_->provisional_header_; }

uint64_t Encoder::input_bytes() const { return state_->buffered_end(); }

namespace {

// Appends what it is given to a vector.
class VectorSink : public Sink {
 public:
  explicit VectorSink(std::vector<uint8_t>* bytes) : bytes_(bytes) {}
  Status put(const uint8_t* bytes, size_t count) override {
    bytes_->insert(bytes_->end(), bytes, bytes + count);
    return kOk;
  }

 private:
  std::vector<uint8_t>* bytes_;  // the destination
};

}  // namespace

Status compress(const uint8_t* input, size_t size, std::vector<uint8_t>* archive, const Limits& limits) {
  archive->clear();
  if (!input_size_supported(size)) return kInputTooLarge;
  VectorSink sink(archive);
  Encoder encoder(&sink, size, limits);
  Header header;
  Status status = encoder.update(input, size);
  if (status == kOk) status = encoder.finish(&header);
  if (status != kOk) return status;
  std::copy(header.begin(), header.end(), archive->begin());
  return kOk;
}

}  // namespace lzw
