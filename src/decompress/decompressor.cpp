#include "decompress/decompressor.h"

#include <memory>

#include "streams/block_file.h"
#include "streams/destination.h"

namespace lzw {
namespace {

constexpr uint64_t kHeaderBytes = 4;
// The archive is read and fed to the decoder in pieces of this size.
constexpr size_t kReadPiece = 64 * 1024;

}  // namespace

Status decompress_file(const char* archive_name, const char* output_name, ExpansionSizes* sizes,
                       const Limits& limits) {
  BlockFile archive;
  Status status = archive.open_for_reading(archive_name);
  if (status != kOk) return status;
  const uint64_t archive_bytes = archive.info().size;
  if (archive_bytes < kHeaderBytes) return kInvalidArchive;
  Destination destination;
  status = destination.create(output_name, archive.info());
  if (status != kOk) return status;
  BlockFile output;
  output.open_for_writing(destination.descriptor());
  Decoder decoder(&output, limits, archive_bytes);
  std::unique_ptr<uint8_t[]> piece(new uint8_t[kReadPiece]);
  while (status == kOk && archive.remaining() > 0) {
    const size_t read = archive.read(piece.get(), kReadPiece, &status);
    if (status == kOk) status = decoder.update(piece.get(), read);
  }
  if (status == kOk) status = decoder.finish();
  if (status == kOk) status = output.flush();
  if (status == kOk) status = destination.commit();
  if (status != kOk) return status;
  if (sizes != nullptr) *sizes = ExpansionSizes{archive_bytes, decoder.output_size()};
  return kOk;
}

}  // namespace lzw
