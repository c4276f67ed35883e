#include "compress/encoder_dictionary.h"

#include <algorithm>
#include <bit>

#include "streams/platform_memory.h"

namespace lzw {
namespace {

// For a fixed prefix, last bytes b1 != b2 give hashes whose difference is
// d * kMultiplier (mod 2^64) with 0 < |d| < 256, for extend_hash and, the
// last byte being moved to the bottom, for triple_hash alike. When every such
// product keeps at least 2^(64 - bits) away from 0 modulo 2^64, the top `bits`
// bits of the two hashes differ: a string's t and its prefix pin its last
// byte down exactly.
constexpr bool tags_tell_bytes_apart(uint64_t multiplier, unsigned bits) {
  for (uint64_t d = 1; d < 256; ++d) {
    const uint64_t product = d * multiplier;
    const uint64_t gap = uint64_t{1} << (64 - bits);
    if (product < gap || product > ~uint64_t{0} - gap + 1) return false;
  }
  return true;
}

constexpr size_t kPairBytes = 65536 * sizeof(uint32_t);
constexpr size_t kFirstBucketCount = 1024;
// The estimate takes the input for hardly compressible; a first table sized
// by it would hold the few thousand entries of a file of zeros in hundreds
// of megabytes. With at most 2^20 buckets at first, t still gets 29 bits,
// enough for the largest input.
constexpr size_t kFirstMostBuckets = size_t{1} << 20;
constexpr uint64_t kSmallFirstBuckets = uint64_t{1} << 16;  // 4 MiB
// Small tables double; large ones grow in smaller steps (see grow).
constexpr size_t kGentleGrowthFrom = (size_t{32} << 20) / 64;
constexpr size_t kAlignment = 64;
// The table grows when four-fifths full. Fuller, so many buckets are full
// that lookups fetch a second line and insertions shift strings along lines
// nobody prefetched: at nine-tenths, mixed data took a tenth longer to save
// 3% of the memory.
constexpr size_t kFullLoadTenths = 8;
// A bucket holds at most 512 values of t (see position_bits_).
constexpr unsigned kSlotBitsOfT = 9;
constexpr unsigned kLeastPositionBits = 10 + kSlotBitsOfT;
constexpr unsigned kMostPositionBits = 31;
// Fewer pages than this are committed by the thread that touches them: a
// thread of its own would cost more than it spares.
constexpr size_t kLeastBackgroundCommit = size_t{8} << 20;


uint64_t stash_bytes(size_t capacity) { return uint64_t{capacity} * 12; }

}  // namespace

static_assert(tags_tell_bytes_apart(0x9E3779B97F4A7C15u, kLeastPositionBits));

uint64_t EncoderDictionary::buckets_for(uint64_t entries) {
  return entries * 10 / (kSlots * kFullLoadTenths - 3) + 1;
}

EncoderDictionary::~EncoderDictionary() {
  committer_.stop();
  platform::release(pairs_);
  platform::release(block_);
  platform::release(stash_);
  platform::release(loose_);
}

Status EncoderDictionary::initialize(uint64_t memory_limit, uint64_t expected_entries) {
  if (memory_limit < kPairBytes) return kOutOfMemory;
  memory_limit_ = memory_limit - kPairBytes;
  pairs_ = static_cast<uint32_t*>(platform::allocate_zeroed(kPairBytes));
  if (pairs_ == nullptr) return kOutOfMemory;
  platform::commit(pairs_, kPairBytes);  // read at random from the start: one call, not a fault a page
  // Half the estimate, since a compressible input needs far fewer entries
  // (40 MB of zeros a few thousand) and every page they scatter over is
  // resident; but twice it up to kSmallFirstBuckets, an entry per 4 input
  // bytes, where that costs little memory and spares the growths that sweep
  // the table: the 1.8 MB corpus (an entry per 5.3 bytes) then never grows,
  // which saved 7% of its instructions and a quarter of its page faults.
  const uint64_t estimate = buckets_for(expected_entries);
  const size_t first = static_cast<size_t>(std::clamp<uint64_t>(
      std::max(std::min(2 * estimate, kSmallFirstBuckets), estimate / 2), kFirstBucketCount, kFirstMostBuckets));
  // t has 9 bits more than the first table's bucket count, so that no bucket
  // ever spans more than 512 values of it, whatever the table grows to.
  position_bits_ = std::min<unsigned>(kMostPositionBits, static_cast<unsigned>(std::bit_width(first)) - 1 + kSlotBitsOfT);
  position_bits_ = std::max(position_bits_, kLeastPositionBits);
  position_shift_ = 64 - position_bits_;
  position_mask_ = static_cast<uint32_t>((uint64_t{1} << position_bits_) - 1);
  const uint64_t bytes = uint64_t{first + 1} * sizeof(Bucket) + kAlignment;
  if (bytes > memory_limit_) return kOutOfMemory;
  // Address space for four times the estimate, which pages in only as the
  // table grows into it: growing then moves no memory and keeps the huge
  // pages, which a reallocation loses.
  reserved_count_ = static_cast<size_t>(std::max<uint64_t>(
      first, std::min<uint64_t>(buckets_for(4 * expected_entries), memory_limit_ / sizeof(Bucket) - 2)));
  // A table that gets huge pages starts on one. Otherwise its first megabyte
  // or so lies in the small pages before the block's first huge page
  // boundary, a fault per 4 KiB: most of the faults of compressing a small file.
  const uint64_t reserved_bytes = uint64_t{reserved_count_ + 1} * sizeof(Bucket);
  alignment_ = reserved_bytes >= platform::kLeastHugePagedBlock ? platform::kHugePage : kAlignment;
  block_ = platform::allocate_zeroed(reserved_bytes + alignment_);
  if (block_ == nullptr) {
    // Address space is short: start small and reallocate as the table grows.
    reserved_count_ = first;
    alignment_ = kAlignment;
    block_ = platform::allocate_zeroed(bytes);
  }
  if (block_ == nullptr) return kOutOfMemory;
  buckets_ = aligned_buckets(block_);
  set_size(first);
  // Strings scatter over the whole table at once: its pages are all touched
  // within the first few thousand entries, so two threads fault them in.
  commit_in_background(0, first + 1);
  return kOk;
}

void EncoderDictionary::fill_slot(size_t index, uint32_t key, uint32_t code, uint32_t t) {
  Bucket& bucket = buckets_[index];
  const unsigned s = bucket.header & kFillMask;
  bucket.keys[s] = key;
  bucket.codes[s] = (code - 256) | ((t >> 8) & 1) << 31;
  bucket.lows[s] = static_cast<uint8_t>(t);
  ++bucket.header;
}

bool EncoderDictionary::place(uint32_t prefix, uint32_t code, uint32_t t) {
  // A string goes to the bucket after its own only when its own is full, and
  // a full bucket stays full: a bucket with room has no hints set.
  const size_t home = home_bucket(t);
  Bucket& own = buckets_[home];
  if ((own.header & kFillMask) < kSlots) {
    fill_slot(home, prefix - 255, code, t);
  } else if ((buckets_[home + 1].header & kFillMask) < kSlots || shift_forward(home + 1)) {
    fill_slot(home + 1, (prefix - 255) | kSecondChoice, code, t);
    own.header |= overflow_hint(t);
  } else if (home > 0 && shift_back(home)) {
    fill_slot(home, prefix - 255, code, t);
  } else {
    if (!stash_add(prefix, code, t)) return false;
    own.header |= kStashed;
  }
  return true;
}

unsigned EncoderDictionary::slot_of_own(const Bucket& bucket, bool own) {
  for (unsigned s = 0; s < (bucket.header & kFillMask); ++s) {
    if (((bucket.keys[s] & kSecondChoice) == 0) == own) return s;
  }
  return kSlots;
}

// Each move is followed by a fill of `from`, so a full bucket is never left
// with room: lookups may keep trusting a bucket with room to end the search.
void EncoderDictionary::move_slot(size_t from_index, unsigned s, size_t to_index, uint32_t choice) {
  Bucket& from = buckets_[from_index];
  Bucket& to = buckets_[to_index];
  const unsigned t = to.header & kFillMask;
  if (choice != 0) from.header |= overflow_hint(from.lows[s]);  // lows holds t's low bits
  to.keys[t] = (from.keys[s] & ~kSecondChoice) | choice;
  to.codes[t] = from.codes[s];
  to.lows[t] = from.lows[s];
  ++to.header;
  const unsigned last = (from.header & kFillMask) - 1;
  from.keys[s] = from.keys[last];
  from.codes[s] = from.codes[last];
  from.lows[s] = from.lows[last];
  from.keys[last] = 0;
  from.codes[last] = 0;
  from.lows[last] = 0;
  --from.header;
}

bool EncoderDictionary::shift_forward(size_t full) {
  // The first bucket with room a few lines on, and in every full bucket on
  // the way a string of its own that can step into the next one.
  constexpr size_t kFurthest = 4;
  size_t room = full + 1;
  for (; room <= bucket_count_ && room <= full + kFurthest; ++room) {
    if ((buckets_[room].header & kFillMask) < kSlots) break;
    if (slot_of_own(buckets_[room], true) == kSlots) return false;
  }
  if (room > bucket_count_ || room > full + kFurthest) return false;
  if (slot_of_own(buckets_[full], true) == kSlots) return false;
  for (size_t b = room; b-- > full;) move_slot(b, slot_of_own(buckets_[b], true), b + 1, kSecondChoice);
  return true;
}

bool EncoderDictionary::shift_back(size_t full) {
  Bucket& before = buckets_[full - 1];
  if ((before.header & kFillMask) == kSlots) return false;
  const unsigned s = slot_of_own(buckets_[full], false);
  if (s == kSlots) return false;
  move_slot(full, s, full - 1, 0);
  return true;
}

void EncoderDictionary::set_size(size_t count) {
  bucket_count_ = count;
  grow_at_ = count * kSlots * kFullLoadTenths / 10;
  // The next growth's pages are committed three-quarters of the way there,
  // where the estimate is close to what the growth will choose: half-way, a
  // gigabyte's last growth was planned 7% larger than it came out.
  commit_ahead_at_ = grow_at_ - (grow_at_ - entries_) / 4;
}

int32_t EncoderDictionary::insert(uint32_t prefix, uint32_t t) {
  // One compare for both rare events: the next growth's pages, then the growth.
  if (entries_ >= commit_ahead_at_) {
    if (entries_ < grow_at_) {
      commit_growth_ahead();
    } else if (!grow()) {
      return kNoMemory;
    }
  }
  // A string whose bucket is full goes to the next one or further, lines no
  // lookup has read: placing it at once would stall the string that follows
  // on a miss. It waits in pending_, where lookups find it, for the lines
  // prefetched here: the next bucket and, should that be full too, the one
  // where shifting strings to make room begins (mixed data 3-5% faster).
  const size_t home = home_bucket(t);
  Bucket& own = buckets_[home];
  if ((own.header & kFillMask) < kSlots) {
    fill_slot(home, prefix - 255, count_, t);
  } else {
    Loose& slot = pending_[oldest_pending_];
    if (slot.prefix != 0 && !place(slot.prefix, slot.code, slot.t)) return kNoMemory;
    slot = Loose{t, prefix, count_};
    oldest_pending_ = (oldest_pending_ + 1) % kPending;
    touch_soon(&buckets_[home + 1]);
    touch_soon(&buckets_[home + 2]);  // at most one past the last bucket
  }
  ++count_;
  ++entries_;
  return kInserted;
}

void EncoderDictionary::commit_in_background(size_t from, size_t to) {
  if ((to - from) * sizeof(Bucket) < kLeastBackgroundCommit) return;
  committer_.start(buckets_ + from, (to - from) * sizeof(Bucket));
  committed_end_ = std::max(committed_end_, to);
}

void EncoderDictionary::commit_growth_ahead() {
  commit_ahead_at_ = grow_at_;
  if (expected_entries_ < grow_at_) return;  // the input probably ends first
  const size_t target = growth_target();
  // A table that must move to grow is reallocated, not grown into. Up to
  // seven-eighths of the way only: the estimate may still fall a little
  // before the growth, and what was committed beyond it would stay in the
  // peak (a gigabyte's last growth took 3.7% fewer buckets than planned).
  if (target <= reserved_count_) commit_in_background(bucket_count_ + 1, bucket_count_ + 1 + (target - bucket_count_) / 8 * 7);
}

size_t EncoderDictionary::growth_target() const {
  // Large tables grow by an eighth, or to the caller's estimate when that is
  // more: the last growth decides the final load, and so the peak memory.
  const size_t step = bucket_count_ < kGentleGrowthFrom ? bucket_count_ * 2 : bucket_count_ + bucket_count_ / 8;
  // At most double: an early estimate may run high.
  const size_t expected = static_cast<size_t>(std::min<uint64_t>(buckets_for(expected_entries_), bucket_count_ * 2));
  size_t target = std::max(step, expected);
  // Past the reserved space the table is reallocated, and two copies exist
  // for a moment: stop at its end while that still is a real step.
  if (target > reserved_count_ && reserved_count_ >= bucket_count_ + bucket_count_ / 16) target = reserved_count_;
  return target;
}

bool EncoderDictionary::grow() { return rebuild(growth_target()); }

bool EncoderDictionary::rebuild(size_t new_count) {
  const size_t old_count = bucket_count_;
  const uint64_t new_table_bytes = uint64_t{new_count + 1} * sizeof(Bucket);
  if (new_table_bytes + kAlignment + stash_bytes(stash_capacity_) > memory_limit_) return false;
  // Room for every entry, though few are ever set aside: pages untouched cost nothing.
  loose_ = static_cast<Loose*>(platform::allocate_zeroed((entries_ + 1) * sizeof(Loose)));
  if (loose_ == nullptr) return false;
  loose_entries_ = 0;
  if (new_count > reserved_count_) {
    committer_.stop();
    const size_t offset = static_cast<size_t>(reinterpret_cast<char*>(buckets_) - static_cast<char*>(block_));
    void* new_block = platform::resize(block_, new_table_bytes + alignment_);
    if (new_block == nullptr) {
      platform::release(loose_);
      loose_ = nullptr;
      return false;
    }
    // A block that moved may have moved off the grid.
    Bucket* aligned = aligned_buckets(new_block);
    if (reinterpret_cast<char*>(aligned) != static_cast<char*>(new_block) + offset) {
      std::memmove(aligned, static_cast<char*>(new_block) + offset, (reserved_count_ + 1) * sizeof(Bucket));
    }
    block_ = new_block;
    buckets_ = aligned;
    std::memset(static_cast<void*>(buckets_ + reserved_count_ + 1), 0, (new_count - reserved_count_) * sizeof(Bucket));
    reserved_count_ = new_count;
  }
  set_size(new_count);
  if (committed_end_ > new_count + 1) {
    // The estimate fell since the pages were committed: give back what the
    // table does not reach, so that memory follows the entries.
    committer_.stop();
    platform::decommit(buckets_ + new_count + 1, (committed_end_ - new_count - 1) * sizeof(Bucket));
    committed_end_ = new_count + 1;
  }

  // From the last bucket down: a string's bucket in the larger table is
  // never before its old one, so it lands where the sweep has already been,
  // never on an entry still waiting to move; only the bucket after the one
  // swept may take a string of the one before it. An entry that finds no
  // room is set aside and placed at the end. The stash flags are set anew as
  // entries are.
  // The least t of each old bucket, ceil(b * 2^position_bits_ / old_count),
  // stepped down a bucket at a time; a slot's t lies in the 512 values from
  // its home bucket's.
  const uint64_t span = uint64_t{1} << position_bits_;
  const uint64_t whole_step = span / old_count, part_step = span % old_count;
  uint64_t quotient = span, remainder = 0;  // of old_count * span / old_count
  auto step_down = [&] {
    quotient -= whole_step;
    if (remainder < part_step) {
      remainder += old_count;
      --quotient;
    }
    remainder -= part_step;
    return static_cast<uint32_t>(quotient + (remainder != 0));
  };
  uint32_t least_before = static_cast<uint32_t>(span);  // of the bucket past the last
  for (size_t b = old_count + 1; b-- > 0;) {
    const uint32_t least_here = least_before;
    least_before = b > 0 ? step_down() : 0;
    // The sweep runs backwards, which the hardware is slower to follow.
    __builtin_prefetch(&buckets_[b >= 8 ? b - 8 : 0]);
    const Bucket old = buckets_[b];
    std::memset(static_cast<void*>(&buckets_[b]), 0, sizeof(Bucket));
    for (unsigned s = 0; s < (old.header & kFillMask); ++s) {
      const uint32_t low_bits = old.lows[s] | (old.codes[s] >> 31) << 8;
      const bool second = (old.keys[s] & kSecondChoice) != 0;
      const uint32_t least = second ? least_before : least_here;
      const uint32_t t = least + ((low_bits - least) & ((1u << kSlotBitsOfT) - 1));
      const uint32_t key = old.keys[s] & ~kSecondChoice;
      const uint32_t code = (old.codes[s] & 0x7FFFFFFFu) + 256;
      const size_t new_home = home_bucket(t);
      // A string whose bucket the sweep has not reached yet waits: the next
      // bucket may take it only once its own is known to be full.
      if (new_home >= b && (buckets_[new_home].header & kFillMask) < kSlots) {
        fill_slot(new_home, key, code, t);
      } else if (new_home >= b && (buckets_[new_home + 1].header & kFillMask) < kSlots) {
        fill_slot(new_home + 1, key | kSecondChoice, code, t);
        buckets_[new_home].header |= overflow_hint(t);
      } else {
        loose_[loose_entries_++] = Loose{t, key + 255, code};
      }
    }
  }
  // Stashed entries may fit in the larger table, and their flags are gone.
  bool placed = true;
  if (stash_entries_ != 0) {
    Loose* old_stash = stash_;
    const size_t old_capacity = stash_capacity_;
    stash_ = nullptr;
    stash_capacity_ = 0;
    stash_entries_ = 0;
    stash_shift_ = 64;
    for (size_t i = 0; i < old_capacity; ++i) {
      if (old_stash[i].prefix != 0) placed = place(old_stash[i].prefix, old_stash[i].code, old_stash[i].t) && placed;
    }
    platform::release(old_stash);
  }
  for (size_t i = 0; i < loose_entries_; ++i) placed = place(loose_[i].prefix, loose_[i].code, loose_[i].t) && placed;
  platform::release(loose_);
  loose_ = nullptr;
  loose_entries_ = 0;
  return placed;
}

int32_t EncoderDictionary::stash_find(uint32_t prefix, uint32_t t) const {
  if (stash_capacity_ == 0) return -1;
  const size_t mask = stash_capacity_ - 1;
  for (size_t i = stash_slot(t);; i = (i + 1) & mask) {
    const Loose& slot = stash_[i];
    if (slot.prefix == 0) return -1;
    if (slot.prefix == prefix && slot.t == t) return static_cast<int32_t>(slot.code);
  }
}

bool EncoderDictionary::stash_add(uint32_t prefix, uint32_t code, uint32_t t) {
  // Kept at most half full, so that probes stay short.
  if (2 * (stash_entries_ + 1) > stash_capacity_) {
    const size_t new_capacity = std::max<size_t>(64, stash_capacity_ * 2);
    const uint64_t table_bytes = uint64_t{bucket_count_ + 1} * sizeof(Bucket) + kAlignment;
    if (table_bytes + stash_bytes(new_capacity) > memory_limit_) return false;
    Loose* grown = static_cast<Loose*>(platform::allocate_zeroed(new_capacity * sizeof(Loose)));
    if (grown == nullptr) return false;
    Loose* old = stash_;
    const size_t old_capacity = stash_capacity_;
    stash_ = grown;
    stash_capacity_ = new_capacity;
    stash_shift_ = 64 - static_cast<unsigned>(std::countr_zero(new_capacity));
    for (size_t i = 0; i < old_capacity; ++i) {
      if (old[i].prefix == 0) continue;
      size_t j = stash_slot(old[i].t);
      while (stash_[j].prefix != 0) j = (j + 1) & (new_capacity - 1);
      stash_[j] = old[i];
    }
    platform::release(old);
  }
  const size_t mask = stash_capacity_ - 1;
  size_t i = stash_slot(t);
  while (stash_[i].prefix != 0) i = (i + 1) & mask;
  stash_[i] = Loose{t, prefix, code};
  ++stash_entries_;
  return true;
}

}  // namespace lzw
