#ifndef LZW_TESTS_SUPPORT_FILES_H_
#define LZW_TESTS_SUPPORT_FILES_H_

#include <string>
#include <vector>

namespace lzw::testing {

using Bytes = std::vector<unsigned char>;

// A fresh directory under $TMPDIR (or /tmp), removed with its contents when
// the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const;
  // Names of the entries in the directory, sorted, "." and ".." left out.
  std::vector<std::string> entries() const;

 private:
  std::string path_;  // absolute path of the directory
};

Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& bytes);
Bytes to_bytes(const std::string& text);
// The bytes of a file under tests/data.
Bytes read_test_data(const std::string& name);

}  // namespace lzw::testing

#endif  // LZW_TESTS_SUPPORT_FILES_H_
