// The pager; see page_file.h.
#include "jet/pager/page_file.h"

#include <algorithm>
#include <cstring>

#include "jet/file/file.h"
#include "jet/log/wal.h"

namespace jet {

namespace {

constexpr uint32_t kReadAheadPages = 16;
// Cached pages come from chunks of this many pages, aligned like this.
constexpr uint32_t kChunkPages = 256;
constexpr uintptr_t kChunkAlignment = 4096;
constexpr int kLockRetryMs = 10;

void (*g_hook)(PagerEvent, const std::string&) = nullptr;

Status DamagedLog(const std::string& log, const std::string& database, const std::string& problem) {
  return Status::Corruption("the log " + log + " of an interrupted update of " + database +
                            " is damaged: " + problem +
                            ". It may hold changes the database needs. Both files were left as "
                            "they are: keep them, and restore the database from a backup");
}

// The largest file either format allows (Jet 4: 2 GB), and the largest an
// Access 97 file (2 KB pages) may grow to.
constexpr uint64_t kMaxFileSize = 2ull * 1024 * 1024 * 1024;
constexpr uint64_t kMaxJet3FileSize = 1ull * 1024 * 1024 * 1024;
constexpr uint32_t kJet3PageSize = 2048;

Status FileEndedInside(uint32_t page_number) {
  return Status::IoError("the file ended inside page " + std::to_string(page_number) +
                         " (was it truncated by another program?)");
}

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

void SetPagerHookForTesting(void (*hook)(PagerEvent event, const std::string& path)) {
  g_hook = hook;
}

Status PageFile::LockWaiting(OsFile::LockByte byte, OsFile::LockKind kind, int wait_ms) {
  for (int waited = 0;; waited += kLockRetryMs) {
    Status s = file_->Lock(byte, kind);
    if (s.code() != StatusCode::kBusy || waited >= wait_ms) return s;
    SleepMilliseconds(kLockRetryMs);
  }
}

Result<std::unique_ptr<PageFile>> PageFile::Open(const std::string& path,
                                                 const PageFileOptions& options) {
  // The log is named after the file itself, whatever link led to it.
  Result<std::string> resolved = ResolvePath(path);
  if (!resolved.ok()) return resolved.status();
  Result<std::unique_ptr<OsFile>> file =
      OsFile::Open(*resolved, options.writable ? OsFile::Mode::kReadWrite : OsFile::Mode::kReadMaybeWrite);
  if (!file.ok()) return file.status();
  std::unique_ptr<PageFile> pages(new PageFile());
  pages->file_ = std::move(file).value();
  pages->options_ = options;
  pages->path_ = *resolved;
  pages->writable_ = options.writable;
  if (options.writable) {
    Result<uint64_t> links = pages->file_->LinkCount();
    if (!links.ok()) return links.status();
    if (*links > 1) {
      return Status::NotSupported(
          "the database " + path + " has " + std::to_string(*links) +
          " names (hard links), and is not changed: an interrupted update would leave its log "
          "beside one name only, where the others would not find it. Update a copy of the file "
          "instead");
    }
    JET_RETURN_IF_ERROR(pages->file_->Lock(OsFile::LockByte::kWriter, OsFile::LockKind::kExclusive));
  } else {
    Status s = pages->LockWaiting(OsFile::LockByte::kReaders, OsFile::LockKind::kShared,
                                  options.busy_timeout_ms);
    if (s.code() == StatusCode::kBusy) {
      return Status::Busy("The database is in use by another program, which is saving changes "
                          "to it; try again in a moment: " + path);
    }
    JET_RETURN_IF_ERROR(s);
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
  spare_pages_ = 0;
  if (file_ == nullptr) return Status::OK();
  return Recover();
}

void PageFile::Overlay(const WalContents& contents) {
  page_count_ = std::max(page_count_, contents.page_count);
  pages_.resize(page_count_);
  for (const auto& [number, image] : contents.pages) {
    pages_[number] = NewPages(1);
    std::memcpy(pages_[number], image.data(), page_size_);
  }
}

Status PageFile::Recover() {
  const std::string log_path = Wal::PathFor(path_);
  Result<WalContents> contents = Wal::Read(log_path, page_size_);
  if (!contents.ok()) return contents.status();
  if (!writable_) return RecoverAsReader(log_path, *contents);

  switch (contents->state) {
    case WalState::kAbsent:
      return Status::OK();
    case WalState::kSpent:
      return RemoveFile(log_path);
    case WalState::kForeign:
      return Status::IoError("a file that is not a log of this program is in the way: " +
                             log_path + " (" + contents->problem + "). The database " + path_ +
                             " keeps the log of its changes under that name, so it is not "
                             "changed while the file is there; move or rename that file");
    case WalState::kDamaged:
      return DamagedLog(log_path, path_, contents->problem);
    case WalState::kValid:
      break;
  }
  bool stranger;
  JET_RETURN_IF_ERROR(Wal::CheckBelongs(*contents, *file_, page_size_, &stranger));
  Status s = LockWaiting(OsFile::LockByte::kReaders, OsFile::LockKind::kExclusive,
                         options_.busy_timeout_ms);
  if (s.code() == StatusCode::kBusy) {
    return Status::Busy("The database is in use by another program, which is reading it; try "
                        "again in a moment: " + path_);
  }
  JET_RETURN_IF_ERROR(s);
  Overlay(*contents);
  s = ApplyLog(log_path, *contents, *file_);
  file_->Unlock(OsFile::LockByte::kReaders);
  if (s.ok()) source_size_ = static_cast<uint64_t>(page_count_) * page_size_;
  return s;
}

Status PageFile::RecoverAsReader(const std::string& log_path, const WalContents& contents) {
  // Holding the writer byte shared keeps a writer from starting while we
  // decide (P8); failing to take it means a writer is at work.
  if (!file_->Lock(OsFile::LockByte::kWriter, OsFile::LockKind::kShared).ok()) {
    // The writer's log. Anything but committed units is its header being
    // written, before any unit: nothing to read from it yet.
    if (contents.state == WalState::kValid) Overlay(contents);
    return Status::OK();
  }
  struct ReleaseWriterByte {
    OsFile* file;
    ~ReleaseWriterByte() { file->Unlock(OsFile::LockByte::kWriter); }
  } release{file_.get()};

  switch (contents.state) {
    case WalState::kAbsent:
    case WalState::kForeign:  // not ours: read the database without it
      return Status::OK();
    case WalState::kDamaged:
      return DamagedLog(log_path, path_, contents.problem);
    case WalState::kSpent:
    case WalState::kValid:
      break;
  }
  if (contents.state == WalState::kValid) {
    bool stranger;
    Status belongs = Wal::CheckBelongs(contents, *file_, page_size_, &stranger);
    // Another database's log: not ours to read through or apply.
    if (stranger) return Status::OK();
    JET_RETURN_IF_ERROR(belongs);
    Overlay(contents);
  }

  // Apply (or remove) it too when no other reader is open and the file can
  // be written; otherwise read through it (P9). (A file opened read-only
  // cannot take exclusive locks on POSIX systems.)
  if (!file_->Lock(OsFile::LockByte::kWriter, OsFile::LockKind::kExclusive).ok()) {
    return Status::OK();
  }
  if (!file_->Lock(OsFile::LockByte::kReaders, OsFile::LockKind::kExclusive).ok()) {
    return LockWaiting(OsFile::LockByte::kReaders, OsFile::LockKind::kShared,
                       options_.busy_timeout_ms);
  }
  // Where a read-only file takes exclusive locks (Windows), the pages go in
  // through a writable one of our own.
  Status s;
  std::unique_ptr<OsFile> writable;
  if (contents.state == WalState::kValid && !file_->can_write()) {
    Result<std::unique_ptr<OsFile>> opened = OsFile::Open(path_, OsFile::Mode::kReadWrite);
    if (opened.ok()) writable = std::move(opened).value();
    else s = opened.status();
  }
  if (s.ok()) {
    s = contents.state == WalState::kSpent ? RemoveFile(log_path)
                                           : ApplyLog(log_path, contents, writable ? *writable : *file_);
  }
  // Back to an ordinary reader. When the log could not be applied (a folder
  // we may not write, say) it still holds every page, and the cache holds
  // them too: reading goes on through it, and the next open tries again.
  if (s.ok()) source_size_ = static_cast<uint64_t>(page_count_) * page_size_;
  return file_->Lock(OsFile::LockByte::kReaders, OsFile::LockKind::kShared);
}

Status PageFile::ApplyLog(const std::string& log_path, const WalContents& contents,
                          OsFile& target) {
  std::vector<uint32_t> numbers;
  for (const auto& entry : contents.pages) numbers.push_back(entry.first);
  auto failed = [&](const Status& s) {
    return Status::IoError("cannot apply the log " + log_path + " of an interrupted update: " +
                           s.message());
  };
  Result<std::unique_ptr<Wal>> wal = Wal::Resume(log_path, contents, page_size_, options_.sync);
  if (!wal.ok()) return failed(wal.status());
  // Room first: a full disk fails here, with the database as it was.
  Status s = target.Reserve(static_cast<uint64_t>(page_count_) * page_size_);
  if (s.ok() && !contents.checkpoint_started) {
    // The database is as the generation began (W3): its pages are the
    // images before.
    const auto existing_pages = static_cast<uint32_t>(contents.base_size / page_size_);
    const uint32_t sectors = page_size_ / kSectorSize;
    std::vector<uint64_t> sector_hashes(numbers.size() * sectors, 0);
    std::vector<Wal::CheckpointPage> entries;
    std::string before(page_size_, '\0');
    for (size_t i = 0; i < numbers.size() && s.ok(); ++i) {
      const uint32_t number = numbers[i];
      if (number < existing_pages) {
        size_t done = 0;
        s = target.ReadAt(static_cast<uint64_t>(number) * page_size_, before.data(), page_size_,
                          &done);
        const std::vector<uint64_t> hashes =
            HashSectors(reinterpret_cast<const uint8_t*>(before.data()), page_size_);
        std::copy(hashes.begin(), hashes.end(), sector_hashes.begin() + i * sectors);
      }
      entries.push_back({number, contents.base_hashes.at(number),
                         HashBytes(pages_[number], page_size_, 0), &sector_hashes[i * sectors]});
    }
    if (s.ok()) s = (*wal)->BeginCheckpoint(entries, page_count_, target, existing_pages);
  }
  if (s.ok() && g_hook != nullptr) g_hook(PagerEvent::kCopyingPages, path_);
  if (s.ok()) s = WritePagesBack(target, numbers);
  wal->reset();
  if (s.ok()) s = RemoveFile(log_path);
  return s.ok() ? s : failed(s);
}

Status PageFile::WritePagesBack(OsFile& target, const std::vector<uint32_t>& numbers) {
  for (uint32_t number : numbers) {
    JET_RETURN_IF_ERROR(target.WriteAt(static_cast<uint64_t>(number) * page_size_,
                                       pages_[number], page_size_));
  }
  if (options_.sync) JET_RETURN_IF_ERROR(target.Sync());
  return Status::OK();
}

uint8_t* PageFile::NewPages(uint32_t count, bool zeroed) const {
  const size_t bytes = static_cast<size_t>(count) * page_size_;
  uint8_t* pages;
  if (count <= spare_pages_) {
    pages = spare_;
  } else {
    // A new chunk, aligned to the system's memory pages so that each of our
    // pages lies in as few of them as it can. What was left of the previous
    // chunk stays unused.
    const uint32_t chunk_pages = std::max(count, kChunkPages);
    blocks_.emplace_back(new uint8_t[static_cast<size_t>(chunk_pages) * page_size_ + kChunkAlignment]);
    const auto address = reinterpret_cast<uintptr_t>(blocks_.back().get());
    pages = blocks_.back().get() + (kChunkAlignment - address % kChunkAlignment) % kChunkAlignment;
    spare_pages_ = chunk_pages;
  }
  spare_ = pages + bytes;
  spare_pages_ -= count;
  // Pages about to be read are not zero-filled first: that would write
  // every byte twice.
  if (zeroed) std::memset(pages, 0, bytes);
  return pages;
}

Status PageFile::Load(uint32_t page_number) const {
  // Read ahead once reads go in order (this page follows the last one read):
  // the pages after this one that are not cached yet come in the same read.
  // Reads here and there (long values, index pages) read one page each,
  // since a page read but not used costs more than the read saved.
  const uint32_t source_pages = static_cast<uint32_t>(source_size_ / page_size_);
  uint32_t run = 1;
  if (page_number == next_in_order_) {
    while (run < kReadAheadPages && page_number + run < source_pages &&
           pages_[page_number + run] == nullptr) {
      ++run;
    }
  }
  next_in_order_ = page_number + run;
  return ReadRun(page_number, run);
}

Status PageFile::ReadRun(uint32_t page_number, uint32_t run) const {
  uint8_t* block = NewPages(run, /*zeroed=*/false);
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
  if (done < page_size_) return FileEndedInside(page_number);
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

Status PageFile::GetPageUncached(uint32_t page_number, const char* what, PageBuffer* buffer,
                                 const uint8_t** page, uint32_t ahead) const {
  const uint64_t source_pages = page_size_ == 0 ? 0 : source_size_ / page_size_;
  if (page_number >= page_count_ || pages_[page_number] != nullptr ||
      page_number >= source_pages) {
    return GetPage(page_number, what, page);
  }
  if (buffer->page_size_ == page_size_ && page_number >= buffer->first_page_ &&
      page_number - buffer->first_page_ < buffer->held_pages_) {
    *page = buffer->bytes_.get() + static_cast<size_t>(page_number - buffer->first_page_) * page_size_;
    return Status::OK();
  }
  const uint32_t capacity = std::max<uint32_t>(buffer->capacity_pages_, 1);
  if (buffer->page_size_ != page_size_) {
    buffer->bytes_.reset(new uint8_t[static_cast<size_t>(capacity) * page_size_]);
    buffer->page_size_ = page_size_;
  }
  buffer->held_pages_ = 0;
  const auto run = static_cast<uint32_t>(
      std::min<uint64_t>({uint64_t{ahead} + 1, capacity, source_pages - page_number}));
  const uint64_t offset = static_cast<uint64_t>(page_number) * page_size_;
  const size_t wanted = static_cast<size_t>(run) * page_size_;
  size_t done = 0;
  if (file_ == nullptr) {
    done = std::min<uint64_t>(wanted, image_.size() - std::min<uint64_t>(offset, image_.size()));
    std::memcpy(buffer->bytes_.get(), image_.data() + offset, done);
  } else {
    JET_RETURN_IF_ERROR(file_->ReadAt(offset, buffer->bytes_.get(), wanted, &done));
  }
  if (done < page_size_) return FileEndedInside(page_number);
  buffer->first_page_ = page_number;
  buffer->held_pages_ = static_cast<uint32_t>(done / page_size_);
  *page = buffer->bytes_.get();
  return Status::OK();
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
  if (page_size_ == kJet3PageSize &&
      static_cast<uint64_t>(page_count_ + 1) * page_size_ > kMaxJet3FileSize) {
    return Status::NotSupported(
        "the database would grow past 1 GB, the largest an Access 97 file can be");
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
  failure_ = s;
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
    // A page logged for the first time since the last checkpoint is, before
    // the unit, exactly as in the file: its hash lets recovery tell that the
    // file is still the one the log was written for (W3).
    if (is_logged_.size() < page_count_) {
      is_logged_.resize(page_count_, false);
      base_hashes_.resize(page_count_, 0);
    }
    const uint64_t file_pages = source_size_ / page_size_;
    std::vector<Wal::Page> images;
    images.reserve(changed.size());
    for (uint32_t n : changed) {
      if (!is_logged_[n]) {
        base_hashes_[n] = n < file_pages ? HashBytes(undo_.at(n).get(), page_size_, 0) : 0;
      }
      images.push_back({n, base_hashes_[n], pages_[n]});
    }
    Status s = wal_->AppendUnit(images, page_count_);
    if (!s.ok()) {
      // The log was cut back to its last unit (W1): the cache goes back too.
      RollbackUnit();
      return s;
    }
    const uint32_t sectors = page_size_ / kSectorSize;
    for (uint32_t n : changed) {
      if (!is_logged_[n]) {
        is_logged_[n] = true;
        logged_pages_.push_back(n);
        // Each sector's hash before, for telling a page torn by a power cut
        // during the checkpoint from one another program changed (W3).
        if (n < file_pages) {
          const std::vector<uint64_t> hashes = HashSectors(undo_.at(n).get(), page_size_);
          logged_sectors_.insert(logged_sectors_.end(), hashes.begin(), hashes.end());
        } else {
          logged_sectors_.resize(logged_sectors_.size() + sectors, 0);
        }
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

Status PageFile::Checkpoint(int wait_ms) {
  if (in_unit_) return Status::InvalidArgument("checkpoint inside a unit of change");
  if (file_ == nullptr || wal_ == nullptr || logged_pages_.empty()) return Status::OK();
  if (failed_) return failed_status_;
  JET_RETURN_IF_ERROR(file_->CheckStillAtPath());
  // No reader may be open while pages change under it (P7).
  Status s = LockWaiting(OsFile::LockByte::kReaders, OsFile::LockKind::kExclusive, wait_ms);
  if (!s.ok()) return s;
  struct ReleaseReadersByte {
    OsFile* file;
    ~ReleaseReadersByte() { file->Unlock(OsFile::LockByte::kReaders); }
  } release{file_.get()};

  // The logged pages in page order, each with its hashes before and after.
  std::vector<size_t> order(logged_pages_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return logged_pages_[a] < logged_pages_[b]; });
  const uint32_t sectors = page_size_ / kSectorSize;
  std::vector<uint32_t> numbers;
  std::vector<Wal::CheckpointPage> entries;
  for (size_t i : order) {
    const uint32_t n = logged_pages_[i];
    numbers.push_back(n);
    entries.push_back({n, base_hashes_[n], HashBytes(pages_[n], page_size_, 0),
                       &logged_sectors_[i * sectors]});
  }
  // Room first: a full disk fails here, with the file's pages as they were
  // and the log still open for more units.
  JET_RETURN_IF_ERROR(file_->Reserve(static_cast<uint64_t>(page_count_) * page_size_));
  // From the checkpoint record on, the log takes no more units, and the file
  // may hold a mixture until the copy is synced; the log holds every page,
  // so a failure leaves it to the next open (P5).
  s = wal_->BeginCheckpoint(entries, page_count_, *file_,
                            static_cast<uint32_t>(source_size_ / page_size_));
  if (s.ok()) {
    copy_started_ = true;
    if (g_hook != nullptr) g_hook(PagerEvent::kCopyingPages, path_);
    s = WritePagesBack(*file_, numbers);
  }
  if (s.ok()) s = wal_->Reset();
  if (!s.ok()) return Fail(s);
  copy_started_ = false;
  ++checkpoints_;
  logged_pages_.clear();
  logged_sectors_.clear();
  is_logged_.assign(is_logged_.size(), false);
  source_size_ = static_cast<uint64_t>(page_count_) * page_size_;
  return Status::OK();
}

Status PageFile::Close() {
  if (closed_) return Status::OK();
  RollbackUnit();
  Status s;
  if (file_ != nullptr && writable_) s = CloseLog();
  wal_.reset();
  file_.reset();  // closing the descriptor releases the locks
  closed_ = true;
  return s;
}

Status PageFile::CloseLog() {
  Status s = Checkpoint(options_.busy_timeout_ms);
  if (s.ok()) {
    if (wal_ == nullptr) return s;
    const std::string log_path = wal_->path();
    wal_.reset();
    // The file holds every page and the log is empty: one left behind is
    // spent, and the next open removes it.
    (void)RemoveFile(log_path);
    return Status::OK();
  }
  if (s.code() == StatusCode::kBusy) {
    // Readers are still open: the log stays, complete and synced, and the
    // next open applies it (P8).
    if (wal_ == nullptr || options_.sync_every_commit) return Status::OK();
    s = wal_->Sync();
    if (s.ok()) return s;
  }
  if (failed_) s = failure_;
  if (copy_started_) {
    // The checkpoint record and its mark are synced: the log completes the
    // copy at the next open, whatever the file holds now.
    return Status::SavedInLog(s.message() + ". The changes are saved in " + wal_->path() +
                              ", and the next open of the database by this program writes them "
                              "into it");
  }
  // Not a page was written into the file: the units go, so that a failure
  // to close means that nothing was written.
  const std::string log_path = wal_->path();
  const Status dropped = wal_->Abandon();
  wal_.reset();
  if (!dropped.ok()) {
    return Status::IoError(s.message() + ". The log " + log_path +
                           " that holds the changes could not be emptied either (" +
                           dropped.message() +
                           "): the next open of the database may still write them into it");
  }
  (void)RemoveFile(log_path);
  return Status::IoError(s.message() + ". Nothing was written: the database is as it was " +
                         (checkpoints_ == 0 ? std::string("when it was opened")
                                            : "when it was last saved, before the changes "
                                              "since then"));
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
