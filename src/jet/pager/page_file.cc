// The pager; see page_file.h.
#include "jet/pager/page_file.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "jet/file/file.h"
#include "jet/file/memory_file_system.h"
#include "jet/log/wal.h"

namespace jet {

namespace {

constexpr uint32_t kReadAheadPages = 16;
// Cached pages come from chunks of this many pages, aligned like this.
constexpr uint32_t kChunkPages = 256;
constexpr uintptr_t kChunkAlignment = 4096;
constexpr int kLockRetryMs = 10;
// The name of an image in the MemoryFileSystem OpenImage makes for it.
constexpr char kImagePath[] = "image.mdb";

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

// Whether the state machine at the top of page_file.h has the move.
bool CanMove(PagerState from, PagerState to) {
  switch (to) {
    case PagerState::kOpened: return false;
    case PagerState::kReady:
      return from == PagerState::kOpened || from == PagerState::kInUnit ||
             from == PagerState::kCopying;
    case PagerState::kInUnit:
    case PagerState::kCopying:
    case PagerState::kFailed: return from == PagerState::kReady;
    case PagerState::kFailedCopying: return from == PagerState::kCopying;
    case PagerState::kClosed:
      return from != PagerState::kInUnit && from != PagerState::kCopying &&
             from != PagerState::kClosed;
  }
  return false;
}

PageFile::PageFile(std::string image) {
  PageFileOptions options;
  options.writable = true;
  auto files = std::make_unique<MemoryFileSystem>();
  files->Put(kImagePath, std::move(image));
  options.file_system = files.get();
  owned_files_ = std::move(files);
  [[maybe_unused]] const Status s = OpenAt(kImagePath, options);
  assert(s.ok());
}

PageFile::~PageFile() { (void)Close(); }

Result<std::unique_ptr<PageFile>> PageFile::OpenImage(std::string image, PageFileOptions options) {
  auto files = std::make_unique<MemoryFileSystem>();
  files->Put(kImagePath, std::move(image));
  options.file_system = files.get();
  std::unique_ptr<PageFile> pages(new PageFile());
  pages->owned_files_ = std::move(files);
  JET_RETURN_IF_ERROR(pages->OpenAt(kImagePath, options));
  return pages;
}

void PageFile::Enter(PagerState next) {
  assert(CanMove(state_, next));
  state_ = next;
  assert(CheckState());
}

bool PageFile::CheckState() const {
  const bool closed = state_ == PagerState::kClosed;
  if (closed) return file_ == nullptr && wal_ == nullptr;
  if (file_ == nullptr || files_ == nullptr) return false;
  // Pages: none before the page size is known, then one slot for each.
  if ((state_ == PagerState::kOpened) != (page_size_ == 0)) return false;
  if (pages_.size() != page_count_) return false;
  // Only a writer's unit keeps images before, and savepoints within it.
  if (state_ != PagerState::kInUnit &&
      (!undo_.empty() || !unit_pages_.empty() || !savepoints_.empty())) {
    return false;
  }
  if (state_ == PagerState::kInUnit) {
    if (!writable_ || unit_start_page_count_ > page_count_) return false;
    uint32_t previous = unit_start_page_count_;
    for (const Savepoint& savepoint : savepoints_) {
      if (savepoint.page_count < previous || savepoint.page_count > page_count_) return false;
      previous = savepoint.page_count;
    }
    for (uint32_t n : unit_pages_) {
      if (n >= unit_start_page_count_ || undo_.count(n) == 0) return false;
    }
    if (undo_.size() != unit_pages_.size()) return false;
  }
  // A reader has no log and changes nothing.
  if (!writable_ && (wal_ != nullptr || !logged_pages_.empty() ||
                     (state_ != PagerState::kOpened && state_ != PagerState::kReady))) {
    return false;
  }
  // Pages logged since the last checkpoint: in the log, marked so, each with
  // the hashes of its sectors before.
  if (!logged_pages_.empty() && wal_ == nullptr) return false;
  const uint32_t sectors = page_size_ / kSectorSize;
  if (logged_sectors_.size() != logged_pages_.size() * sectors) return false;
  for (uint32_t n : logged_pages_) {
    if (n >= is_logged_.size() || !is_logged_[n]) return false;
  }
  // A failed checkpoint knows why, and left its pages in the log.
  const bool failed = state_ == PagerState::kFailed || state_ == PagerState::kFailedCopying;
  if (failed != !failure_.ok()) return false;
  if (failed && (wal_ == nullptr || logged_pages_.empty())) return false;
  return true;
}

Status PageFile::CheckStillAtPath() const {
  if (file_->StillAtPath()) return Status::OK();
  return Status::IoError("the database file " + path_ +
                         " was removed or replaced by another program while it was open");
}

Status PageFile::RefusedAfterFailure() const {
  return Status::IoError(
      "the database cannot be changed any more after an earlier failure to "
      "save (" +
      failure_.message() + "); close and open it again");
}

Status PageFile::LockWaiting(File::LockByte byte, File::LockKind kind, int wait_ms) {
  for (int waited = 0;; waited += kLockRetryMs) {
    Status s = file_->Lock(byte, kind);
    if (s.code() != StatusCode::kBusy || waited >= wait_ms) return s;
    SleepMilliseconds(kLockRetryMs);
  }
}

Result<std::unique_ptr<PageFile>> PageFile::Open(const std::string& path,
                                                 const PageFileOptions& options) {
  std::unique_ptr<PageFile> pages(new PageFile());
  JET_RETURN_IF_ERROR(pages->OpenAt(path, options));
  return pages;
}

Status PageFile::OpenAt(const std::string& path, const PageFileOptions& options) {
  files_ = options.file_system != nullptr ? options.file_system : &FileSystem::Default();
  // The log is named after the file itself, whatever link led to it.
  Result<std::string> resolved = files_->ResolvePath(path);
  if (!resolved.ok()) return resolved.status();
  Result<std::unique_ptr<File>> file = files_->Open(
      *resolved, options.writable ? File::Mode::kReadWrite : File::Mode::kReadMaybeWrite);
  if (!file.ok()) return file.status();
  file_ = std::move(file).value();
  options_ = options;
  path_ = *resolved;
  writable_ = options.writable;
  if (options.writable) {
    Result<uint64_t> links = file_->LinkCount();
    if (!links.ok()) return links.status();
    if (*links > 1) {
      return Status::NotSupported(
          "the database " + path + " has " + std::to_string(*links) +
          " names (hard links), and is not changed: an interrupted update would leave its log "
          "beside one name only, where the others would not find it. Update a copy of the file "
          "instead");
    }
    JET_RETURN_IF_ERROR(file_->Lock(File::LockByte::kWriter, File::LockKind::kExclusive));
  } else {
    Status s =
        LockWaiting(File::LockByte::kReaders, File::LockKind::kShared, options.busy_timeout_ms);
    if (s.code() == StatusCode::kBusy) {
      return Status::Busy(
          "The database is in use by another program, which is saving changes "
          "to it; try again in a moment: " +
          path);
    }
    JET_RETURN_IF_ERROR(s);
  }
  Result<uint64_t> size = file_->Size();
  if (!size.ok()) return size.status();
  if (*size > kMaxFileSize) {
    return Status::NotAnAccessFile("not an Access database file (larger than 2 GB): " + path);
  }
  source_size_ = *size;
  assert(CheckState());
  return Status::OK();
}

Result<std::string> PageFile::ReadPrefix(size_t size) {
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
  assert(state_ == PagerState::kOpened && page_size > 0);
  page_size_ = page_size;
  page_count_ = static_cast<uint32_t>(source_size_ / page_size);
  pages_.clear();
  pages_.resize(page_count_);
  spare_pages_ = 0;
  Status s = Recover();
  if (s.ok()) {
    Enter(PagerState::kReady);
  } else {
    page_size_ = 0;  // still kOpened
    page_count_ = 0;
    pages_.clear();
  }
  return s;
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
  Result<WalContents> contents = Wal::Read(*files_, log_path, page_size_);
  if (!contents.ok()) return contents.status();
  if (!writable_) return RecoverAsReader(log_path, *contents);

  switch (contents->state) {
    case WalState::kAbsent: return Status::OK();
    case WalState::kSpent: return files_->Remove(log_path);
    case WalState::kForeign:
      return Status::IoError("a file that is not a log of this program is in the way: " + log_path +
                             " (" + contents->problem + "). The database " + path_ +
                             " keeps the log of its changes under that name, so it is not "
                             "changed while the file is there; move or rename that file");
    case WalState::kDamaged: return DamagedLog(log_path, path_, contents->problem);
    case WalState::kValid: break;
  }
  bool stranger;
  JET_RETURN_IF_ERROR(Wal::CheckBelongs(*contents, *file_, page_size_, &stranger));
  Status s =
      LockWaiting(File::LockByte::kReaders, File::LockKind::kExclusive, options_.busy_timeout_ms);
  if (s.code() == StatusCode::kBusy) {
    return Status::Busy(
        "The database is in use by another program, which is reading it; try "
        "again in a moment: " +
        path_);
  }
  JET_RETURN_IF_ERROR(s);
  Overlay(*contents);
  s = ApplyLog(log_path, *contents, *file_);
  file_->Unlock(File::LockByte::kReaders);
  if (s.ok()) source_size_ = static_cast<uint64_t>(page_count_) * page_size_;
  return s;
}

Status PageFile::RecoverAsReader(const std::string& log_path, const WalContents& contents) {
  // Holding the writer byte shared keeps a writer from starting while we
  // decide (P8); failing to take it means a writer is at work.
  if (!file_->Lock(File::LockByte::kWriter, File::LockKind::kShared).ok()) {
    // The writer's log. Anything but committed units is its header being
    // written, before any unit: nothing to read from it yet.
    if (contents.state == WalState::kValid) Overlay(contents);
    return Status::OK();
  }
  struct ReleaseWriterByte {
    File* file;
    ~ReleaseWriterByte() { file->Unlock(File::LockByte::kWriter); }
  } release{file_.get()};

  switch (contents.state) {
    case WalState::kAbsent:
    case WalState::kForeign:  // not ours: read the database without it
      return Status::OK();
    case WalState::kDamaged: return DamagedLog(log_path, path_, contents.problem);
    case WalState::kSpent:
    case WalState::kValid: break;
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
  if (!file_->Lock(File::LockByte::kWriter, File::LockKind::kExclusive).ok()) {
    return Status::OK();
  }
  if (!file_->Lock(File::LockByte::kReaders, File::LockKind::kExclusive).ok()) {
    return LockWaiting(File::LockByte::kReaders, File::LockKind::kShared, options_.busy_timeout_ms);
  }
  // Where a read-only file takes exclusive locks (Windows), the pages go in
  // through a writable one of our own.
  Status s;
  std::unique_ptr<File> writable;
  if (contents.state == WalState::kValid && !file_->can_write()) {
    Result<std::unique_ptr<File>> opened = files_->Open(path_, File::Mode::kReadWrite);
    if (opened.ok()) writable = std::move(opened).value();
    else s = opened.status();
  }
  if (s.ok()) {
    s = contents.state == WalState::kSpent
            ? files_->Remove(log_path)
            : ApplyLog(log_path, contents, writable ? *writable : *file_);
  }
  // Back to an ordinary reader. When the log could not be applied (a folder
  // we may not write, say) it still holds every page, and the cache holds
  // them too: reading goes on through it, and the next open tries again.
  if (s.ok()) source_size_ = static_cast<uint64_t>(page_count_) * page_size_;
  return file_->Lock(File::LockByte::kReaders, File::LockKind::kShared);
}

Status PageFile::ApplyLog(const std::string& log_path, const WalContents& contents, File& target) {
  std::vector<uint32_t> numbers;
  for (const auto& entry : contents.pages) numbers.push_back(entry.first);
  auto failed = [&](const Status& s) {
    return Status::IoError("cannot apply the log " + log_path +
                           " of an interrupted update: " + s.message());
  };
  Result<std::unique_ptr<Wal>> wal =
      Wal::Resume(*files_, log_path, contents, page_size_, options_.sync);
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
  if (s.ok()) s = WritePagesBack(target, numbers);
  wal->reset();
  if (s.ok()) s = files_->Remove(log_path);
  return s.ok() ? s : failed(s);
}

Status PageFile::WritePagesBack(File& target, const std::vector<uint32_t>& numbers) {
  for (uint32_t number : numbers) {
    JET_RETURN_IF_ERROR(
        target.WriteAt(static_cast<uint64_t>(number) * page_size_, pages_[number], page_size_));
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
    blocks_.emplace_back(
        new uint8_t[static_cast<size_t>(chunk_pages) * page_size_ + kChunkAlignment]);
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
  JET_RETURN_IF_ERROR(file_->ReadAt(offset, block, wanted, &done));
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
  if (page_number >= page_count_ || pages_[page_number] != nullptr || page_number >= source_pages) {
    return GetPage(page_number, what, page);
  }
  if (buffer->page_size_ == page_size_ && page_number >= buffer->first_page_ &&
      page_number - buffer->first_page_ < buffer->held_pages_) {
    *page =
        buffer->bytes_.get() + static_cast<size_t>(page_number - buffer->first_page_) * page_size_;
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
  JET_RETURN_IF_ERROR(file_->ReadAt(offset, buffer->bytes_.get(), wanted, &done));
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
  switch (state_) {
    case PagerState::kReady: break;
    case PagerState::kFailed:
    case PagerState::kFailedCopying: return RefusedAfterFailure();
    case PagerState::kInUnit: return Status::InvalidArgument("a unit of change is already open");
    case PagerState::kOpened:
    case PagerState::kCopying:
    case PagerState::kClosed:
      return Status::InvalidArgument("the database is not open for changes");
  }
  unit_start_page_count_ = page_count_;
  Enter(PagerState::kInUnit);
  return Status::OK();
}

Status PageFile::MutablePage(uint32_t page_number, uint8_t** page) {
  if (!in_unit()) return Status::InvalidArgument("page written outside a unit of change");
  const uint8_t* current;
  JET_RETURN_IF_ERROR(GetPage(page_number, "a write", &current));
  if (page_number < unit_start_page_count_ && undo_.find(page_number) == undo_.end()) {
    undo_.emplace(page_number, CopyPage(current, page_size_));
    unit_pages_.push_back(page_number);
  }
  for (Savepoint& savepoint : savepoints_) {
    if (page_number < savepoint.page_count &&
        savepoint.undo.find(page_number) == savepoint.undo.end()) {
      savepoint.undo.emplace(page_number, CopyPage(current, page_size_));
    }
  }
  *page = pages_[page_number];
  return Status::OK();
}

Status PageFile::AppendPage(uint32_t* page_number) {
  if (!in_unit()) return Status::InvalidArgument("page added outside a unit of change");
  if (static_cast<uint64_t>(page_count_ + 1) * page_size_ > kMaxFileSize) {
    return Status::NotSupported(
        "the database would grow past 2 GB, the largest an Access file can be");
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
  if (!in_unit()) return;
  for (auto& [number, image] : undo_) std::memcpy(pages_[number], image.get(), page_size_);
  DropPagesFrom(unit_start_page_count_);
  undo_.clear();
  unit_pages_.clear();
  savepoints_.clear();
  Enter(PagerState::kReady);
}

void PageFile::BeginSavepoint() {
  if (!in_unit()) return;
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
  failure_ = s;
  Enter(state_ == PagerState::kCopying ? PagerState::kFailedCopying : PagerState::kFailed);
  return s;
}

Status PageFile::CommitUnit() {
  if (!in_unit()) return Status::InvalidArgument("no unit of change is open");
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
                                        std::memcmp(it->second.get(), pages_[n], page_size_) == 0;
                               }),
                changed.end());
  if (!changed.empty() || page_count_ != unit_start_page_count_) {
    // A unit committed for a file that is gone would be lost at close.
    Status there = CheckStillAtPath();
    if (!there.ok()) {
      RollbackUnit();
      return there;
    }
    if (wal_ == nullptr) {
      Result<std::unique_ptr<Wal>> wal =
          Wal::Create(*files_, Wal::PathFor(path_), file_.get(), page_size_, options_.sync,
                      options_.sync_every_commit);
      if (!wal.ok()) {
        RollbackUnit();
        return Status::IoError(
            "cannot make the log that protects changes beside the database "
            "(is its folder writable?): " +
            wal.status().message());
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
  Enter(PagerState::kReady);
  if (wal_ != nullptr && wal_->size() > options_.checkpoint_bytes) {
    // The unit is durable in the log whatever happens here; a checkpoint
    // that fails is tried again at the next one and at Close.
    (void)Checkpoint();
  }
  return Status::OK();
}

// ---- Checkpoint ----

Status PageFile::Checkpoint(int wait_ms) {
  if (in_unit()) return Status::InvalidArgument("checkpoint inside a unit of change");
  if (wal_ == nullptr || logged_pages_.empty()) return Status::OK();
  if (state_ != PagerState::kReady) return RefusedAfterFailure();  // (P5)
  JET_RETURN_IF_ERROR(CheckStillAtPath());
  // No reader may be open while pages change under it (P7).
  Status s = LockWaiting(File::LockByte::kReaders, File::LockKind::kExclusive, wait_ms);
  if (!s.ok()) return s;
  struct ReleaseReadersByte {
    File* file;
    ~ReleaseReadersByte() { file->Unlock(File::LockByte::kReaders); }
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
    entries.push_back(
        {n, base_hashes_[n], HashBytes(pages_[n], page_size_, 0), &logged_sectors_[i * sectors]});
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
    Enter(PagerState::kCopying);
    s = WritePagesBack(*file_, numbers);
  }
  if (s.ok()) s = wal_->Reset();
  if (!s.ok()) return Fail(s);
  Enter(PagerState::kReady);
  ++checkpoints_;
  logged_pages_.clear();
  logged_sectors_.clear();
  is_logged_.assign(is_logged_.size(), false);
  source_size_ = static_cast<uint64_t>(page_count_) * page_size_;
  return Status::OK();
}

Status PageFile::Close() {
  if (state_ == PagerState::kClosed) return Status::OK();
  RollbackUnit();
  Status s;
  if (writable_ && file_ != nullptr) s = CloseLog();
  wal_.reset();
  file_.reset();  // closing the file releases the locks
  Enter(PagerState::kClosed);
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
    (void)files_->Remove(log_path);
    return Status::OK();
  }
  if (s.code() == StatusCode::kBusy) {
    // Readers are still open: the log stays, complete and synced, and the
    // next open applies it (P8).
    if (wal_ == nullptr || options_.sync_every_commit) return Status::OK();
    s = wal_->Sync();
    if (s.ok()) return s;
  }
  if (state_ == PagerState::kFailed || state_ == PagerState::kFailedCopying) s = failure_;
  if (state_ == PagerState::kFailedCopying) {
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
  (void)files_->Remove(log_path);
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
  Result<std::unique_ptr<File>> file = FileSystem::Default().Open(path, File::Mode::kRead);
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
