// The write-ahead log: a file beside the database ("<database>-wal") that
// makes each unit of change durable and atomic without writing the database
// file itself until a checkpoint.
//
// Log file:
//   header (64 bytes)
//     OFFSET  SIZE  MEANING
//     0       8     "JETWAL01"
//     8       4     page size
//     12      4     salt: random, new for each generation of the log
//     16      8     database device  } the database file this log belongs to,
//     24      8     database inode   } as it was when the generation began
//     32      8     database size    }
//     40      8     database mtime (ns)
//     48      8     reserved (0)
//     56      8     checksum of bytes 0..55
//   then records, each checksummed over its own bytes, seeded with the salt:
//     unit:        u32 "UNIT", u32 salt, u32 page count of the database after
//                  the unit, u32 n, n x (u32 page number, page image), u64 sum
//     checkpoint:  u32 "CKPT", u32 salt, u32 page count, u32 n,
//                  n x (u32 page number, u64 hash before, u64 hash after), u64 sum
//
// Rules:
//   (W1) A unit is committed once its record is complete (and durable across
//        a power cut once synced: at every commit, or at the latest by the
//        checkpoint record, W2). A record
//        that is cut short or fails its checksum, and everything after it, is
//        ignored: the tail of a write that a crash interrupted.
//   (W2) Before a checkpoint writes any page into the database, a checkpoint
//        record lists every page it will write with the hashes of the page
//        before and after, and is synced. Until such a record exists the
//        database file is exactly as the header describes it.
//   (W3) The log is applied to a database only if it still belongs to it:
//        same device and inode, and either unchanged size and mtime (no
//        checkpoint record) or, after a checkpoint record, every listed page
//        holding its before or its after image. Otherwise another program has
//        changed the database since, and applying the log would damage it:
//        recovery refuses and leaves both files alone.
//   (W4) The log is emptied only after the database file holding its pages has
//        been synced. A new generation gets a new salt, so stale records of an
//        older one can never be taken for committed units.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jet/file.h"
#include "jet/status.h"

namespace jet {

uint64_t HashBytes(const uint8_t* data, size_t size, uint64_t seed);

// What a log holds: the latest image of every page its committed units wrote.
struct WalContents {
  std::map<uint32_t, std::string> pages;
  uint32_t page_count = 0;     // of the database after the last unit
  bool checkpoint_started = false;
  std::map<uint32_t, std::pair<uint64_t, uint64_t>> checkpoint_hashes;  // page -> before, after
  OsFile::Identity base;       // the database as the generation began
  uint64_t valid_bytes = 0;    // length of the log up to the last good record
  bool empty() const { return pages.empty(); }
};

class Wal {
 public:
  static std::string PathFor(const std::string& database_path) { return database_path + "-wal"; }

  // Reads the committed contents of the log at `path` (W1). An absent,
  // empty or headerless log gives empty contents.
  static Result<WalContents> Read(const std::string& path, uint32_t page_size);

  // Checks rule W3 for `contents` against the open database file.
  static Status CheckBelongs(const WalContents& contents, const OsFile& database,
                             uint32_t page_size);

  // Opens the log of a database for appending, emptying whatever it held.
  // REQUIRES: the caller holds the database's exclusive lock and has applied
  // any leftover log.
  static Result<std::unique_ptr<Wal>> Create(const std::string& path, const OsFile* database,
                                             uint32_t page_size, bool sync, bool sync_units);

  // Appends one unit, synced when sync_units (W1). On failure the log is cut
  // back to its last good record, so the unit is simply not there.
  struct Page {
    uint32_t number;
    const uint8_t* image;
  };
  Status AppendUnit(const std::vector<Page>& pages, uint32_t page_count);
  // Appends and syncs the checkpoint record (W2).
  Status AppendCheckpoint(const std::vector<uint32_t>& numbers,
                          const std::vector<uint64_t>& before,
                          const std::vector<uint64_t>& after, uint32_t page_count);
  // Empties the log after a checkpoint (W4): the next unit starts a new generation.
  Status Reset();

  uint64_t size() const { return size_; }
  const std::string& path() const { return file_->path(); }

 private:
  Wal(std::unique_ptr<OsFile> file, const OsFile* database, uint32_t page_size, bool sync,
      bool sync_units)
      : file_(std::move(file)),
        database_(database),
        page_size_(page_size),
        sync_(sync),
        sync_units_(sync_units) {}
  Status StartGeneration();
  Status AppendRecord(const std::string& record, bool sync);

  std::unique_ptr<OsFile> file_;
  const OsFile* database_;
  uint32_t page_size_;
  bool sync_;        // checkpoint records, emptying, the folder
  bool sync_units_;  // every unit record too
  uint32_t salt_ = 0;
  uint64_t size_ = 0;       // bytes of good records (0: no header yet)
  std::string buffer_;      // reused record buffer
};

}  // namespace jet
