#include "support/reference_model.h"

#include <cstddef>
#include <map>
#include <utility>

#include "lzw/lzw.h"

namespace lzw::testing {

// Width of the k-th code of an archive (k counted from 1): the smallest t of
// 9 or more with 255 + k < 2^t.
static unsigned width_of_code(uint64_t k) {
  unsigned t = 9;
  while (255 + k >= (uint64_t{1} << t)) ++t;
  return t;
}

Bytes reference_archive(uint32_t header, const std::vector<uint32_t>& codes) {
  std::vector<bool> bits;
  auto append = [&](uint32_t value, unsigned width) {
    for (unsigned i = width; i-- > 0;) bits.push_back((value >> i) & 1);
  };
  append(header, 32);
  for (size_t k = 1; k <= codes.size(); ++k) append(codes[k - 1], width_of_code(k));

  Bytes archive;
  for (size_t start = 0; start < bits.size(); start += 8) {
    unsigned byte = 0;
    for (size_t i = start; i < start + 8; ++i) {
      // Past the last bit: the same bit of the byte before.
      byte = byte * 2 + (i < bits.size() ? bits[i] : (archive.back() >> (start + 7 - i)) & 1);
    }
    archive.push_back(static_cast<unsigned char>(byte));
  }
  return archive;
}

Bytes reference_compress(const Bytes& input) {
  // Codes 0 to 255 stand for the single bytes; every (code, next byte) pair
  // met for the first time gets the next free code, from 256 on.
  std::map<std::pair<uint32_t, unsigned char>, uint32_t> table;
  std::vector<uint32_t> codes;
  uint32_t current = input.empty() ? 0 : input[0];  // code of the longest string matched so far
  for (size_t i = 1; i < input.size(); ++i) {
    const std::pair<uint32_t, unsigned char> key(current, input[i]);
    if (table.count(key) == 1) {
      current = table[key];
    } else {
      const uint32_t next_code = 256 + static_cast<uint32_t>(table.size());
      table[key] = next_code;
      codes.push_back(current);
      current = input[i];
    }
  }
  if (!input.empty()) codes.push_back(current);

  // The header is the estimated capacity, or size + 256 if the table outgrew it.
  uint32_t header = estimate_dictionary_capacity(static_cast<int32_t>(input.size()));
  if (256 + table.size() > header) header = static_cast<uint32_t>(input.size() + 256);
  return reference_archive(header, codes);
}

Expansion reference_expand(const Bytes& archive, uint64_t output_bound) {
  if (archive.size() < 4) return {};
  uint64_t position = 32;  // in bits; the header plays no part in decoding
  auto read_code = [&](unsigned width) {
    uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i, ++position) {
      value = value * 2 + ((archive[position / 8] >> (7 - position % 8)) & 1);
    }
    return value;
  };
  // entries[code] = (code of the string without its last byte, last byte);
  // the single bytes have the prefix -1.
  std::vector<std::pair<int64_t, unsigned char>> entries;
  for (int byte = 0; byte < 256; ++byte) entries.emplace_back(-1, byte);
  auto string_of = [&](uint32_t code) {
    Bytes backwards;
    for (int64_t c = code; c != -1; c = entries[c].first) backwards.push_back(entries[c].second);
    return Bytes(backwards.rbegin(), backwards.rend());
  };

  Bytes output;
  uint32_t previous_code = 0;
  Bytes previous;  // the previous code's string
  for (uint64_t k = 1; position + width_of_code(k) <= archive.size() * 8; ++k) {
    if (width_of_code(k) > 31) return {};
    const uint32_t code = read_code(width_of_code(k));
    Bytes text;
    if (k == 1) {
      if (code >= 256) return {};
      text = string_of(code);
    } else {
      // The code equal to the number of entries names the entry that this
      // very code defines: the previous string and its own first byte.
      if (code > entries.size()) return {};
      if (code == entries.size()) {
        text = previous;
        text.push_back(previous[0]);
      } else {
        text = string_of(code);
      }
      entries.emplace_back(previous_code, text[0]);
    }
    if (output.size() + text.size() > output_bound) return {};
    output.insert(output.end(), text.begin(), text.end());
    previous_code = code;
    previous = text;
  }
  return {true, output};  // the next code would run past the end
}

}  // namespace lzw::testing
