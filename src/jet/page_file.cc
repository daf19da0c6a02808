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

// An open descriptor of a regular file, closed when it goes out of scope.
class OpenFile {
 public:
  OpenFile() = default;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile() {
    if (fd_ >= 0) ::close(fd_);
  }

  // Opens `path` read-only and learns its size. Refuses what is not a
  // regular file or is larger than any Access database can be.
  Status Open(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return ErrnoStatus("cannot open", path);
    struct stat st;
    if (::fstat(fd_, &st) != 0) return ErrnoStatus("cannot stat", path);
    if (!S_ISREG(st.st_mode)) return Status::IoError("not a regular file: " + path);
    if (static_cast<uint64_t>(st.st_size) > kMaxFileSize) {
      return Status::NotAnAccessFile("not an Access database file (larger than 2 GB): " + path);
    }
    size_ = static_cast<size_t>(st.st_size);
    return Status::OK();
  }

  int fd() const { return fd_; }
  size_t size() const { return size_; }

 private:
  int fd_ = -1;
  size_t size_ = 0;
};

}  // namespace

Result<std::unique_ptr<PageFile>> PageFile::Map(const std::string& path) {
  OpenFile file;
  JET_RETURN_IF_ERROR(file.Open(path));
  std::unique_ptr<PageFile> pages(new PageFile());
  if (file.size() > 0) {
    void* mapping = ::mmap(nullptr, file.size(), PROT_READ, MAP_PRIVATE, file.fd(), 0);
    if (mapping == MAP_FAILED) {
      // Some file systems cannot map; read the file instead.
      Result<std::string> image = ReadWholeFile(path);
      if (!image.ok()) return image.status();
      return std::make_unique<PageFile>(std::move(image).value());
    }
    pages->mapping_ = mapping;
    pages->data_ = static_cast<const uint8_t*>(mapping);
    pages->size_ = file.size();
  }
  return pages;
}

Result<std::string> ReadWholeFile(const std::string& path) {
  OpenFile file;
  JET_RETURN_IF_ERROR(file.Open(path));
  std::string image;
  image.resize(file.size());
  size_t done = 0;
  while (done < image.size()) {
    ssize_t n = ::read(file.fd(), image.data() + done, image.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoStatus("cannot read", path);
    }
    if (n == 0) break;  // file shrank while we read it
    done += static_cast<size_t>(n);
  }
  image.resize(done);
  return image;
}

}  // namespace jet
