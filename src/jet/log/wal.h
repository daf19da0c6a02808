// The write-ahead log: a file beside the database ("<database>-wal", named
// after the database's resolved path) that makes each unit of change
// durable and atomic without writing the database file itself until a
// checkpoint.
//
// Log file (all numbers little-endian):
//   header slot 0 (64 bytes at offset 0), written and synced as a generation
//   begins, before any record:
//     OFFSET  SIZE  MEANING
//     0       8     "JETWAL03"
//     8       4     page size
//     12      4     salt: random, new for each generation of the log
//     16      8     database size as the generation began
//     24      8     hash of the database's page 0 as the generation began
//     32      8     offset of the checkpoint record (0: no checkpoint began)
//     40      8     log length at the end of the checkpoint record
//     48      8     reserved (0)
//     56      8     checksum of bytes 0..55
//   header slot 1 (64 bytes at offset 512, a sector of its own): slot 0
//     with the checkpoint mark (bytes 32..47) set, written in place once the
//     checkpoint record is synced, and synced; then slot 0 gets the mark too,
//     and is synced, before any page is copied. A slot that is torn falls
//     back to the other: a slot 1 that is missing, torn or of another
//     generation (bytes 0..31 differ from slot 0) names no checkpoint, and
//     a torn slot 0 gives way to slot 1.
//   then records from offset 1024, each checksummed over its own bytes,
//   seeded with the salt:
//     unit:        u32 "UNIT", u32 salt, u32 page count of the database after
//                  the unit, u32 n, n x (u32 page number, u64 hash of the page
//                  in the database file as the generation began, page image),
//                  u64 sum
//     checkpoint:  u32 "CKPT", u32 salt, u32 page count, u32 n,
//                  n x (u32 page number, u64 hash before, u64 hash after,
//                  k x u64 hash of each 512-byte sector before, k = page size
//                  / 512), u32 m, m x (u32 page number, u64 hash): pages the
//                  checkpoint leaves alone, as they stood (the database's
//                  likeness), u64 sum
//   Logs of the previous version ("JETWAL02": the one header at offset 0
//   holds the mark, records from offset 64, checkpoint entries without the
//   sector hashes, no likeness) are still read and completed.
//
// Rules:
//   (W1) A unit is committed once its record is complete (and durable across
//        a power cut once synced: at every commit, or at the latest by the
//        checkpoint record, W2). Before a checkpoint began, a record that is
//        cut short or fails its checksum, and everything after it, is the
//        tail of a write that a crash interrupted: it is dropped, and the
//        units before it are the committed state.
//   (W2) Before any page is written into the database, the checkpoint
//        record (every page to be written, with its hash before and after)
//        is appended and synced, and then the header is marked with the
//        record's place and synced. Until the header is marked, the database
//        file is exactly as the generation began. A checkpoint that a crash
//        interrupts is completed by the next open: recovery is a checkpoint
//        of the log it finds, so it can itself be interrupted and redone any
//        number of times.
//   (W3) A log belongs to a database by content, not by the file's name,
//        device, inode or time: its size is the size the generation began
//        with (or, once a checkpoint began, at most the size after it), its
//        page 0 is unchanged, and every page the log touches holds the image
//        the log recorded for it as the generation began, or, once a
//        checkpoint began, its image before or after the checkpoint, or a
//        mixture of the two by 512-byte sectors (a power cut during the
//        copy: the disk writes whole sectors). A database that fails this
//        was changed by another program; the log is not applied and both
//        files are kept. Once a checkpoint began, a database in which not
//        one page the checkpoint writes is as the log says, nor every page
//        of the checkpoint's likeness (pages it leaves alone), is another
//        database altogether (page 0 and many others are alike in databases
//        made alike): the log is refused as not its own, and the database
//        is read without it.
//   (W4) Nothing at the log's name is removed unless it is provably ours and
//        spent: a log whose pages are all in the synced database, or one of
//        ours without a committed unit. A log whose slot 0 is zeros (the
//        generation's header never reached the disk, so no unit of it was
//        durable) is spent when a record of ours follows. A file that is
//        not a log of ours is never touched (writing is refused, reading
//        goes on without it); a log that is damaged after its checkpoint
//        began, or whose header is damaged, is refused with both files kept.
//   (W5) The log is emptied only after the database file holding its pages
//        has been synced, or, before any page of a checkpoint was written,
//        to drop its units (Abandon). A new generation gets a new salt, so
//        stale records of an older one can never be taken for committed
//        units.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jet/file/file.h"
#include "jet/status.h"

namespace jet {

uint64_t HashBytes(const uint8_t* data, size_t size, uint64_t seed);

// The unit a disk writes whole: a page torn by a power cut is a mixture of
// its old and new sectors.
constexpr uint32_t kSectorSize = 512;
// The hash of each sector of a page, page_size / kSectorSize of them.
std::vector<uint64_t> HashSectors(const uint8_t* page, uint32_t page_size);

// What is found at a log's name.
enum class WalState {
  kAbsent,   // nothing there
  kSpent,    // a log of ours without a committed unit (or an empty file)
  kValid,    // a log of ours with committed units (or a begun checkpoint)
  kForeign,  // not a log of ours: left alone (W4)
  kDamaged,  // ours, but it cannot be told what it held: refused (W4)
};

// What a log holds: the latest image of every page its committed units wrote.
struct WalContents {
  WalState state = WalState::kAbsent;
  std::string problem;  // kForeign, kDamaged: what is wrong
  std::map<uint32_t, std::string> pages;
  std::map<uint32_t, uint64_t> base_hashes;  // page -> its hash as the generation began
  uint32_t page_count = 0;                   // of the database after the last unit
  uint32_t salt = 0;
  uint64_t base_size = 0;  // database size as the generation began
  uint64_t base_page0_hash = 0;
  bool checkpoint_started = false;
  struct CheckpointPage {
    uint64_t before = 0;
    uint64_t after = 0;
    std::vector<uint64_t> sectors_before;  // empty in logs of the previous version
  };
  std::map<uint32_t, CheckpointPage> checkpoint_pages;
  // Pages the checkpoint left alone, with their hashes as it began.
  std::vector<std::pair<uint32_t, uint64_t>> likeness;
  uint64_t valid_bytes = 0;  // length of the log up to the last good record
  uint32_t version = 3;
};

class Wal {
 public:
  static std::string PathFor(const std::string& database_path) { return database_path + "-wal"; }

  // Reads and classifies what is at `path` in `files` (W1, W4).
  static Result<WalContents> Read(FileSystem& files, const std::string& path, uint32_t page_size);

  // Checks rule W3 for a kValid `contents` against the open database file.
  // The refusal says whether the database is still whole as the other
  // program left it (no checkpoint had begun) or damaged; or, setting
  // *stranger, that the log is another database's (an IoError).
  static Status CheckBelongs(const WalContents& contents, const File& database, uint32_t page_size,
                             bool* stranger);

  // Opens the log of a database for appending, emptying whatever it held.
  // REQUIRES: the caller holds the database's writer lock, and what is at
  // `path` is absent or spent. `files` and `database` outlive the Wal.
  static Result<std::unique_ptr<Wal>> Create(FileSystem& files, const std::string& path,
                                             const File* database, uint32_t page_size, bool sync,
                                             bool sync_units);
  // Opens a kValid log left by an interrupted writer, to complete its
  // checkpoint: the torn tail after its last good record is cut off.
  static Result<std::unique_ptr<Wal>> Resume(FileSystem& files, const std::string& path,
                                             const WalContents& contents, uint32_t page_size,
                                             bool sync);

  struct Page {
    uint32_t number;
    uint64_t base_hash;  // the page's hash in the database file (0 past its end)
    const uint8_t* image;
  };
  // Appends one unit, synced when sync_units (W1). On failure the log is cut
  // back to its last good record, so the unit is simply not there.
  Status AppendUnit(const std::vector<Page>& pages, uint32_t page_count);
  struct CheckpointPage {
    uint32_t number;
    uint64_t before;
    uint64_t after;
    const uint64_t* sectors_before;  // page_size / kSectorSize hashes
  };
  // Appends and syncs the checkpoint record of `pages` (ascending), with
  // the likeness of `database`, whose first `existing_pages` pages stand as
  // before the checkpoint; then marks the header and syncs it (W2).
  Status BeginCheckpoint(const std::vector<CheckpointPage>& pages, uint32_t page_count,
                         const File& database, uint32_t existing_pages);
  // Empties the log after a checkpoint (W5): the next unit starts a new generation.
  Status Reset();
  // Drops every unit of the log: it is emptied and synced, or failing that
  // removed, so that none of them can reach the database. OK only when
  // that is done. REQUIRES: no page of a checkpoint has been written. The
  // log is of no further use afterwards (its file may be closed).
  Status Abandon();
  // Makes every unit appended so far durable (when syncing at all).
  Status Sync();

  uint64_t size() const { return size_; }
  const std::string& path() const { return file_->path(); }

 private:
  Wal(FileSystem& files, std::unique_ptr<File> file, const File* database, uint32_t page_size,
      bool sync, bool sync_units)
      : files_(files),
        file_(std::move(file)),
        database_(database),
        page_size_(page_size),
        sync_(sync),
        sync_units_(sync_units) {}
  Status StartGeneration();
  Status WriteHeader(uint64_t offset, uint64_t checkpoint_at, uint64_t checkpoint_end);
  Status AppendRecord(const std::string& record, bool sync);
  uint64_t records_start() const;

  FileSystem& files_;
  std::unique_ptr<File> file_;
  const File* database_;  // null when resuming
  uint32_t page_size_;
  bool sync_;        // checkpoint records, the header mark, emptying, the folder
  bool sync_units_;  // every unit record too
  uint32_t salt_ = 0;
  uint64_t base_size_ = 0;
  uint64_t base_page0_hash_ = 0;
  uint64_t size_ = 0;      // bytes of good records (0: no header yet)
  uint32_t version_ = 3;   // 2 only when completing a log of the previous version
  bool cut_back_ = false;  // a record that failed was cut from the log again
  std::string buffer_;     // reused record buffer
};

}  // namespace jet
