#include "decompress/decompressor.h"

#include "decompress/decoder_dictionary.h"
#include "streams/bit_file.h"
#include "streams/block_file.h"
#include "streams/destination.h"

namespace lzw {
namespace {

constexpr uint64_t kHeaderBytes = 4;
constexpr unsigned kWidestCode = 31;
// Codes are read ahead in batches so that the entries and strings they name
// can be prefetched before they are needed.
constexpr size_t kBatch = 256;
constexpr size_t kEntryLookahead = 16;
constexpr size_t kStringLookahead = 8;
// Expanded bytes are handed to the output in pieces of at least this size.
constexpr uint64_t kWriteChunk = 1 << 20;

// Reads up to kBatch codes; fewer at the end of the archive. *code_number
// counts the codes read so far (the k of code_width).
Status read_batch(BitFile& archive, uint64_t* code_number, uint32_t* codes, size_t* read) {
  *read = 0;
  while (*read < kBatch) {
    unsigned width = code_width(*code_number + 1);
    uint32_t code;
    if (!archive.read_bits(width, &code)) return archive.status();
    // Only a code that lies wholly inside the archive is judged.
    if (width > kWidestCode) return kInvalidArchive;
    ++*code_number;
    codes[(*read)++] = code;
  }
  return kOk;
}

Status expand_codes(BitFile& archive, DecoderDictionary& dictionary, BlockFile& output) {
  uint32_t header;
  if (!archive.read_bits(32, &header)) return archive.status();
  uint64_t code_number = 0;
  uint64_t written = 0;
  uint32_t codes[kBatch + kEntryLookahead];
  for (;;) {
    size_t count;
    Status status = read_batch(archive, &code_number, codes, &count);
    if (status != kOk) return status;
    if (count == 0) break;
    for (size_t i = count; i < count + kEntryLookahead; ++i) codes[i] = 0;
    for (size_t i = 0; i < count; ++i) {
      dictionary.prefetch_entry(codes[i + kEntryLookahead]);
      dictionary.prefetch_string(codes[i + kStringLookahead]);
      status = dictionary.expand(codes[i]);
      if (status != kOk) return status;
    }
    if (dictionary.output_size() - written >= kWriteChunk) {
      status = output.write(dictionary.output() + written, dictionary.output_size() - written);
      if (status != kOk) return status;
      written = dictionary.output_size();
    }
  }
  Status status = output.write(dictionary.output() + written, dictionary.output_size() - written);
  if (status != kOk) return status;
  return output.flush();
}

}  // namespace

Status decompress_file(const char* archive_name, const char* output_name, ExpansionSizes* sizes,
                       const Limits& limits) {
  BlockFile archive_file;
  Status status = archive_file.open_for_reading(archive_name);
  if (status != kOk) return status;
  const uint64_t archive_bytes = archive_file.info().size;
  if (archive_bytes < kHeaderBytes) return kInvalidArchive;
  Destination destination;
  status = destination.create(output_name, archive_file.info());
  if (status != kOk) return status;
  BlockFile output;
  output.open_for_writing(destination.descriptor());
  BitFile archive(&archive_file, archive_bytes);
  DecoderDictionary dictionary(limits, archive_bytes);
  status = expand_codes(archive, dictionary, output);
  if (status != kOk) return status;
  status = destination.commit();
  if (status != kOk) return status;
  if (sizes != nullptr) *sizes = ExpansionSizes{archive_bytes, dictionary.output_size()};
  return kOk;
}

}  // namespace lzw
