#ifndef LZW_TESTS_SUPPORT_SHA256_H_
#define LZW_TESTS_SUPPORT_SHA256_H_

#include <string>

#include "support/files.h"

namespace lzw::testing {

// The SHA-256 digest of `bytes` in lower-case hexadecimal, as sha256sum prints it.
std::string sha256_hex(const Bytes& bytes);

}  // namespace lzw::testing

#endif  // LZW_TESTS_SUPPORT_SHA256_H_
