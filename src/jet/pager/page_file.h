// The pager: the database as numbered pages, read into a cache of our own
// and changed in atomic units.
//
// Layering: FileSystem (file.h: the files, passed in at open) -> Wal
// (wal.h, the write-ahead log beside the database) -> PageFile (this
// header) -> rows, maps and indexes -> Database.
//
// A PageFile reads and writes the database and its log only through the
// FileSystem it was opened on: the operating system's, or files held in
// memory (an image of a whole file: tests, fuzzing, new files being built),
// which behave the same way. Pages are read on first use (positioned reads,
// never mmap: a file that another program truncates gives an IoError, never
// a SIGBUS) into buffers that live as long as the PageFile. So:
//
//   (P1) A page pointer handed out stays valid until the PageFile is
//        destroyed (pages added by a unit that is rolled back excepted). Its
//        bytes change when the page is written or a unit is rolled back:
//        callers re-read what they need after a write.
//   (P2) Every change happens inside a unit (BeginUnit .. CommitUnit or
//        RollbackUnit). MutablePage saves the page's image before the first
//        change in the unit (and in each open savepoint); RollbackUnit
//        restores every saved image and the page count, so a failed change
//        leaves no trace in the cache.
//   (P3) CommitUnit appends the unit's pages to the log (and syncs it when
//        asked to: PageFileOptions) before it returns OK. The database file
//        itself is only written by a checkpoint, which copies every logged
//        page into it, syncs it, and only then clears the log. So after a
//        crash the database file holds the state of the last checkpoint and
//        the log holds every unit committed since (see wal.h).
//   (P4) A commit that fails leaves no trace: the unit is cut from the log
//        and rolled back, and further units are taken.
//   (P5) After a failed checkpoint the PageFile refuses every further
//        change (the cache may disagree with the disk); reopening recovers
//        from the log.
//   (P10) Close that fails says what was written. Before a page of the
//        last checkpoint reached the file, the log's units are dropped (the
//        log emptied and synced, or removed), so the file is as the last
//        checkpoint left it: an IoError that says nothing was written. Once
//        the copy began, the log holds every page, synced: kSavedInLog, and
//        the next open finishes the copy. Readers only ever see a log that
//        is synced after Close.
//
// States. A PageFile is in one of these (PagerState), and moves only so:
//
//   kOpened --SetPageSize--> kReady
//   kReady --BeginUnit--> kInUnit --CommitUnit, RollbackUnit--> kReady
//   kReady --Checkpoint: its record synced and marked--> kCopying
//   kCopying --the file synced, the log emptied--> kReady
//   kReady --Checkpoint fails before its copy began--> kFailed
//   kCopying --Checkpoint fails--> kFailedCopying
//   kOpened, kReady, kFailed, kFailedCopying --Close--> kClosed
//
//   kOpened         the page size is not known yet: only the prefix is read.
//   kReady          pages are read; a writer may begin a unit or checkpoint.
//   kInUnit         a writer's unit is open; only here do pages change, and
//                   only here are images before kept (P2).
//   kCopying        a checkpoint is copying logged pages into the file,
//                   under the readers byte held exclusively (P7).
//   kFailed         (P5) the file is as the last checkpoint left it; Close
//                   drops the log's units (P10).
//   kFailedCopying  (P5) the file may hold part of the copy; the log holds
//                   every page, and the next open completes it (P10).
//   kClosed         the files and their locks are released.
// A reader (opened without writable) is only ever kOpened, kReady or
// kClosed, and has no log of its own. Debug builds check each move and
// what each state implies of the pager's fields (CheckState); they never
// check bytes read from a file, which are distrusted and answered with a
// Status.
//
// Readers beside a writer. Two lock bytes (file.h) keep every reader on one
// committed state for as long as it is open:
//   (P6) The writer holds the writer byte exclusively while it is open, so
//        there is one writer at a time ("The database is in use by another
//        program").
//   (P7) A reader holds the readers byte shared while it is open. Pages are
//        copied into the database file (a checkpoint, or the recovery of a
//        leftover log) only under the readers byte held exclusively, so the
//        file cannot change under an open reader, and a reader never opens
//        while pages are being copied: it waits up to busy_timeout_ms and is
//        then told to try again.
//   (P8) A reader that finds a writer at work (the writer byte is taken)
//        reads the committed units of the writer's log once, as it opens, and
//        takes those pages from them: the log is only appended to while a
//        reader holds the readers byte, so that prefix never changes. A
//        writer's checkpoint that finds readers waits for them (at Close, up
//        to busy_timeout_ms) or is put off; a log left so is complete and
//        durable, and the next open applies it.
//   (P9) Recovery of a leftover log happens at open, by a writer, or by a
//        reader that can take both bytes exclusively; it is a checkpoint of
//        that log (wal.h, W2). A reader that cannot apply it reads through it.
//
// Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "jet/file/file.h"
#include "jet/status.h"

namespace jet {

class Wal;
struct WalContents;

struct PageFileOptions {
  // Where the database and its log are (not owned; null: the operating
  // system's, FileSystem::Default()).
  FileSystem* file_system = nullptr;
  bool writable = false;
  // Sync the log before each checkpoint, the file after it, and the log
  // when it is emptied (P3). Tests and benchmarks may turn it off.
  bool sync = true;
  // Also sync the log at every commit, so that a committed unit survives a
  // power cut (without it, a power cut may lose the last units, but recovery
  // still finds a prefix of them: wal.h, W1).
  bool sync_every_commit = false;
  // A checkpoint runs when the log grows past this many bytes (and at close).
  uint64_t checkpoint_bytes = 32ull << 20;
  // How long a reader waits for a checkpoint to end, and a writer's Close
  // for readers to finish (P7, P8).
  int busy_timeout_ms = 5000;
};

// The states at the top of this header.
enum class PagerState { kOpened, kReady, kInUnit, kCopying, kFailed, kFailedCopying, kClosed };

// Room for a few consecutive pages that a reader reuses from one read to
// the next, and which pages it holds (PageFile::GetPageUncached).
class PageBuffer {
 public:
  explicit PageBuffer(uint32_t capacity_pages = 1) : capacity_pages_(capacity_pages) {}
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;

  uint32_t capacity_pages() const { return capacity_pages_; }

 private:
  friend class PageFile;
  std::unique_ptr<uint8_t[]> bytes_;
  uint32_t capacity_pages_;
  uint32_t page_size_ = 0;   // of the pages in bytes_ (0: nothing allocated)
  uint32_t first_page_ = 0;  // the pages held: first_page_ .. + held_pages_ - 1
  uint32_t held_pages_ = 0;
};

class PageFile {
 public:
  // Opens `path` (symbolic links resolved) on options.file_system; see
  // Database::Open for locking and log recovery. The page size must be set
  // (SetPageSize) before pages are read. A writable PageFile refuses a file
  // with several names (hard links): the log beside one name would not be
  // found from another.
  static Result<std::unique_ptr<PageFile>> Open(const std::string& path,
                                                const PageFileOptions& options);
  // Opens `image`, the bytes of a whole file, as a file of a
  // MemoryFileSystem that the PageFile owns (options.file_system is not
  // used).
  static Result<std::unique_ptr<PageFile>> OpenImage(std::string image, PageFileOptions options);
  // OpenImage for writing, for tests and for building new files in memory
  // (an image of at most 2 GB cannot fail to open so).
  explicit PageFile(std::string image);
  ~PageFile();

  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  // The first `size` bytes of the database as it stands now (page 0 is
  // never written by this engine; the header parser reads these).
  Result<std::string> ReadPrefix(size_t size);

  // Size of the database file (in pages x page size once the page size is set).
  uint64_t file_size() const;

  // REQUIRES: page_size > 0. Called once the header has told the page size.
  // Replays a leftover log (file-backed) and fails if it cannot.
  Status SetPageSize(uint32_t page_size);
  uint32_t page_size() const { return page_size_; }
  uint32_t page_count() const { return page_count_; }

  // nullptr when page_number is past the end of the file or cannot be read.
  const uint8_t* PageOrNull(uint32_t page_number) const;

  // GetPage for a reader that looks at pages once each, one after another
  // (a table scan and its long values): a page that is not cached is read
  // into `buffer`, and kept there for the next look, rather than into the
  // cache, so that such a reader does not hold every page it saw. The
  // `ahead` pages after it come in the same read, as many as the buffer
  // holds, for a reader that knows it wants them. *page stays valid until
  // the next call with the same buffer (a cached page: as for GetPage).
  // Pages not cached are as the file holds them, which does not change
  // while the PageFile is open (P7), so a buffer never goes stale; a page
  // cached since it was read is taken from the cache.
  Status GetPageUncached(uint32_t page_number, const char* what, PageBuffer* buffer,
                         const uint8_t** page, uint32_t ahead = 0) const;

  // Like PageOrNull, but a missing page is a Corruption naming `what` pointed
  // at it ("long value chain", "usage map", ...), a failed read an IoError.
  Status GetPage(uint32_t page_number, const char* what, const uint8_t** page) const;

  // ---- Writing (P2) ----
  bool writable() const { return writable_; }
  PagerState state() const { return state_; }
  bool in_unit() const { return state_ == PagerState::kInUnit; }

  // Starts a unit. REQUIRES: writable(), !in_unit().
  Status BeginUnit();
  // Makes the unit durable (P3) and ends it. On failure the unit is rolled
  // back and cut from the log (P4).
  Status CommitUnit();
  // Undoes every change of the unit and ends it.
  void RollbackUnit();

  // Savepoints inside a unit, nested: RollbackToSavepoint undoes the
  // changes made since the innermost BeginSavepoint and ends it;
  // ReleaseSavepoint ends it and keeps them (they stay part of the unit).
  // REQUIRES: in_unit().
  void BeginSavepoint();
  void ReleaseSavepoint();
  void RollbackToSavepoint();
  size_t savepoint_depth() const { return savepoints_.size(); }

  // The page for writing. REQUIRES: in_unit(), page_number < page_count().
  Status MutablePage(uint32_t page_number, uint8_t** page);
  // Adds a zero-filled page at the end of the file and returns its number.
  // REQUIRES: in_unit(). The caller formats it and marks it used in the
  // global page map.
  Status AppendPage(uint32_t* page_number);

  // Copies every logged page into the database file, syncs it and clears the
  // log. A no-op when nothing is logged. kBusy, with nothing done, when
  // readers are open and do not finish within `wait_ms` (P8).
  // REQUIRES: !in_unit().
  Status Checkpoint(int wait_ms = 0);
  // Checkpoints and releases the file and its locks. Safe to call twice. A
  // log that open readers keep from being applied stays beside the file,
  // synced. A failure is an IoError when nothing since the last checkpoint
  // was written, kSavedInLog when the next open completes it (P10).
  Status Close();

  // The whole database as it stands, committed or not (tests, new files).
  std::string Image() const;

  // Bytes in the log: what a crash now would replay.
  uint64_t log_bytes() const;

 private:
  PageFile() = default;
  // Open's work, on files_.
  Status OpenAt(const std::string& path, const PageFileOptions& options);
  // Moves to `next` (debug builds check that the move is one of those at
  // the top of this header, and CheckState after it).
  void Enter(PagerState next);
  // What each state implies of the fields; true when it holds (debug
  // builds: assert(CheckState())).
  bool CheckState() const;
  // The failure every change gets in kFailed and kFailedCopying (P5).
  Status RefusedAfterFailure() const;
  // An IoError when the database's name no longer leads to file_.
  Status CheckStillAtPath() const;
  Status Load(uint32_t page_number) const;
  // Reads `count` pages from `page_number` on into one new block and caches
  // the ones that were read whole. REQUIRES: none of them is cached yet.
  Status ReadRun(uint32_t page_number, uint32_t count) const;
  // A new block of `count` pages; zero-filled unless the caller is about to
  // overwrite every page it keeps (pages read from the file).
  uint8_t* NewPages(uint32_t count, bool zeroed = true) const;
  Status Fail(Status s);
  // Applies a leftover log, or overlays the log of a live writer (readers).
  Status Recover();
  Status RecoverAsReader(const std::string& log_path, const WalContents& contents);
  // Puts the log's pages into the cache.
  void Overlay(const WalContents& contents);
  // Completes the checkpoint of a leftover log into `target` (W2) and
  // removes the log. REQUIRES: both lock bytes held exclusively.
  Status ApplyLog(const std::string& log_path, const WalContents& contents, File& target);
  // Close's part for the log: the last checkpoint, or what a failure of it
  // leaves (P5, P10).
  Status CloseLog();
  // Copies cached pages into `target` and syncs it.
  Status WritePagesBack(File& target, const std::vector<uint32_t>& numbers);
  // Takes `byte` as `kind`, trying for up to `wait_ms`.
  Status LockWaiting(File::LockByte byte, File::LockKind kind, int wait_ms);
  void DropPagesFrom(uint32_t page_count);

  std::unique_ptr<FileSystem> owned_files_;  // OpenImage's
  FileSystem* files_ = nullptr;
  std::unique_ptr<File> file_;  // source of pages not yet in the cache
  std::unique_ptr<Wal> wal_;
  PageFileOptions options_;
  std::string path_;
  uint64_t source_size_ = 0;  // bytes in the file when opened, or after the last checkpoint

  uint32_t page_size_ = 0;
  uint32_t page_count_ = 0;
  // The cache: page number -> its bytes (null = not read yet). Pages are
  // carved out of large chunks that live as long as the PageFile (P1), so
  // that a page costs no allocation of its own; the part of a chunk not
  // handed out yet is never written, which keeps it from taking memory.
  mutable std::vector<uint8_t*> pages_;
  mutable std::vector<std::unique_ptr<uint8_t[]>> blocks_;
  mutable uint8_t* spare_ = nullptr;  // the last chunk's pages not handed out
  mutable uint32_t spare_pages_ = 0;
  mutable uint32_t next_in_order_ = 0;  // the page after the last one Load read
  mutable Status load_error_;

  bool writable_ = false;
  PagerState state_ = PagerState::kOpened;
  Status failure_;            // kFailed, kFailedCopying: what made the checkpoint fail
  uint64_t checkpoints_ = 0;  // done since the file was opened
  struct Savepoint {
    uint32_t page_count;
    std::unordered_map<uint32_t, std::unique_ptr<uint8_t[]>>
        undo;  // page -> image at the savepoint
  };
  std::vector<Savepoint> savepoints_;  // innermost last
  uint32_t unit_start_page_count_ = 0;
  std::unordered_map<uint32_t, std::unique_ptr<uint8_t[]>> undo_;  // page -> image before the unit
  std::vector<uint32_t> unit_pages_;      // pages changed in the unit, in first-change order
  std::vector<uint32_t> logged_pages_;    // pages changed since the last checkpoint
  std::vector<uint64_t> logged_sectors_;  // per logged page: its sector hashes in the file
  std::vector<bool> is_logged_;
  std::vector<uint64_t> base_hashes_;  // logged page -> its hash in the file (0 past its end)
};

// Reads a whole file without ever opening it for writing.
Result<std::string> ReadWholeFile(const std::string& path);

}  // namespace jet
