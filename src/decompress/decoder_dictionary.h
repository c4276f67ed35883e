#ifndef LZW_DECOMPRESS_DECODER_DICTIONARY_H_
#define LZW_DECOMPRESS_DECODER_DICTIONARY_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "lzw/lzw.h"

namespace lzw {

// The decompressor's string table together with the output it has produced.
//
// Every string the dictionary knows already lies in the output: the entry
// defined after the j-th code (counted from 0) is the j-th code's expansion
// followed by the first byte of the next one, which is exactly the output
// from where the j-th expansion starts, one byte longer than it. So the
// dictionary keeps the whole output history and, per code, where its
// expansion starts and how long it is (two bytes a code, see StartGroup);
// expanding a code is a copy of earlier output, as in LZ77 decoders, instead
// of a walk along a chain of prefixes.
//
// Codes 0 to 255 stand for their byte. `count` entries are defined: the 256
// roots and one per code after the first. A code equal to `count` is the
// entry being defined by this very code (the previous expansion plus its own
// first byte) and is legitimate; anything larger, a first code above 255 or
// an output beyond the limit marks a damaged archive.
class DecoderDictionary {
 public:
  // `archive_bytes`, when known, sizes the first buffers for a typical
  // expansion of an archive that large.
  explicit DecoderDictionary(const Limits& limits, uint64_t archive_bytes = 0);
  ~DecoderDictionary();
  DecoderDictionary(const DecoderDictionary&) = delete;
  DecoderDictionary& operator=(const DecoderDictionary&) = delete;

  // Keeps the output in a shared mapping of the empty file `descriptor`
  // rather than in anonymous memory, so that it needs no copy into the page
  // cache; the file then holds the output and up to a buffer's growth of
  // zeros after it. Call before expand. Where the mapping cannot be made or
  // grow (a file system that cannot reserve space, a disk without room for
  // the doubled buffer), the output moves to memory and the file keeps
  // whatever space it had reserved.
  void expand_into_file(int descriptor) { output_file_ = descriptor; }
  // Whether the output is in the file given to expand_into_file.
  bool output_in_file() const { return output_file_ >= 0 && output_ != nullptr; }

  // Appends the expansions of codes[0] to codes[count - 1], the archive's
  // next codes, to the output. The kLookahead codes after them must be
  // readable (the codes that follow, or zeros): what they name is prefetched.
  // kInvalidArchive for a code the archive cannot hold at its place,
  // kOutOfMemory when the buffers cannot grow.
  Status expand(const uint32_t* codes, size_t count);
  // How many codes past the current one expand reads.
  static constexpr size_t kLookahead = 64;

  // Entries defined so far, the 256 roots included.
  uint64_t count() const { return codes_ == 0 ? 256 : 255 + codes_; }
  // The output produced so far.
  const uint8_t* output() const { return output_; }
  uint64_t output_size() const { return output_size_; }

 private:
  // Bytes the copy of a short string may write past its end.
  static constexpr size_t kCopySlack = 16;
  static constexpr size_t kGroupCodes = 8;
  // Where the expansions of kGroupCodes consecutive codes begin, in half the
  // room of a 32-bit start each: the first start and the lengths, from which
  // the others follow. Sixteen bytes, so that looking one up costs a single
  // cache line, as a plain start would. A group with an expansion of 256
  // bytes or more is wide: its lengths are in wide_lengths_ instead.
  struct alignas(16) StartGroup {
    uint32_t first;                // offset of the group's first expansion
    uint32_t wide;                 // 0, or n when its lengths are the n-th kGroupCodes of wide_lengths_
    uint8_t lengths[kGroupCodes];  // each code's expansion length, unless wide
  };
  static_assert(sizeof(StartGroup) == 16);

  // Where the expansion of code number `entry` (counted from 0) begins, and
  // how long it is. The entry that code defines is that expansion and one more
  // byte.
  uint64_t start_of(const StartGroup* groups, uint64_t entry, uint64_t* length) const;
  // Notes that code number `entry` expanded to `length` bytes at `offset`.
  bool record(StartGroup* groups, uint64_t entry, uint64_t offset, uint64_t length);
  // The same two for wide groups; record_wide also turns a group wide, and
  // fails only when the memory limit or the allocation does not allow that.
  uint64_t wide_start_of(const StartGroup& group, unsigned k, uint64_t* length) const;
  bool record_wide(StartGroup& group, unsigned k, uint64_t length);
  // Where a wide group's lengths begin in wide_lengths_.
  static size_t wide_index(const StartGroup& group) { return (group.wide - 1) * kGroupCodes; }
  // Whether buffers of these sizes stay within the memory limit.
  bool fits_memory(uint64_t output_bytes, uint64_t groups, size_t wide_lengths) const;
  // Grows the buffers for one more code expanding to `length` bytes, and
  // commits their pages a chunk ahead.
  Status make_room(uint64_t length);
  // Grows output_ to `bytes`, in the output file where there is one.
  Status grow_output(uint64_t bytes, bool huge_pages);
  // Continues in a memory block of `bytes` when the output's file cannot grow.
  Status move_output_to_memory(uint64_t bytes, bool huge_pages);

  const Limits limits_;          // memory and output bounds
  const uint64_t archive_bytes_; // size of the archive, 0 if unknown
  uint8_t* output_ = nullptr;    // every byte expanded so far
  int output_file_ = -1;         // the file output_ maps, or -1 for memory
  uint64_t output_size_ = 0;     // bytes in output_
  uint64_t output_capacity_ = 0; // bytes allocated for output_
  uint64_t output_ready_ = 0;    // bytes of output_ whose pages are committed
  StartGroup* groups_ = nullptr; // groups_[j / kGroupCodes]: where the j-th code's expansion lies
  uint64_t codes_ = 0;           // codes expanded so far
  uint64_t groups_capacity_ = 0; // groups allocated in groups_
  uint64_t groups_ready_ = 0;    // groups whose pages are committed
  std::vector<uint32_t> wide_lengths_;  // the lengths of the wide groups, kGroupCodes each
};

// The dictionary a Decoder expands with.
DecoderDictionary& dictionary_of(Decoder& decoder);

}  // namespace lzw

#endif  // LZW_DECOMPRESS_DECODER_DICTIONARY_H_
