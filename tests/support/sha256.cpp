#include "support/sha256.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace lzw::testing {
namespace {

constexpr uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

uint32_t rotate(uint32_t x, int n) { return x >> n | x << (32 - n); }

}  // namespace

std::string sha256_hex(const Bytes& bytes) {
  Bytes m = bytes;  // padded to whole 64-byte blocks, bit length at the end
  m.push_back(0x80);
  while (m.size() % 64 != 56) m.push_back(0);
  for (int shift = 56; shift >= 0; shift -= 8) m.push_back(static_cast<uint8_t>(uint64_t{bytes.size()} * 8 >> shift));
  uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  uint32_t w[64], s[8];
  for (const uint8_t* p = m.data(); p < m.data() + m.size(); p += 64) {
    for (int i = 0; i < 64; ++i) {
      w[i] = i < 16 ? uint32_t{p[4 * i]} << 24 | p[4 * i + 1] << 16 | p[4 * i + 2] << 8 | p[4 * i + 3]
                    : w[i - 16] + (rotate(w[i - 15], 7) ^ rotate(w[i - 15], 18) ^ w[i - 15] >> 3) + w[i - 7] +
                          (rotate(w[i - 2], 17) ^ rotate(w[i - 2], 19) ^ w[i - 2] >> 10);
    }
    std::copy(h, h + 8, s);
    for (int i = 0; i < 64; ++i) {
      uint32_t t1 = s[7] + (rotate(s[4], 6) ^ rotate(s[4], 11) ^ rotate(s[4], 25)) + ((s[4] & s[5]) ^ (~s[4] & s[6])) +
                    kRoundConstants[i] + w[i];
      uint32_t t2 = (rotate(s[0], 2) ^ rotate(s[0], 13) ^ rotate(s[0], 22)) +
                    ((s[0] & s[1]) ^ (s[0] & s[2]) ^ (s[1] & s[2]));
      std::copy_backward(s, s + 7, s + 8);  // h = g, g = f, ..., b = a
      s[4] += t1;
      s[0] = t1 + t2;
    }
    for (int i = 0; i < 8; ++i) h[i] += s[i];
  }
  char hex[65];
  for (int i = 0; i < 8; ++i) std::snprintf(hex + 8 * i, 9, "%08x", h[i]);
  return hex;
}

}  // namespace lzw::testing
