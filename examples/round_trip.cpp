// Compresses a buffer into an archive and expands it again through liblzw,
// once in one shot and once in pieces through an Encoder and a Decoder.
#include <lzw/lzw.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Collects what the Encoder or Decoder hands out.
class VectorSink : public lzw::Sink {
 public:
  lzw::Status put(const uint8_t* bytes, size_t count) override {
    bytes_.insert(bytes_.end(), bytes, bytes + count);
    return lzw::kOk;
  }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace

int main() {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "TOBEORNOTTOBEORTOBEORNOT#";
  const auto* input = reinterpret_cast<const uint8_t*>(text.data());

  std::vector<uint8_t> archive, expanded;
  if (lzw::compress(input, text.size(), &archive) != lzw::kOk ||
      lzw::expand(archive.data(), archive.size(), &expanded) != lzw::kOk ||
      std::string(expanded.begin(), expanded.end()) != text) {
    std::puts("one-shot round trip failed");
    return 1;
  }

  // The same in pieces of 100 bytes, the size unknown up front: the first
  // four bytes the sink got are provisional, finish gives the real header.
  VectorSink archive_sink;
  lzw::Encoder encoder(&archive_sink);
  for (size_t i = 0; i < text.size(); i += 100) encoder.update(input + i, std::min<size_t>(100, text.size() - i));
  lzw::Header header;
  if (encoder.finish(&header) != lzw::kOk) return 1;
  std::copy(header.begin(), header.end(), archive_sink.bytes().begin());

  VectorSink output_sink;
  lzw::Decoder decoder(&output_sink);
  for (size_t i = 0; i < archive_sink.bytes().size(); i += 100) {
    decoder.update(archive_sink.bytes().data() + i, std::min<size_t>(100, archive_sink.bytes().size() - i));
  }
  if (decoder.finish() != lzw::kOk || archive_sink.bytes() != archive ||
      std::string(output_sink.bytes().begin(), output_sink.bytes().end()) != text) {
    std::puts("streaming round trip failed");
    return 1;
  }
  std::printf("liblzw %s: %zu bytes into %zu and back\n", LZW_VERSION_STRING, text.size(), archive.size());
  return 0;
}
