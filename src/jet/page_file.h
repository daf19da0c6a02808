// The page source: the whole database file, either mapped read-only into
// memory (files opened by path: only the pages a scan touches are ever read,
// and nothing is copied) or held as an in-memory image (tests, fuzzing). Hands
// out pages by number, refusing numbers past the end of the file.
//
// A mapped file must not be truncated by another process while it is open.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "jet/status.h"

namespace jet {

class PageFile {
 public:
  // Takes ownership of a whole-file image.
  explicit PageFile(std::string image) : image_(std::move(image)) {
    data_ = reinterpret_cast<const uint8_t*>(image_.data());
    size_ = image_.size();
  }
  // Maps `path` read-only.
  static Result<std::unique_ptr<PageFile>> Map(const std::string& path);
  ~PageFile();

  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  // The whole file.
  std::string_view bytes() const {
    return std::string_view(reinterpret_cast<const char*>(data_), size_);
  }
  uint64_t file_size() const { return size_; }

  // REQUIRES: page_size > 0. Called once the header has told the page size.
  void SetPageSize(uint32_t page_size) {
    page_size_ = page_size;
    page_count_ = static_cast<uint32_t>(size_ / page_size);
  }
  uint32_t page_size() const { return page_size_; }
  uint32_t page_count() const { return page_count_; }

  // nullptr when page_number is past the end of the file.
  const uint8_t* PageOrNull(uint32_t page_number) const {
    if (page_number >= page_count_) return nullptr;
    return data_ + static_cast<size_t>(page_number) * page_size_;
  }

  // Like PageOrNull, but a missing page is a Corruption naming `what` pointed
  // at it ("long value chain", "usage map", ...).
  Status GetPage(uint32_t page_number, const char* what, const uint8_t** page) const;

 private:
  PageFile() = default;

  std::string image_;
  void* mapping_ = nullptr;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  uint32_t page_size_ = 0;
  uint32_t page_count_ = 0;
};

// Reads a whole file without ever opening it for writing.
Result<std::string> ReadWholeFile(const std::string& path);

}  // namespace jet
