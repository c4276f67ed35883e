#include <algorithm>

#include "decompress/decoder_dictionary.h"
#include "lzw/lzw.h"
#include "streams/bit_file.h"

namespace lzw {
namespace {

constexpr unsigned kHeaderBits = 32;
constexpr unsigned kWidestCode = 31;
// Codes are read ahead in batches so that the entries and strings they name
// can be prefetched before they are needed.
constexpr size_t kBatch = 1024;
// Expanded bytes are handed to the sink in pieces of at least this size.
constexpr uint64_t kDeliveryChunk = 1 << 20;

}  // namespace

struct Decoder::State {
  State(Sink* sink, const Limits& limits, uint64_t archive_size) : sink(sink), dictionary(limits, archive_size) {}

  Status take(const uint8_t* bytes, size_t count);
  // Reads up to kBatch codes of those whose bits have all arrived.
  Status read_batch(size_t* read);
  // Hands the sink the expansion it has not had yet.
  Status deliver();

  Sink* const sink;               // where the expansion goes; may be null
  BitFile archive;                // the archive's bits
  DecoderDictionary dictionary;   // the strings, and the expansion itself
  bool header_read = false;       // the header's 32 bits have been skipped
  uint64_t code_number = 0;       // codes read so far (the k of code_width)
  uint64_t delivered = 0;         // expanded bytes the sink has had
  uint32_t codes[kBatch + DecoderDictionary::kLookahead];  // the batch being expanded
  Status status = kOk;            // the first failure
};

Status Decoder::State::read_batch(size_t* read) {
  *read = 0;
  while (*read < kBatch) {
    const unsigned width = code_width(code_number + 1);
    if (width <= kWidestCode) {
      // The codes numbered up to 2^width - 256 share this width.
      const uint64_t same_width = (uint64_t{1} << width) - 256 - code_number;
      const size_t run = archive.read_run(width, std::min<uint64_t>(same_width, kBatch - *read), codes + *read);
      *read += run;
      code_number += run;
      if (run > 0) continue;
    }
    // Near the end of the bytes fed, or past the widest code.
    uint32_t code;
    if (!archive.read_bits(width, &code)) break;
    // Only a code that lies wholly inside the archive is judged.
    if (width > kWidestCode) return kInvalidArchive;
    ++code_number;
    codes[(*read)++] = code;
  }
  return kOk;
}

Status Decoder::State::deliver() {
  const uint64_t size = dictionary.output_size();
  if (sink == nullptr || size == delivered) return kOk;
  Status status = sink->put(dictionary.output() + delivered, size - delivered);
  delivered = size;
  return status;
}

Status Decoder::State::take(const uint8_t* bytes, size_t count) {
  archive.feed(bytes, count);
  uint32_t header;
  if (!header_read && !archive.read_bits(kHeaderBits, &header)) return kOk;  // the header is not used
  header_read = true;
  for (;;) {
    size_t batch;
    Status status = read_batch(&batch);
    if (status != kOk) return status;
    if (batch == 0) return kOk;
    std::fill(codes + batch, codes + batch + DecoderDictionary::kLookahead, 0);
    status = dictionary.expand(codes, batch);
    if (status != kOk) return status;
    if (dictionary.output_size() - delivered >= kDeliveryChunk) {
      status = deliver();
      if (status != kOk) return status;
    }
  }
}

Decoder::Decoder(Sink* sink, const Limits& limits, uint64_t archive_size)
    : state_(new State(sink, limits, archive_size)) {}

Decoder::~Decoder() = default;

Status Decoder::update(const uint8_t* bytes, size_t count) {
  State& s = *state_;
  if (s.status == kOk) s.status = s.take(bytes, count);
  return s.status;
}

Status Decoder::finish() {
  State& s = *state_;
  if (s.status == kOk) s.status = s.header_read ? s.deliver() : kInvalidArchive;
  return s.status;
}

DecoderDictionary& dictionary_of(Decoder& decoder) { return decoder.state_->dictionary; }

const uint8_t* Decoder::output() const { return state_->dictionary.output(); }

uint64_t Decoder::output_size() const { return state_->dictionary.output_size(); }

Status expand(const uint8_t* archive, size_t size, std::vector<uint8_t>* output, const Limits& limits) {
  output->clear();
  Decoder decoder(nullptr, limits, size);
  Status status = decoder.update(archive, size);
  if (status == kOk) status = decoder.finish();
  if (status != kOk) return status;
  output->assign(decoder.output(), decoder.output() + decoder.output_size());
  return kOk;
}

}  // namespace lzw
