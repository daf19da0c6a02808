// The page source: the whole database file held in memory, read once at open
// (Access files are at most 1 GB / 2 GB and the calendar files a few MB, and a
// single read is faster than any page cache for a full table scan). Hands out
// pages by number, refusing numbers past the end of the file.
#pragma once

#include <cstdint>
#include <string>

#include "jet/status.h"

namespace jet {

class PageFile {
 public:
  // REQUIRES: page_size > 0.
  PageFile(std::string image, uint32_t page_size)
      : image_(std::move(image)),
        page_size_(page_size),
        page_count_(static_cast<uint32_t>(image_.size() / page_size)) {}

  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  uint32_t page_size() const { return page_size_; }
  uint32_t page_count() const { return page_count_; }
  uint64_t file_size() const { return image_.size(); }

  // nullptr when page_number is past the end of the file.
  const uint8_t* PageOrNull(uint32_t page_number) const {
    if (page_number >= page_count_) return nullptr;
    return reinterpret_cast<const uint8_t*>(image_.data()) +
           static_cast<size_t>(page_number) * page_size_;
  }

  // Like PageOrNull, but a missing page is a Corruption naming `what` pointed
  // at it ("long value chain", "usage map", ...).
  Status GetPage(uint32_t page_number, const char* what, const uint8_t** page) const;

 private:
  std::string image_;
  uint32_t page_size_;
  uint32_t page_count_;
};

// Reads a whole file without ever opening it for writing.
Result<std::string> ReadWholeFile(const std::string& path);

}  // namespace jet
