// The pager; see page_file.h.
#include "jet/page_file.h"

#include <algorithm>
#include <cstring>

#include "jet/file.h"
#include "jet/wal.h"

namespace jet {

namespace {

constexpr uint32_t kReadAheadPages = 16;

// The largest file either format allows (Jet 4: 2 GB).
constexpr uint64_t kMaxFileSize = 2ull * 1024 * 1024 * 1024;

std::unique_ptr<uint8_t[]> CopyPage(const uint8_t* page, uint32_t page_size) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[page_size]);
  std::memcpy(copy.get(), page, page_size);
  return copy;
}

}  // namespace

PageFile::PageFile(std::string image) : image_(std::move(image)) {
  source_size_ = image_.size();
  writable_ = true;
}

PageFile::~PageFile() { (void)Close(); }

Result<std::unique_ptr<PageFile>> PageFile::Open(const std::string& path,
                                                 const PageFileOptions& options) {
  Result<std::unique_ptr<OsFile>> file =
      OsFile::Open(path, options.writable ? OsFile::Mode::kReadWrite : OsFile::Mode::kRead);
  if (!file.ok()) return file.status();
  std::unique_ptr<PageFile> pages(new PageFile());
  pages->file_ = std::move(file).value();
  pages->options_ = options;
  pages->path_ = path;
  pages->writable_ = options.writable;
  if (options.writable) {
    JET_RETURN_IF_ERROR(pages->file_->LockExclusive());
  } else {
    // A reader shares the lock with other readers; while a writer holds the
    // database it reads the committed state through the writer's log.
    pages->writer_active_ = !pages->file_->LockShared().ok();
  }
  Result<uint64_t> size = pages->file_->Size();
  if (!size.ok()) return size.status();
  if (*size > kMaxFileSize) {
    return Status::NotAnAccessFile("not an Access database file (larger than 2 GB): " + path);
  }
  pages->source_size_ = *size;
  return pages;
}

Result<std::string> PageFile::ReadPrefix(size_t size) {
  if (file_ == nullptr) return image_.substr(0, size);
  std::string prefix(std::min<uint64_t>(size, source_size_), '\0');
  size_t done;
  JET_RETURN_IF_ERROR(file_->ReadAt(0, prefix.data(), prefix.size(), &done));
  prefix.resize(done);
  return prefix;
}

uint64_t PageFile::file_size() const {
  if (page_size_ == 0) return source_size_;
  return static_cast<uint64_t>(page_count_) * page_size_;
}

Status PageFile::SetPageSize(uint32_t page_size) {
  page_size_ = page_size;
  page_count_ = static_cast<uint32_t>(source_size_ / page_size);
  pages_.clear();
  pages_.resize(page_count_);
  if (file_ == nullptr) return Status::OK();
  return Recover();
}

Status PageFile::Recover() {
  const std::string log_path = Wal::PathFor(path_);
  if (!FileExists(log_path)) return Status::OK();
  Result<WalContents> contents = Wal::Read(log_path, page_size_);
  if (!contents.ok()) return contents.status();
  if (!writer_active_ && !contents->empty()) {
    JET_RETURN_IF_ERROR(Wal::CheckBelongs(*contents, *file_, page_size_));
  }
  // The committed state is the log over the file.
  if (!contents->empty()) {
    page_count_ = std::max(page_count_, contents->page_count);
    pages_.resize(page_count_);
    for (const auto& [number, image] : contents->pages) {
      pages_[number] = NewPages(1);
      std::memcpy(pages_[number], image.data(), page_size_);
      recovered_.push_back(number);
    }
  }
  if (writer_active_) return Status::OK();  // the writer's log, not ours to apply

  // A leftover log: copy it into the database file if we can write it, then
  // remove it. A read-only reader keeps the pages in its cache only.
  std::unique_ptr<OsFile> writer;
  if (writable_) {
    writer = nullptr;
  } else {
    if (!file_->LockExclusive().ok()) return Status::OK();
    Result<std::unique_ptr<OsFile>> w = OsFile::Open(path_, OsFile::Mode::kReadWrite);
    if (!w.ok()) {
      (void)file_->LockShared();
      return Status::OK();
    }
    writer = std::move(w).value();
  }
  OsFile& target = writer ? *writer : *file_;
  Status s = WritePagesBack(target, recovered_);
  if (s.ok()) s = RemoveFile(log_path);
  if (writer) (void)file_->LockShared();
  if (!s.ok()) {
    return Status::IoError("cannot apply the log " + log_path + " of an interrupted update: " +
                           s.message());
  }
  recovered_.clear();
  source_size_ = static_cast<uint64_t>(page_count_) * page_size_;
  return Status::OK();
}

Status PageFile::WritePagesBack(OsFile& target, const std::vector<uint32_t>& numbers) {
  JET_RETURN_IF_ERROR(target.Reserve(static_cast<uint64_t>(page_count_) * page_size_));
  for (uint32_t number : numbers) {
    JET_RETURN_IF_ERROR(target.WriteAt(static_cast<uint64_t>(number) * page_size_,
                                       pages_[number], page_size_));
  }
  if (options_.sync) JET_RETURN_IF_ERROR(target.Sync());
  return Status::OK();
}

uint8_t* PageFile::NewPages(uint32_t count) const {
  blocks_.emplace_back(new uint8_t[static_cast<size_t>(count) * page_size_]());
  return blocks_.back().get();
}

Status PageFile::Load(uint32_t page_number) const {
  // Read ahead: the pages after this one that are not cached yet come in the
  // same read, since scans walk a table's pages mostly in order.
  const uint32_t source_pages = static_cast<uint32_t>(source_size_ / page_size_);
  uint32_t run = 1;
  while (run < kReadAheadPages && page_number + run < source_pages &&
         pages_[page_number + run] == nullptr) {
    ++run;
  }
  uint8_t* block = NewPages(run);
  const uint64_t offset = static_cast<uint64_t>(page_number) * page_size_;
  const size_t wanted = static_cast<size_t>(run) * page_size_;
  size_t done = 0;
  if (file_ == nullptr) {
    done = std::min<uint64_t>(wanted, image_.size() - std::min<uint64_t>(offset, image_.size()));
    std::memcpy(block, image_.data() + offset, done);
  } else {
    Status s = file_->ReadAt(offset, block, wanted, &done);
    if (!s.ok()) return s;
  }
  if (done < page_size_) {
    return Status::IoError("the file ended inside page " + std::to_string(page_number) +
                           " (was it truncated by another program?)");
  }
  for (uint32_t i = 0; i < run && static_cast<size_t>(i + 1) * page_size_ <= done; ++i) {
    pages_[page_number + i] = block + static_cast<size_t>(i) * page_size_;
  }
  return Status::OK();
}

const uint8_t* PageFile::PageOrNull(uint32_t page_number) const {
  if (page_number >= page_count_) return nullptr;
  if (pages_[page_number] == nullptr) {
    Status s = Load(page_number);
    if (!s.ok()) {
      load_error_ = std::move(s);
      return nullptr;
    }
  }
  return pages_[page_number];
}

Status PageFile::GetPage(uint32_t page_number, const char* what, const uint8_t** page) const {
  *page = PageOrNull(page_number);
  if (*page != nullptr) return Status::OK();
  if (page_number < page_count_) return load_error_;
  return Status::Corruption(std::string(what) + " points at page " + std::to_string(page_number) +
                            " beyond the end of the file (" + std::to_string(page_count_) +
                            " pages)");
}

// ---- Units ----

Status PageFile::BeginUnit() {
  if (!writable_) return Status::InvalidArgument("the database is open for reading only");
  if (failed_) return failed_status_;
  if (in_unit_) return Status::InvalidArgument("a unit of change is already open");
  in_unit_ = true;
  unit_start_page_count_ = page_count_;
  return Status::OK();
}

Status PageFile::MutablePage(uint32_t page_number, uint8_t** page) {
  if (!in_unit_) return Status::InvalidArgument("page written outside a unit of change");
  const uint8_t* current;
  JET_RETURN_IF_ERROR(GetPage(page_number, "a write", &current));
  if (page_number < unit_start_page_count_ && undo_.find(page_number) == undo_.end()) {
    undo_.emplace(page_number, CopyPage(current, page_size_));
    unit_pages_.push_back(page_number);
  }
  for (Savepoint& savepoint : savepoints_) {
    if (page_number < savepoint.page_count && savepoint.undo.find(page_number) == savepoint.undo.end()) {
      savepoint.undo.emplace(page_number, CopyPage(current, page_size_));
    }
  }
  *page = pages_[page_number];
  return Status::OK();
}

Status PageFile::AppendPage(uint32_t* page_number) {
  if (!in_unit_) return Status::InvalidArgument("page added outside a unit of change");
  if (static_cast<uint64_t>(page_count_ + 1) * page_size_ > kMaxFileSize) {
    return Status::NotSupported("the database would grow past 2 GB, the largest an Access file can be");
  }
  uint8_t* page = NewPages(1);
  *page_number = page_count_++;
  pages_.resize(page_count_);
  pages_[*page_number] = page;
  return Status::OK();
}

void PageFile::DropPagesFrom(uint32_t page_count) {
  page_count_ = page_count;
  pages_.resize(page_count);
}

void PageFile::RollbackUnit() {
  if (!in_unit_) return;
  for (auto& [number, image] : undo_) std::memcpy(pages_[number], image.get(), page_size_);
  DropPagesFrom(unit_start_page_count_);
  undo_.clear();
  unit_pages_.clear();
  savepoints_.clear();
  in_unit_ = false;
}

void PageFile::BeginSavepoint() {
  if (!in_unit_) return;
  savepoints_.push_back(Savepoint{page_count_, {}});
}

void PageFile::ReleaseSavepoint() {
  if (!savepoints_.empty()) savepoints_.pop_back();
}

void PageFile::RollbackToSavepoint() {
  if (savepoints_.empty()) return;
  Savepoint& savepoint = savepoints_.back();
  for (auto& [number, image] : savepoint.undo) {
    std::memcpy(pages_[number], image.get(), page_size_);
  }
  DropPagesFrom(savepoint.page_count);
  savepoints_.pop_back();
}

Status PageFile::Fail(Status s) {
  failed_ = true;
  failed_status_ = Status::IoError("the database cannot be changed any more after an earlier "
                                   "failure to save (" + s.message() +
                                   "); close and open it again");
  return s;
}

Status PageFile::CommitUnit() {
  if (!in_unit_) return Status::InvalidArgument("no unit of change is open");
  savepoints_.clear();
  // Every page the unit changed: the pre-existing ones it saved and the ones
  // it added.
  std::vector<uint32_t> changed = unit_pages_;
  for (uint32_t n = unit_start_page_count_; n < page_count_; ++n) changed.push_back(n);
  std::sort(changed.begin(), changed.end());
  // Pages written back to the same bytes need no logging.
  changed.erase(std::remove_if(changed.begin(), changed.end(),
                               [&](uint32_t n) {
                                 auto it = undo_.find(n);
                                 return it != undo_.end() &&
                                        std::memcmp(it->second.get(), pages_[n],
                                                    page_size_) == 0;
                               }),
                changed.end());
  if (file_ != nullptr && (!changed.empty() || page_count_ != unit_start_page_count_)) {
    // A unit committed for a file that is gone would be lost at close.
    Status there = file_->CheckStillAtPath();
    if (!there.ok()) {
      RollbackUnit();
      return there;
    }
    if (wal_ == nullptr) {
      Result<std::unique_ptr<Wal>> wal =
          Wal::Create(Wal::PathFor(path_), file_.get(), page_size_, options_.sync,
                      options_.sync_every_commit);
      if (!wal.ok()) {
        RollbackUnit();
        return Status::IoError("cannot make the log that protects changes beside the database "
                               "(is its folder writable?): " + wal.status().message());
      }
      wal_ = std::move(wal).value();
    }
    std::vector<Wal::Page> images;
    images.reserve(changed.size());
    for (uint32_t n : changed) images.push_back({n, pages_[n]});
    Status s = wal_->AppendUnit(images, page_count_);
    if (!s.ok()) {
      // The log was cut back to its last unit (W1): the cache goes back too.
      RollbackUnit();
      return s;
    }
    if (is_logged_.size() < page_count_) is_logged_.resize(page_count_, false);
    for (uint32_t n : changed) {
      if (!is_logged_[n]) {
        is_logged_[n] = true;
        logged_pages_.push_back(n);
      }
    }
  }
  undo_.clear();
  unit_pages_.clear();
  in_unit_ = false;
  if (wal_ != nullptr && wal_->size() > options_.checkpoint_bytes) {
    // The unit is durable in the log whatever happens here; a checkpoint
    // that fails is tried again at the next one and at Close.
    (void)Checkpoint();
  }
  return Status::OK();
}

// ---- Checkpoint ----

Status PageFile::Checkpoint() {
  if (in_unit_) return Status::InvalidArgument("checkpoint inside a unit of change");
  if (file_ == nullptr || wal_ == nullptr || logged_pages_.empty()) return Status::OK();
  if (failed_) return failed_status_;
  JET_RETURN_IF_ERROR(file_->CheckStillAtPath());
  std::vector<uint32_t> numbers = logged_pages_;
  std::sort(numbers.begin(), numbers.end());
  std::vector<uint64_t> before(numbers.size()), after(numbers.size());
  std::unique_ptr<uint8_t[]> disk(new uint8_t[page_size_]);
  for (size_t i = 0; i < numbers.size(); ++i) {
    size_t done;
    JET_RETURN_IF_ERROR(file_->ReadAt(static_cast<uint64_t>(numbers[i]) * page_size_, disk.get(),
                                      page_size_, &done));
    before[i] = done == page_size_ ? HashBytes(disk.get(), page_size_, 0) : 0;
    after[i] = HashBytes(pages_[numbers[i]], page_size_, 0);
  }
  JET_RETURN_IF_ERROR(wal_->AppendCheckpoint(numbers, before, after, page_count_));
  // Room first: a full disk fails here, with the file as it was.
  JET_RETURN_IF_ERROR(file_->Reserve(static_cast<uint64_t>(page_count_) * page_size_));
  // From here the file may hold a mixture until the copy is synced; the log
  // still holds every page, so a failure leaves it to the next open (P5).
  Status s = WritePagesBack(*file_, numbers);
  if (s.ok()) s = wal_->Reset();
  if (!s.ok()) return Fail(s);
  logged_pages_.clear();
  is_logged_.assign(is_logged_.size(), false);
  source_size_ = static_cast<uint64_t>(page_count_) * page_size_;
  return Status::OK();
}

Status PageFile::Close() {
  if (closed_) return Status::OK();
  RollbackUnit();
  Status s;
  if (file_ != nullptr && writable_) {
    s = Checkpoint();
    if (s.ok() && wal_ != nullptr) {
      std::string log_path = wal_->path();
      wal_.reset();
      s = RemoveFile(log_path);
    }
  }
  wal_.reset();
  file_.reset();  // closing the descriptor releases the lock
  closed_ = true;
  return s;
}

std::string PageFile::Image() const {
  std::string image;
  image.reserve(file_size());
  for (uint32_t n = 0; n < page_count_; ++n) {
    const uint8_t* page = PageOrNull(n);
    if (page == nullptr) break;
    image.append(reinterpret_cast<const char*>(page), page_size_);
  }
  return image;
}

uint64_t PageFile::log_bytes() const { return wal_ == nullptr ? 0 : wal_->size(); }

Result<std::string> ReadWholeFile(const std::string& path) {
  Result<std::unique_ptr<OsFile>> file = OsFile::Open(path, OsFile::Mode::kRead);
  if (!file.ok()) return file.status();
  Result<uint64_t> size = (*file)->Size();
  if (!size.ok()) return size.status();
  if (*size > kMaxFileSize) {
    return Status::NotAnAccessFile("not an Access database file (larger than 2 GB): " + path);
  }
  std::string image(*size, '\0');
  size_t done;
  JET_RETURN_IF_ERROR((*file)->ReadAt(0, image.data(), image.size(), &done));
  image.resize(done);  // the file shrank while we read it
  return image;
}

}  // namespace jet
