#include "decompress/decompressor.h"

#include <memory>

#include "decompress/decoder_dictionary.h"
#include "streams/block_file.h"
#include "streams/destination.h"

namespace lzw {
namespace {

constexpr size_t kHeaderBytes = 4;
// The archive is read and fed to the decoder in pieces of this size.
constexpr size_t kReadPiece = 64 * 1024;

}  // namespace

Status decompress_file(const char* archive_name, const char* output_name, ExpansionSizes* sizes,
                       const Limits& limits) {
  BlockFile archive;
  Status status = archive.open_for_reading(archive_name);
  if (status != kOk) return status;
  // The first piece is read before the destination is touched: an archive
  // without a whole header is refused first, whatever size the file claims.
  std::unique_ptr<uint8_t[]> piece(new uint8_t[kReadPiece]);
  size_t read = archive.read(piece.get(), kReadPiece, &status);
  if (status != kOk) return status;
  if (read < kHeaderBytes) return kInvalidArchive;

  Destination destination;
  status = destination.create(output_name, archive.info(), Destination::Content::kInMemory);
  if (status != kOk) return status;
  // The whole expansion is judged before the destination gets a byte of it:
  // it goes straight into the temporary file where there is one, which is
  // published only once the archive has proved whole and valid.
  Decoder decoder(nullptr, limits, archive.info().size);
  DecoderDictionary& dictionary = dictionary_of(decoder);
  if (destination.descriptor() >= 0) dictionary.expand_into_file(destination.descriptor());
  uint64_t archive_bytes = 0;
  while (read > 0) {
    archive_bytes += read;
    status = decoder.update(piece.get(), read);
    if (status != kOk) return status;
    read = archive.read(piece.get(), kReadPiece, &status);
    if (status != kOk) return status;
  }
  status = decoder.finish();
  if (status == kOk && destination.descriptor() >= 0) {
    // The file holds the output and zeros up to the buffer's last growth, or,
    // where the output went on in memory, only the space reserved before.
    const uint64_t in_file = dictionary.output_in_file() ? decoder.output_size() : 0;
    if (!platform::set_file_size(destination.descriptor(), in_file)) status = kCannotWriteOutput;
  }
  if (status == kOk) {
    status = dictionary.output_in_file() ? destination.commit()
                                         : destination.commit(decoder.output(), decoder.output_size());
  }
  if (status != kOk) return status;
  if (sizes != nullptr) *sizes = ExpansionSizes{archive_bytes, decoder.output_size()};
  return kOk;
}

}  // namespace lzw
