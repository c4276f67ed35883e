#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "compress/compressor.h"
#include "decompress/decompressor.h"
#include "support/files.h"
#include "support/memory_sink.h"
#include "support/reference_model.h"

namespace lzw::testing {
namespace {

// The first `length` of 65537 bytes in which every ordered pair of byte
// values stands side by side once: no pair repeats, so every byte is a code.
Bytes all_pairs(size_t length) {
  Bytes bytes;
  for (int a = 0; a < 256; ++a) {
    bytes.push_back(a);
    for (int b = a + 1; b < 256; ++b) {
      bytes.push_back(a);
      bytes.push_back(b);
    }
  }
  bytes.push_back(0);
  bytes.resize(length);
  return bytes;
}

// Offset of the first difference, -1 when equal.
long first_difference(const Bytes& a, const Bytes& b) {
  return a == b ? -1 : std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin();
}

// How a stream is cut: pieces of `piece` bytes, an encoder window of
// `window` bytes, and the input size the encoder is told.
enum class Told { kRightSize, kUnknownSize, kZeroSize, kThirdOfSize };
struct Cut {
  size_t piece;
  size_t window;
  Told told;
};
const Cut kCuts[] = {
    {1, 64, Told::kRightSize},   {7, 100, Told::kUnknownSize},       {64, 4096, Told::kZeroSize},
    {4096, 1000, Told::kRightSize}, {4096, Limits().window_bytes, Told::kUnknownSize},
    {5, 150, Told::kRightSize},  // just above the smallest window: refilled every hundred bytes or so
};

// The archive an Encoder writes for `input` cut as `cut` says, with its
// final header in place of the provisional one.
Bytes compress_in_pieces(const Bytes& input, const Cut& cut) {
  const uint64_t told = cut.told == Told::kRightSize     ? input.size()
                        : cut.told == Told::kThirdOfSize ? input.size() / 3
                        : cut.told == Told::kZeroSize    ? 0
                                                         : Encoder::kUnknownSize;
  MemorySink sink;
  Encoder encoder(&sink, told, Limits{.window_bytes = cut.window});
  for (size_t i = 0; i < input.size(); i += cut.piece) {
    EXPECT_EQ(encoder.update(input.data() + i, std::min(cut.piece, input.size() - i)), kOk);
  }
  Header header;
  EXPECT_EQ(encoder.finish(&header), kOk);
  EXPECT_EQ(encoder.input_bytes(), input.size());
  const Header provisional = encoder.provisional_header();
  EXPECT_TRUE(std::equal(provisional.begin(), provisional.end(), sink.bytes.begin()));
  std::copy(header.begin(), header.end(), sink.bytes.begin());
  return sink.bytes;
}

// What a Decoder makes of `archive` fed `piece` bytes at a time; its sink
// must have received exactly its output.
Expansion expand_in_pieces(const Bytes& archive, size_t piece, uint64_t bound) {
  MemorySink sink;
  Decoder decoder(&sink, Limits{.output_bytes = bound});
  Status status = kOk;
  for (size_t i = 0; i < archive.size() && status == kOk; i += piece) {
    status = decoder.update(archive.data() + i, std::min(piece, archive.size() - i));
  }
  if (status == kOk) status = decoder.finish();
  EXPECT_TRUE(status == kOk || status == kInvalidArchive) << status;
  if (status != kOk) return {};
  EXPECT_EQ(Bytes(decoder.output(), decoder.output() + decoder.output_size()), sink.bytes);
  return {true, sink.bytes};
}

TEST(ReferenceAgreement, ArchivesAndExpansionsMatchTheModel) {
  // The model on worked examples; the last byte's low bits repeat the byte before.
  EXPECT_EQ(reference_compress(to_bytes("A")), (Bytes{0, 0, 2, 0, 0x20, 0xA0}));
  EXPECT_EQ(reference_compress(kAbababa), kAbababaArchive);
  // 65537 codes define 65792 entries, more than the estimated 65536.
  const Bytes overflowing = reference_compress(all_pairs(65537));
  EXPECT_EQ(Bytes(overflowing.begin(), overflowing.begin() + 4), (Bytes{0, 1, 1, 1}));

  std::mt19937 random(20240611);
  Bytes noise(50000), letters(50000);
  for (auto& byte : noise) byte = random();
  for (auto& byte : letters) byte = "ACGT"[random() % 4];
  // Strings of 256 bytes and more among short ones, and short ones after them.
  Bytes text_around_run = read_test_data("corpus/alice29.txt");
  text_around_run.insert(text_around_run.begin() + 70000, 60000, ' ');
  // A run of n(n+1)/2 equal bytes takes n codes, each the entry it defines.
  const std::pair<const char*, Bytes> rows[] = {
      {"empty", {}},                              {"three bytes", {1, 2, 3}},
      {"256 one-byte codes", all_pairs(256)},     {"257 one-byte codes", all_pairs(257)},
      {"768 one-byte codes", all_pairs(768)},     {"769 one-byte codes", all_pairs(769)},
      {"run of 256 codes", Bytes(32896, 'x')},    {"run of 257 codes", Bytes(32897, 'x')},
      {"run of 0xFF", Bytes(5000, 0xFF)},         {"random bytes", noise},
      {"random letters", letters},                {"text", read_test_data("corpus/alice29.txt")},
      {"more entries than estimated", all_pairs(65537)}, {"text around a long run", text_around_run},
  };
  for (const auto& [name, input] : rows) {
    SCOPED_TRACE(name);
    const Bytes archive = reference_compress(input);
    Bytes compressed, expanded;
    ASSERT_EQ(compress(input.data(), input.size(), &compressed), kOk);
    EXPECT_EQ(first_difference(compressed, archive), -1);
    ASSERT_EQ(expand(archive.data(), archive.size(), &expanded), kOk);
    EXPECT_EQ(first_difference(expanded, input), -1);
    EXPECT_EQ(first_difference(reference_expand(archive, input.size()).bytes, input), -1);
    for (const Cut& cut : kCuts) {
      SCOPED_TRACE(::testing::Message() << "pieces of " << cut.piece << ", window " << cut.window);
      EXPECT_EQ(first_difference(compress_in_pieces(input, cut), archive), -1);
      EXPECT_EQ(first_difference(expand_in_pieces(archive, cut.piece, input.size()).bytes, input), -1);
    }
  }
}

// An input that turns out three times as long as told (a growing file)
// outgrows the table reserved for the estimate, which then moves with the
// huge-page alignment of its start. (The one-shot archive is the model's,
// as above; the model itself would take seconds here.)
TEST(ReferenceAgreement, AnInputLongerThanToldGetsTheArchiveOfItsSize) {
  std::mt19937 random(20261210);
  Bytes noise(3 << 20);
  for (auto& byte : noise) byte = random();
  Bytes archive;
  ASSERT_EQ(compress(noise.data(), noise.size(), &archive), kOk);
  const Cut cut{1 << 16, Limits().window_bytes, Told::kThirdOfSize};
  EXPECT_EQ(first_difference(compress_in_pieces(noise, cut), archive), -1);
}

// Files go through the same codec.
TEST(ReferenceAgreement, FilesGetTheModelsArchiveAndExpansion) {
  const Bytes text = read_test_data("corpus/alice29.txt");
  TempDir dir;
  write_file(dir.file("input"), text);
  ASSERT_EQ(compress_file(dir.file("input").c_str()), kOk);
  EXPECT_EQ(first_difference(read_file(dir.file("input.LZW")), reference_compress(text)), -1);
  ASSERT_EQ(decompress_file(dir.file("input.LZW").c_str(), dir.file("output").c_str()), kOk);
  EXPECT_EQ(first_difference(read_file(dir.file("output")), text), -1);
}

TEST(ReferenceAgreement, ArchivesAtTheEdgeOfValidityAreJudgedAlike) {
  const struct { const char* name; Bytes archive; uint64_t bound; bool valid; } rows[] = {
      {"header alone", {0, 0, 2, 0}, 100, true},
      {"first code 255", reference_archive(512, {255}), 100, true},
      {"code being defined", reference_archive(512, {65, 256}), 100, true},
      {"10-bit code being defined", reference_archive(512, [] {
         std::vector<uint32_t> codes(256);
         for (uint32_t i = 0; i < 256; ++i) codes[i] = all_pairs(256)[i];
         codes.push_back(511);
         return codes;
       }()), 1000, true},
      {"any header", reference_archive(0xFFFFFFFF, {65, 66}), 100, true},
      {"last code cut short", Bytes(kAbababaArchive.begin(), kAbababaArchive.end() - 1), 100, true},
      {"output up to the bound", kAbababaArchive, 7, true},
      {"output beyond the bound", kAbababaArchive, 6, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Expansion model = reference_expand(row.archive, row.bound);
    EXPECT_EQ(model.valid, row.valid);
    for (size_t piece : {1, 4096}) {
      const Expansion expansion = expand_in_pieces(row.archive, piece, row.bound);
      EXPECT_EQ(expansion.valid, row.valid) << piece;
      EXPECT_EQ(expansion.bytes, model.bytes) << piece;
    }
  }
}

// Every damaged archive of tests/data/damaged is refused by the model, the
// codec at any piece size, and the file layer, which leaves nothing behind.
class DamagedArchive : public ::testing::TestWithParam<std::string> {};

TEST_P(DamagedArchive, IsRefusedEverywhere) {
  const Bytes archive = read_test_data("damaged/" + GetParam());
  EXPECT_FALSE(reference_expand(archive, 1 << 20).valid);
  for (size_t piece : {1, 7, 4096}) EXPECT_FALSE(expand_in_pieces(archive, piece, 1 << 20).valid) << piece;
  TempDir dir;
  write_file(dir.file("archive"), archive);
  EXPECT_EQ(decompress_file(dir.file("archive").c_str(), dir.file("output").c_str()), kInvalidArchive);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"archive"});
}

std::vector<std::string> damaged_archives() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(LZW_TEST_DATA_DIR) + "/damaged")) {
    if (entry.path().extension() == ".LZW") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedArchive, ::testing::ValuesIn(damaged_archives()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param.substr(0, info.param.size() - 4);
                         });

// The expansion reaches the sink in large pieces, not code by code.
TEST(Decoder, HandsTheSinkItsOutputInPiecesOfAMebibyteOrMore) {
  const Bytes zeros(5 << 20, 0);
  Bytes archive;
  ASSERT_EQ(compress(zeros.data(), zeros.size(), &archive), kOk);
  MemorySink sink;
  Decoder decoder(&sink);
  ASSERT_EQ(decoder.update(archive.data(), archive.size()), kOk);
  ASSERT_EQ(decoder.finish(), kOk);
  EXPECT_EQ(sink.bytes, zeros);
  ASSERT_GE(sink.pieces.size(), 2u);
  for (size_t i = 0; i + 1 < sink.pieces.size(); ++i) EXPECT_GE(sink.pieces[i], size_t{1} << 20) << i;
}

// A failure stops the codec, and every later call reports it again.
TEST(Codec, FailuresStopTheWorkAndStick) {
  const Bytes text = read_test_data("corpus/alice29.txt");
  MemorySink refusing;
  refusing.refuse_after = 1000;
  Encoder encoder(&refusing, text.size(), Limits{.window_bytes = 4096});
  EXPECT_EQ(encoder.update(text.data(), text.size()), kCannotWriteOutput);
  Header header;
  EXPECT_EQ(encoder.finish(&header), kCannotWriteOutput);

  Encoder starved(&refusing, text.size(), Limits{.memory_bytes = 0});
  EXPECT_EQ(starved.update(text.data(), 1), kOutOfMemory);
  EXPECT_EQ(starved.finish(&header), kOutOfMemory);

  const Bytes zeros(3 << 20, 0);  // more than the decoder holds back
  Bytes archive;
  ASSERT_EQ(compress(zeros.data(), zeros.size(), &archive), kOk);
  Decoder decoder(&refusing);
  EXPECT_EQ(decoder.update(archive.data(), archive.size()), kCannotWriteOutput);
  EXPECT_EQ(decoder.update(archive.data(), 0), kCannotWriteOutput);
  EXPECT_EQ(decoder.finish(), kCannotWriteOutput);
  Bytes expanded;
  EXPECT_EQ(expand(archive.data(), archive.size(), &expanded, Limits{.memory_bytes = 1024}), kOutOfMemory);
}

}  // namespace
}  // namespace lzw::testing
