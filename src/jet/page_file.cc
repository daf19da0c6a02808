// Page source over an in-memory file image; see page_file.h.
#include "jet/page_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace jet {

PageFile::~PageFile() {
  if (mapping_ != nullptr) ::munmap(mapping_, size_);
}

Status PageFile::GetPage(uint32_t page_number, const char* what, const uint8_t** page) const {
  *page = PageOrNull(page_number);
  if (*page == nullptr) {
    return Status::Corruption(std::string(what) + " points at page " + std::to_string(page_number) +
                              " beyond the end of the file (" + std::to_string(page_count_) +
                              " pages)");
  }
  return Status::OK();
}

namespace {

// The largest file either format allows (Jet 4: 2 GB).
constexpr uint64_t kMaxFileSize = 2ull * 1024 * 1024 * 1024;

Status ErrnoStatus(const std::string& what, const std::string& path) {
  return Status::IoError(what + " " + path + ": " + std::strerror(errno));
}

}  // namespace

Result<std::unique_ptr<PageFile>> PageFile::Map(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ErrnoStatus("cannot open", path);
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    Status s = ErrnoStatus("cannot stat", path);
    ::close(fd);
    return s;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return Status::IoError("not a regular file: " + path);
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxFileSize) {
    ::close(fd);
    return Status::NotAnAccessFile("not an Access database file (larger than 2 GB): " + path);
  }
  std::unique_ptr<PageFile> file(new PageFile());
  if (st.st_size > 0) {
    void* mapping = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapping == MAP_FAILED) {
      ::close(fd);
      // Some file systems cannot map; read the file instead.
      Result<std::string> image = ReadWholeFile(path);
      if (!image.ok()) return image.status();
      return std::make_unique<PageFile>(std::move(image).value());
    }
    file->mapping_ = mapping;
    file->data_ = static_cast<const uint8_t*>(mapping);
    file->size_ = static_cast<size_t>(st.st_size);
  }
  ::close(fd);
  return file;
}

Result<std::string> ReadWholeFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ErrnoStatus("cannot open", path);
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    Status s = ErrnoStatus("cannot stat", path);
    ::close(fd);
    return s;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return Status::IoError("not a regular file: " + path);
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxFileSize) {
    ::close(fd);
    return Status::NotAnAccessFile("not an Access database file (larger than 2 GB): " + path);
  }
  std::string image;
  image.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < image.size()) {
    ssize_t n = ::read(fd, image.data() + done, image.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Status s = ErrnoStatus("cannot read", path);
      ::close(fd);
      return s;
    }
    if (n == 0) break;  // file shrank while we read it
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  image.resize(done);
  return image;
}

}  // namespace jet
