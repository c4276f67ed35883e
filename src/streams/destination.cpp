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

// In a sticky directory that anyone may write to, an entry is trusted only
// if it belongs to the caller or to the directory's owner: anyone else could
// have planted it there.
bool may_trust(const platform::FileInfo& entry, const platform::FileInfo& directory) {
  if (!directory.is_sticky || !directory.world_writable) return true;
  const uint32_t me = platform::effective_user();
  return entry.owner == me || entry.owner == directory.owner;
}

}  // namespace

Destination::~Destination() { discard(); }

Status Destination::create(const char* path, const platform::FileInfo& source, Content content) {
  path_ = path;
  source_ = source;
  // A name that can never become a file (empty, or naming a directory).
  if (path_.empty() || path_.back() == '/') return kCannotCreateOutput;
  platform::FileInfo directory;
  if (!platform::describe_path(directory_of(path_).c_str(), /*follow_links=*/true, &directory)) {
    return kCannotCreateOutput;
  }
  platform::FileInfo existing;
  if (platform::describe_path(path, /*follow_links=*/false, &existing)) {
    platform::FileInfo target;
    if (platform::describe_path(path, /*follow_links=*/true, &target) && same_file(target, source)) {
      return kCannotCreateOutput;
    }
    if (existing.is_symlink || !existing.is_regular) {
      Status status = accept_in_place(existing, directory);
      if (status != kOk) return status;
    } else if (directory.is_sticky && platform::effective_user() != 0 &&
               existing.owner != platform::effective_user() && directory.owner != platform::effective_user()) {
      return kCannotCreateOutput;  // the rename would be refused at the end
    }
  } else if (!platform::nothing_there()) {
    return kCannotCreateOutput;  // a name too long, a directory that cannot be searched
  }
  with_owner_ = platform::effective_user() == 0 && source.owner == directory.owner;
  if (in_place_ && content == Content::kInMemory) return kOk;
  temporary_path_ = directory_of(path_) + "/.lzw-XXXXXX";
  temporary_ = platform::create_temporary(temporary_path_.data());
  if (temporary_ >= 0) return kOk;
  temporary_path_.clear();
  return kCannotCreateOutput;
}

Status Destination::accept_in_place(const platform::FileInfo& existing, const platform::FileInfo& directory) {
  in_place_ = true;
  if (!may_trust(existing, directory)) return kCannotCreateOutput;
  if (existing.is_symlink) {
    // Root writes only through its own links: any other could point anywhere.
    if (platform::effective_user() == 0 && existing.owner != 0) return kCannotCreateOutput;
    link_ = existing;
    platform::FileInfo target;
    if (!platform::describe_path(path_.c_str(), /*follow_links=*/true, &target)) {
      // A dangling link: its target is created only when the content is final.
      return platform::nothing_there() ? kOk : kCannotCreateOutput;
    }
    target_ = platform::open_in_place(path_.c_str(), /*follow_link=*/true, /*create=*/false);
    return target_ >= 0 ? kOk : kCannotCreateOutput;
  }
  // Not a link: it must still be the file that was judged once open.
  target_ = platform::open_in_place(path_.c_str(), /*follow_link=*/false, /*create=*/false);
  platform::FileInfo opened;
  if (target_ < 0 || !platform::describe(target_, &opened) || !same_file(opened, existing)) {
    return kCannotCreateOutput;
  }
  return kOk;
}

Status Destination::write_at(uint64_t offset, const uint8_t* bytes, size_t count) {
  return platform::write_all_at(temporary_, bytes, count, offset) ? kOk : kCannotWriteOutput;
}

Status Destination::commit() {
  if (in_place_) return commit_in_place(nullptr, 0);
  platform::copy_metadata(temporary_, source_, with_owner_);
  const bool closed = platform::close_file(temporary_);
  temporary_ = -1;
  if (!closed || !platform::publish_temporary(temporary_path_.c_str(), path_.c_str())) return kCannotWriteOutput;
  temporary_path_.clear();
  return kOk;
}

Status Destination::commit(const uint8_t* bytes, size_t count) {
  if (in_place_) return commit_in_place(bytes, count);
  if (!platform::write_all(temporary_, bytes, count)) return kCannotWriteOutput;
  return commit();
}

Status Destination::commit_in_place(const uint8_t* bytes, size_t count) {
  if (target_ < 0) {
    // The dangling link judged at the start must be the one followed now.
    platform::FileInfo link;
    if (!platform::describe_path(path_.c_str(), /*follow_links=*/false, &link) || !same_file(link, link_)) {
      return kCannotWriteOutput;
    }
    target_ = platform::open_in_place(path_.c_str(), /*follow_link=*/true, /*create=*/true);
    if (target_ < 0) return kCannotWriteOutput;
  }
  platform::truncate_in_place(target_);
  const bool written = temporary_ >= 0 ? platform::copy_all(temporary_, target_) : platform::write_all(target_, bytes, count);
  const bool closed = platform::close_file(target_);
  target_ = -1;
  return written && closed ? kOk : kCannotWriteOutput;
}

void Destination::discard() {
  if (target_ >= 0) platform::close_file(target_);
  target_ = -1;
  if (temporary_ >= 0) platform::close_file(temporary_);
  temporary_ = -1;
  if (!temporary_path_.empty()) platform::remove_temporary(temporary_path_.c_str());
  temporary_path_.clear();
}

}  // namespace lzw
