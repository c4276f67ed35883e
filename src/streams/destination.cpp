#include "streams/destination.h"

namespace lzw {
namespace {

std::string directory_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool same_file(const platform::FileInfo& a, const platform::FileInfo& b) {
  return a.device == b.device && a.inode == b.inode;
}

}  // namespace

Destination::~Destination() { discard(); }

Status Destination::create(const char* path, const platform::FileInfo& source) {
  path_ = path;
  mode_ = source.mode;
  platform::FileInfo existing;
  if (platform::describe_path(path, /*follow_links=*/false, &existing)) {
    platform::FileInfo target;
    if (platform::describe_path(path, /*follow_links=*/true, &target) && same_file(target, source)) {
      return kCannotCreateOutput;
    }
    if (existing.is_symlink || !existing.is_regular) {
      descriptor_ = platform::open_in_place(path);
      return descriptor_ >= 0 ? kOk : kCannotCreateOutput;
    }
  }
  temporary_path_ = directory_of(path_) + "/.lzw-XXXXXX";
  descriptor_ = platform::create_temporary(temporary_path_.data());
  if (descriptor_ >= 0) return kOk;
  temporary_path_.clear();
  return kCannotCreateOutput;
}

Status Destination::write_at(uint64_t offset, const uint8_t* bytes, size_t count) {
  return platform::write_all_at(descriptor_, bytes, count, offset) ? kOk : kCannotWriteOutput;
}

Status Destination::commit() {
  if (!temporary_path_.empty()) platform::set_permissions(descriptor_, mode_);
  bool closed = platform::close_file(descriptor_);
  descriptor_ = -1;
  if (!closed) return kCannotWriteOutput;
  if (temporary_path_.empty()) return kOk;
  if (!platform::publish_temporary(temporary_path_.c_str(), path_.c_str())) return kCannotWriteOutput;
  temporary_path_.clear();
  return kOk;
}

void Destination::discard() {
  if (descriptor_ >= 0) platform::close_file(descriptor_);
  descriptor_ = -1;
  if (!temporary_path_.empty()) platform::remove_temporary(temporary_path_.c_str());
  temporary_path_.clear();
}

}  // namespace lzw
