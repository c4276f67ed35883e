#include "compress/compressor.h"

#include <string>

#include "streams/block_file.h"
#include "streams/destination.h"

namespace lzw {

Status compress_file(const char* input_name, const Limits& limits) {
  BlockFile input;
  Status status = input.open_for_reading(input_name);
  if (status != kOk) return status;
  // The size is only a promise (files of /proc say 0), but one past the bound
  // is refused before any work.
  const uint64_t size = input.info().size;
  if (!input_size_supported(size)) return kInputTooLarge;

  Destination destination;
  status = destination.create((std::string(input_name) + ".LZW").c_str(), input.info(),
                              Destination::Content::kStreamed);
  if (status != kOk) return status;
  BlockFile archive;
  archive.open_for_writing(destination.descriptor());
  Encoder encoder(&archive, size, limits);
  // The input is read to its end, straight into the encoder's window.
  for (;;) {
    size_t room;
    uint8_t* space = encoder.input_space(&room);
    const size_t read = input.read(space, room, &status);
    if (status != kOk) return status;
    if (read == 0) break;
    status = encoder.commit_input(read);
    if (status != kOk) return status;
  }
  Header header;
  status = encoder.finish(&header);
  if (status == kOk) status = archive.flush();
  if (status != kOk) return status;
  if (header != encoder.provisional_header()) {
    status = destination.write_at(0, header.data(), header.size());
    if (status != kOk) return status;
  }
  return destination.commit();
}

}  // namespace lzw
