#include "mendbin/listing_passes.h"

#include <cerrno>

namespace mendbin {

ListingPasses::~ListingPasses() {
  if (copy_ != nullptr) std::fclose(copy_);
}

ListingSource ListingPasses::begin() {
  if (passes_++ == 0) {
    // The file was just opened, so a failure to position it at 0 means it
    // cannot be positioned at all.
    seekable_ = file_.seekTo(0) == 0;
    if (!seekable_) {
      errno = 0;
      copy_ = std::tmpfile();
      if (copy_ == nullptr) copyError_ = errno != 0 ? errno : EIO;
    }
    return [this](std::uint8_t* dst, std::int64_t n) { return readFirst(dst, n); };
  }
  if (seekable_) {
    int error = file_.seekTo(0);
    return [this, error](std::uint8_t* dst, std::int64_t n) {
      return error != 0 ? IoResult{-1, error} : file_.read(dst, n);
    };
  }
  if (copy_ != nullptr && (std::fflush(copy_) != 0 || std::fseek(copy_, 0, SEEK_SET) != 0)) {
    copyError_ = errno != 0 ? errno : EIO;
  }
  return [this](std::uint8_t* dst, std::int64_t n) { return readCopy(dst, n); };
}

IoResult ListingPasses::readFirst(std::uint8_t* dst, std::int64_t n) {
  IoResult r = file_.read(dst, n);
  if (seekable_ || r.count <= 0) return r;
  if (copy_ == nullptr) return {-1, copyError_};
  if (std::fwrite(dst, 1, static_cast<std::size_t>(r.count), copy_) !=
      static_cast<std::size_t>(r.count)) {
    copyError_ = errno != 0 ? errno : EIO;
    return {-1, copyError_};
  }
  return r;
}

IoResult ListingPasses::readCopy(std::uint8_t* dst, std::int64_t n) {
  if (copy_ == nullptr || copyError_ != 0) return {-1, copyError_ != 0 ? copyError_ : EIO};
  std::size_t got = std::fread(dst, 1, static_cast<std::size_t>(n), copy_);
  if (got == 0 && std::ferror(copy_)) return {-1, errno != 0 ? errno : EIO};
  return {static_cast<std::int64_t>(got), 0};
}

}  // namespace mendbin
