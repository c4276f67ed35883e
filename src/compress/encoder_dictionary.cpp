#include "compress/encoder_dictionary.h"

#include "streams/platform.h"

namespace lzw {
namespace {

// For a fixed prefix, bytes b1 != b2 give hashes whose difference is
// d * kMultiplier (mod 2^64) with 0 < |d| < 256. When every such product
// keeps at least 2^33 away from 0 modulo 2^64, the high 32 bits of the two
// hashes differ, so a slot's (prefix, tag) pins the byte down exactly.
constexpr bool tags_tell_bytes_apart(uint64_t multiplier) {
  for (uint64_t d = 1; d < 256; ++d) {
    uint64_t product = d * multiplier;
    if (product < (uint64_t{1} << 33) || product > ~uint64_t{0} - (uint64_t{1} << 33)) return false;
  }
  return true;
}

constexpr size_t kFirstSlotCount = 4096;

size_t growth_threshold(size_t slot_count) { return slot_count / 4 * 3; }

}  // namespace

static_assert(tags_tell_bytes_apart(0x9E3779B97F4A7C15u));

EncoderDictionary::~EncoderDictionary() { platform::release(slots_); }

Status EncoderDictionary::initialize(uint64_t memory_limit) {
  memory_limit_ = memory_limit;
  if (kFirstSlotCount * sizeof(Slot) > memory_limit_) return kOutOfMemory;
  slots_ = static_cast<Slot*>(platform::allocate_zeroed(kFirstSlotCount * sizeof(Slot)));
  if (slots_ == nullptr) return kOutOfMemory;
  slot_count_ = kFirstSlotCount;
  grow_at_ = growth_threshold(slot_count_);
  return kOk;
}

int32_t EncoderDictionary::insert(size_t slot, uint32_t prefix, uint32_t tag) {
  if (entries_ >= grow_at_) {
    if (!grow()) return kNoMemory;
    for (slot = home_slot(tag); slots_[slot].code != 0; slot = next_slot(slot)) {
    }
  }
  slots_[slot] = Slot{tag, prefix, count_};
  ++count_;
  ++entries_;
  return kInserted;
}

bool EncoderDictionary::grow() {
  const size_t new_count = slot_count_ + slot_count_ / 2;
  const uint64_t new_bytes = uint64_t{new_count} * sizeof(Slot);
  if (new_bytes + uint64_t{slot_count_} * sizeof(Slot) > memory_limit_) return false;
  Slot* old_slots = slots_;
  const size_t old_count = slot_count_;
  Slot* new_slots = static_cast<Slot*>(platform::allocate_zeroed(new_bytes));
  if (new_slots == nullptr) return false;
  slots_ = new_slots;
  slot_count_ = new_count;
  grow_at_ = growth_threshold(slot_count_);
  // Home slots keep their order when the table grows, so this pass reads
  // the old table and writes the new one nearly sequentially.
  for (size_t i = 0; i < old_count; ++i) {
    const Slot& entry = old_slots[i];
    if (entry.code == 0) continue;
    size_t slot = home_slot(entry.tag);
    while (slots_[slot].code != 0) slot = next_slot(slot);
    slots_[slot] = entry;
  }
  platform::release(old_slots);
  return true;
}

}  // namespace lzw
