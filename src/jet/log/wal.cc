// Write-ahead log; see wal.h.
#include "jet/log/wal.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <random>

#include "jet/base/coding.h"

namespace jet {

namespace {

constexpr char kMagic[8] = {'J', 'E', 'T', 'W', 'A', 'L', '0', '3'};
constexpr char kMagicV2[8] = {'J', 'E', 'T', 'W', 'A', 'L', '0', '2'};
constexpr size_t kFamilyLength = 6;  // "JETWAL": a log of ours, of some version
constexpr uint32_t kHeaderSize = 64;
constexpr uint64_t kMarkSlot = 512;       // header slot 1
constexpr uint64_t kRecordsStart = 1024;  // after both slots
constexpr uint64_t kRecordsStartV2 = 64;
// The fields of a header slot (the table in wal.h), after the magic.
constexpr size_t kHeaderPageSizeAt = 8;
constexpr size_t kHeaderSaltAt = 12;
constexpr size_t kHeaderBaseSizeAt = 16;
constexpr size_t kHeaderPage0HashAt = 24;
constexpr size_t kHeaderCheckpointAt = 32;     // the mark: where the checkpoint record is,
constexpr size_t kHeaderCheckpointEndAt = 40;  // and the log's length at its end
constexpr size_t kHeaderChecksumAt = 56;       // of the bytes before it
constexpr size_t kSlotIdentityBytes = kHeaderCheckpointAt;  // what slot 1 repeats of slot 0

// Records: u32 tag, u32 salt, u32 page count, u32 number of entries, the
// entries, u64 sum.
constexpr uint32_t kUnitTag = 0x54494E55;        // "UNIT"
constexpr uint32_t kCheckpointTag = 0x54504B43;  // "CKPT"
constexpr size_t kRecordSaltAt = 4;
constexpr size_t kRecordPageCountAt = 8;
constexpr size_t kRecordEntriesAt = 12;
constexpr uint32_t kRecordHeaderSize = 16;
constexpr size_t kHashSize = 8;  // a hash, and a record's sum
// A unit's entry: u32 page number, u64 hash as the generation began, image.
constexpr size_t kUnitEntryHashAt = 4;
constexpr size_t kUnitEntryImageAt = 12;
// A checkpoint's entry: u32 page number, u64 hash before, u64 hash after,
// and (not in the previous version) the hash before of each sector.
constexpr size_t kCheckpointEntryBeforeAt = 4;
constexpr size_t kCheckpointEntryAfterAt = 12;
constexpr size_t kCheckpointEntrySectorsAt = 20;
// After a checkpoint's entries (not in the previous version): u32 m, then
// m likeness entries of u32 page number, u64 hash.
constexpr size_t kLikenessCountSize = 4;
constexpr size_t kLikenessHashAt = 4;
constexpr size_t kLikenessEntrySize = 12;
// Pages of the database a checkpoint record keeps the hashes of, besides
// the ones it writes: enough to tell another database from this one.
constexpr uint32_t kLikenessPages = 16;

void PutU32(std::string* s, uint32_t v) {
  uint8_t b[4];
  WriteU32(b, v);
  s->append(reinterpret_cast<char*>(b), 4);
}
void PutU64(std::string* s, uint64_t v) {
  PutU32(s, static_cast<uint32_t>(v));
  PutU32(s, static_cast<uint32_t>(v >> 32));
}
const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

WalContents Classified(WalState state, std::string problem) {
  WalContents contents;
  contents.state = state;
  contents.problem = std::move(problem);
  return contents;
}

// Reads the page at `number` into `page`; false when the file ends before it.
Result<bool> ReadPageOnDisk(const File& file, uint32_t number, uint32_t page_size,
                            std::string* page) {
  page->assign(page_size, '\0');
  size_t done;
  JET_RETURN_IF_ERROR(
      file.ReadAt(static_cast<uint64_t>(number) * page_size, page->data(), page_size, &done));
  return done == page_size;
}

// Hash of the page at `number` in `file` as it stands; 0 when the file ends
// before it.
Status HashPageOnDisk(const File& file, uint32_t number, uint32_t page_size, uint64_t* hash) {
  std::string page;
  Result<bool> whole = ReadPageOnDisk(file, number, page_size, &page);
  if (!whole.ok()) return whole.status();
  *hash = *whole ? HashBytes(Bytes(page), page_size, 0) : 0;
  return Status::OK();
}

bool AllZero(const std::string& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == 0; });
}

bool HeaderChecksumOk(const uint8_t* header) {
  return ReadU64(header + kHeaderChecksumAt) == HashBytes(header, kHeaderChecksumAt, 0);
}

uint64_t CheckpointEntrySize(uint32_t version, uint32_t page_size) {
  return kCheckpointEntrySectorsAt + (version == 2 ? 0 : kHashSize * (page_size / kSectorSize));
}

// The length of the record at `r` (of `available` bytes) if it is whole and
// its checksum holds, else 0.
uint64_t RecordLength(const uint8_t* r, uint64_t available, uint32_t version, uint32_t page_size,
                      uint32_t salt) {
  if (available < kRecordHeaderSize || ReadU32(r + kRecordSaltAt) != salt) return 0;
  const uint32_t tag = ReadU32(r);
  const uint64_t n = ReadU32(r + kRecordEntriesAt);
  uint64_t length;
  if (tag == kUnitTag) {
    length = kRecordHeaderSize + n * (kUnitEntryImageAt + page_size) + kHashSize;
  } else if (tag == kCheckpointTag) {
    length = kRecordHeaderSize + n * CheckpointEntrySize(version, page_size);
    if (version != 2) {
      if (length + kLikenessCountSize > available) return 0;
      length += kLikenessCountSize + uint64_t{kLikenessEntrySize} * ReadU32(r + length);
    }
    length += kHashSize;
  } else {
    return 0;
  }
  if (length > available ||
      ReadU64(r + length - kHashSize) != HashBytes(r, length - kHashSize, salt)) {
    return 0;
  }
  return length;
}

// Whether `log` holds a whole record of ours where the records of `version`
// begin: proof that the file is one of our logs even when its header is lost.
bool RecordOfOursAt(const std::string& log, uint32_t version, uint32_t page_size) {
  const uint64_t at = version == 2 ? kRecordsStartV2 : kRecordsStart;
  if (log.size() < at + kRecordHeaderSize) return false;
  const uint8_t* r = Bytes(log) + at;
  return RecordLength(r, log.size() - at, version, page_size, ReadU32(r + kRecordSaltAt)) != 0;
}

// Reads `file` from byte `from` to byte `size` into `log`, which ends where
// the file does.
Status ReadLogBytes(const File& file, uint64_t from, uint64_t size, std::string* log) {
  log->resize(size);
  if (size <= from) return Status::OK();
  size_t done;
  JET_RETURN_IF_ERROR(file.ReadAt(from, log->data() + from, size - from, &done));
  log->resize(from + done);
  return Status::OK();
}

// What the first bytes of a log (its header, or as much as there is) say.
enum class Magic { kVersion3, kVersion2, kOtherVersion, kZeros, kForeign };

Magic MagicOf(const std::string& head) {
  const size_t compared = std::min(head.size(), sizeof kMagic);
  if (compared == sizeof kMagic && std::memcmp(head.data(), kMagicV2, compared) == 0) {
    return Magic::kVersion2;
  }
  // A header cut short counts as ours.
  if (std::memcmp(head.data(), kMagic, compared) == 0) return Magic::kVersion3;
  if (std::memcmp(head.data(), kMagic, std::min(compared, kFamilyLength)) == 0) {
    return Magic::kOtherVersion;
  }
  return AllZero(head) ? Magic::kZeros : Magic::kForeign;
}

// A log whose header is zeros: the first write of a generation never
// reached the disk, so none of its units was ever durable (W4). A file of
// zeros holds nothing of anyone's; one where a record of ours follows is
// ours.
WalContents ClassifyZeroHeader(const std::string& log, uint32_t page_size) {
  if (AllZero(log) || RecordOfOursAt(log, 3, page_size) || RecordOfOursAt(log, 2, page_size)) {
    return Classified(WalState::kSpent, "");
  }
  return Classified(WalState::kForeign, "it is not a log of this program");
}

// The header slot whose fields hold (slot 0, or slot 1 when slot 0 is
// torn), and whether slot 1 is whole and of slot 0's generation.
struct HeaderSlot {
  const uint8_t* fields = nullptr;
  bool slot1_ok = false;
};

// Slot 1 repeats slot 0 with the mark: either serves when the other is torn
// (a kill or power cut while the mark was written into it). Sets *slot, or
// returns what the log is when neither serves. `file_size` is the log's
// size on disk.
std::optional<WalContents> ChooseHeaderSlot(const std::string& log, uint64_t file_size,
                                            uint32_t version, HeaderSlot* slot) {
  const uint8_t* p = Bytes(log);
  slot->slot1_ok = version != 2 && log.size() >= kMarkSlot + kHeaderSize &&
                   HeaderChecksumOk(p + kMarkSlot) &&
                   std::memcmp(p + kMarkSlot, p, kSlotIdentityBytes) == 0;
  slot->fields = p;
  if (HeaderChecksumOk(p)) return std::nullopt;
  // Torn with nothing after it: the first write of a generation.
  if (file_size <= kHeaderSize) return Classified(WalState::kSpent, "");
  if (!slot->slot1_ok) return Classified(WalState::kDamaged, "its header is damaged");
  slot->fields = p + kMarkSlot;
  return std::nullopt;
}

// The latest image of each page a unit record at `r` holds, and the page
// count after it.
void AddUnit(const uint8_t* r, uint32_t page_size, WalContents* contents) {
  const uint64_t n = ReadU32(r + kRecordEntriesAt);
  const uint8_t* e = r + kRecordHeaderSize;
  for (uint64_t i = 0; i < n; ++i, e += kUnitEntryImageAt + page_size) {
    const uint32_t number = ReadU32(e);
    contents->base_hashes.emplace(number, ReadU64(e + kUnitEntryHashAt));
    contents->pages[number].assign(reinterpret_cast<const char*>(e + kUnitEntryImageAt), page_size);
  }
  contents->page_count = ReadU32(r + kRecordPageCountAt);
}

// The pages a checkpoint record at `r` writes, with their hashes, and the
// likeness of the database it leaves alone.
void AddCheckpoint(const uint8_t* r, uint32_t page_size, WalContents* contents) {
  const bool previous_version = contents->version == 2;
  const uint64_t n = ReadU32(r + kRecordEntriesAt);
  const uint64_t entry_size = CheckpointEntrySize(contents->version, page_size);
  const uint8_t* e = r + kRecordHeaderSize;
  for (uint64_t i = 0; i < n; ++i, e += entry_size) {
    WalContents::CheckpointPage& page = contents->checkpoint_pages[ReadU32(e)];
    page.before = ReadU64(e + kCheckpointEntryBeforeAt);
    page.after = ReadU64(e + kCheckpointEntryAfterAt);
    if (previous_version) continue;
    for (uint64_t k = 0; k < page_size / kSectorSize; ++k) {
      page.sectors_before.push_back(ReadU64(e + kCheckpointEntrySectorsAt + kHashSize * k));
    }
  }
  if (!previous_version) {
    const uint32_t m = ReadU32(e);
    const uint8_t* like = e + kLikenessCountSize;
    for (uint32_t i = 0; i < m; ++i, like += kLikenessEntrySize) {
      contents->likeness.emplace_back(ReadU32(like), ReadU64(like + kLikenessHashAt));
    }
  }
  contents->checkpoint_started = true;
}

// Reads the records of `log` into `contents`, up to the first one that is
// cut short or fails its checksum (W1), and at most through the checkpoint
// record at `checkpoint_at`; valid_bytes ends after the last one read.
void AddRecords(const std::string& log, uint64_t checkpoint_at, uint32_t page_size,
                WalContents* contents) {
  uint64_t at = contents->version == 2 ? kRecordsStartV2 : kRecordsStart;
  contents->valid_bytes = at;
  while (at < log.size()) {
    const uint8_t* r = Bytes(log) + at;
    const uint64_t length =
        RecordLength(r, log.size() - at, contents->version, page_size, contents->salt);
    if (length == 0) break;
    if (ReadU32(r) == kUnitTag) {
      AddUnit(r, page_size, contents);
    } else {
      // A checkpoint record that the header does not name never began
      // (W2): the database is untouched, and the record is redone.
      if (at != checkpoint_at) break;
      AddCheckpoint(r, page_size, contents);
    }
    at += length;
    contents->valid_bytes = at;
    if (contents->checkpoint_started) break;  // nothing is appended after a checkpoint record
  }
}

// What a log of ours holds, read whole into `log` (`file_size` bytes on
// disk; at least a header slot).
WalContents ParseLog(const std::string& log, uint64_t file_size, uint32_t version,
                     uint32_t page_size) {
  HeaderSlot slot;
  if (std::optional<WalContents> verdict = ChooseHeaderSlot(log, file_size, version, &slot)) {
    return *std::move(verdict);
  }
  const uint8_t* header = slot.fields;
  if (ReadU32(header + kHeaderPageSizeAt) != page_size) {
    return Classified(WalState::kDamaged, "it was written for pages of " +
                                              std::to_string(ReadU32(header + kHeaderPageSizeAt)) +
                                              " bytes, not " + std::to_string(page_size));
  }
  WalContents contents;
  contents.state = WalState::kValid;
  contents.version = version;
  contents.salt = ReadU32(header + kHeaderSaltAt);
  contents.base_size = ReadU64(header + kHeaderBaseSizeAt);
  contents.base_page0_hash = ReadU64(header + kHeaderPage0HashAt);
  // The mark: in slot 0 once the checkpoint wrote it there, before that in
  // slot 1 alone; a torn or missing slot 1 names no checkpoint.
  const uint8_t* mark = header;
  if (ReadU64(header + kHeaderCheckpointAt) == 0 && slot.slot1_ok) mark = Bytes(log) + kMarkSlot;
  const uint64_t checkpoint_at = ReadU64(mark + kHeaderCheckpointAt);
  const uint64_t checkpoint_end = ReadU64(mark + kHeaderCheckpointEndAt);

  AddRecords(log, checkpoint_at, page_size, &contents);
  if (checkpoint_at != 0 &&
      (!contents.checkpoint_started || contents.valid_bytes != checkpoint_end)) {
    // Its pages were being copied into the database, which may now hold a
    // mixture that only this log could complete.
    return Classified(WalState::kDamaged,
                      log.size() < checkpoint_end
                          ? "it is " + std::to_string(log.size()) + " bytes long, though " +
                                std::to_string(checkpoint_end) + " were written and synced"
                          : "a record written and synced before byte " +
                                std::to_string(checkpoint_end) + " is damaged");
  }
  // Pages past the final page count belonged to units that a later one
  // undid; they are not part of the database.
  for (auto it = contents.pages.begin(); it != contents.pages.end();) {
    it = it->first >= contents.page_count ? contents.pages.erase(it) : std::next(it);
  }
  if (contents.pages.empty() && !contents.checkpoint_started) contents.state = WalState::kSpent;
  return contents;
}

}  // namespace

uint64_t HashBytes(const uint8_t* data, size_t size, uint64_t seed) {
  // FNV-1a over 64-bit words, then the tail bytes: fast enough for page
  // images, and any torn or stale byte changes it.
  uint64_t h = 0xCBF29CE484222325ull ^ seed;
  constexpr uint64_t kPrime = 0x100000001B3ull;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    h = (h ^ ReadU64(data + i)) * kPrime;
    h ^= h >> 29;
  }
  for (; i < size; ++i) h = (h ^ data[i]) * kPrime;
  return h ^ (h >> 32);
}

std::vector<uint64_t> HashSectors(const uint8_t* page, uint32_t page_size) {
  std::vector<uint64_t> hashes(page_size / kSectorSize);
  for (size_t i = 0; i < hashes.size(); ++i) {
    hashes[i] = HashBytes(page + i * kSectorSize, kSectorSize, 0);
  }
  return hashes;
}

Result<WalContents> Wal::Read(FileSystem& files, const std::string& path, uint32_t page_size) {
  switch (files.KindOf(path)) {
    case FileKind::kAbsent: return WalContents();
    case FileKind::kOther: return Classified(WalState::kForeign, "it is not a regular file");
    case FileKind::kRegular: break;
  }
  Result<std::unique_ptr<File>> opened = files.Open(path, File::Mode::kRead);
  if (!opened.ok()) return opened.status();
  const File& file = **opened;
  Result<uint64_t> size = file.Size();
  if (!size.ok()) return size.status();

  // The header alone first: a large file that is not ours is never read whole.
  std::string log;
  JET_RETURN_IF_ERROR(ReadLogBytes(file, 0, std::min<uint64_t>(*size, kHeaderSize), &log));
  uint32_t version = 3;
  switch (MagicOf(log)) {
    case Magic::kOtherVersion:
      return Classified(WalState::kDamaged, "it was written by another version of this program");
    case Magic::kForeign: return Classified(WalState::kForeign, "it is not a log of this program");
    case Magic::kZeros:
      JET_RETURN_IF_ERROR(ReadLogBytes(file, kHeaderSize, *size, &log));
      return ClassifyZeroHeader(log, page_size);
    case Magic::kVersion2: version = 2; break;
    case Magic::kVersion3: break;
  }
  // A header cut short: the first write of a generation, before any unit.
  if (log.size() < kHeaderSize) return Classified(WalState::kSpent, "");
  JET_RETURN_IF_ERROR(ReadLogBytes(file, kHeaderSize, *size, &log));
  return ParseLog(log, *size, version, page_size);
}

Status Wal::CheckBelongs(const WalContents& contents, const File& database, uint32_t page_size,
                         bool* stranger) {
  *stranger = false;
  const std::string log = PathFor(database.path());
  auto refuse = [&](const std::string& why) {
    if (!contents.checkpoint_started) {
      return Status::Corruption(
          "the database " + database.path() +
          " was changed by another program after an update was interrupted (" + why +
          "), so the update's changes kept in " + log +
          " were not applied. Both files were left as they are. The database is whole as the "
          "other program left it; to use it without the interrupted update's changes, move " +
          log + " away");
    }
    return Status::Corruption(
        "the database " + database.path() +
        " was changed by another program while an interrupted update was copying its changes "
        "into it (" +
        why + "): it is damaged, and its log " + log +
        " cannot complete it. Both files were left as they are: keep them, and restore the "
        "database from a backup");
  };

  // Every page the log touches that the file held as the generation began
  // (pages past it were ours alone): is it as the log says?
  std::string page;
  uint64_t hash;
  size_t compared = 0;
  std::vector<uint32_t> differing;
  for (const auto& [number, image] : contents.pages) {
    if (static_cast<uint64_t>(number) * page_size >= contents.base_size) continue;
    ++compared;
    Result<bool> whole = ReadPageOnDisk(database, number, page_size, &page);
    if (!whole.ok()) return whole.status();
    hash = *whole ? HashBytes(Bytes(page), page_size, 0) : 0;
    bool same;
    if (contents.checkpoint_started) {
      auto listed = contents.checkpoint_pages.find(number);
      same = listed != contents.checkpoint_pages.end() &&
             (hash == listed->second.before || hash == listed->second.after);
      if (!same && *whole && listed != contents.checkpoint_pages.end() &&
          !listed->second.sectors_before.empty()) {
        // Torn by a power cut: each sector old or new.
        const std::vector<uint64_t> now = HashSectors(Bytes(page), page_size);
        const std::vector<uint64_t> after = HashSectors(Bytes(image), page_size);
        same = true;
        for (size_t k = 0; k < now.size() && same; ++k) {
          same = now[k] == listed->second.sectors_before[k] || now[k] == after[k];
        }
      }
    } else {
      same = hash == contents.base_hashes.at(number);
    }
    if (!same) differing.push_back(number);
  }

  if (contents.checkpoint_started && !contents.likeness.empty() && compared > 0 &&
      differing.size() == compared) {
    // Not one page the copy writes is as the log says, and neither are all
    // the pages it left alone: this is another database, which the log never
    // touched (databases made alike share many pages, page 0 among them).
    bool alike = true;
    for (const auto& [number, recorded] : contents.likeness) {
      JET_RETURN_IF_ERROR(HashPageOnDisk(database, number, page_size, &hash));
      alike = alike && hash == recorded;
    }
    if (!alike) {
      *stranger = true;
      return Status::IoError(
          "the log " + log + " beside the database " + database.path() +
          " was written for another database: none of the " + std::to_string(compared) +
          " pages it was copying is as it left them. The database was not changed by it, and "
          "is not changed while that file is there; move or rename " +
          log);
    }
  }

  // A checkpoint reserves the final size before it begins (zeros), and
  // then copies pages into it.
  Result<uint64_t> size = database.Size();
  if (!size.ok()) return size.status();
  const uint64_t final_size = std::max<uint64_t>(
      static_cast<uint64_t>(contents.page_count) * page_size, contents.base_size);
  if (*size < contents.base_size || *size > final_size) {
    return refuse("its size is " + std::to_string(*size) + " bytes, not " +
                  std::to_string(contents.base_size));
  }
  if (!contents.checkpoint_started && *size > contents.base_size) {
    std::string grown(*size - contents.base_size, '\0');
    size_t done;
    JET_RETURN_IF_ERROR(database.ReadAt(contents.base_size, grown.data(), grown.size(), &done));
    if (done != grown.size() || !AllZero(grown)) {
      return refuse("it grew by " + std::to_string(grown.size()) + " bytes");
    }
  }
  if (contents.pages.count(0) == 0) {
    JET_RETURN_IF_ERROR(HashPageOnDisk(database, 0, page_size, &hash));
    if (hash != contents.base_page0_hash) return refuse("its header page differs");
  }
  if (!differing.empty()) return refuse("page " + std::to_string(differing.front()) + " differs");
  return Status::OK();
}

Result<std::unique_ptr<Wal>> Wal::Create(FileSystem& files, const std::string& path,
                                         const File* database, uint32_t page_size, bool sync,
                                         bool sync_units) {
  // Readable by those who may read the database, and by nobody else.
  Result<std::unique_ptr<File>> file = files.CreateLike(path, *database);
  if (!file.ok()) return file.status();
  std::unique_ptr<Wal> wal(
      new Wal(files, std::move(file).value(), database, page_size, sync, sync_units));
  Status s = wal->Reset();
  if (s.ok() && sync) s = files.SyncParentDirectory(path);
  if (!s.ok()) {
    // Empty or spent: nothing of ours is lost with it.
    wal.reset();
    (void)files.Remove(path);
    return s;
  }
  return wal;
}

Result<std::unique_ptr<Wal>> Wal::Resume(FileSystem& files, const std::string& path,
                                         const WalContents& contents, uint32_t page_size,
                                         bool sync) {
  Result<std::unique_ptr<File>> file = files.Open(path, File::Mode::kReadWrite);
  if (!file.ok()) return file.status();
  std::unique_ptr<Wal> wal(new Wal(files, std::move(file).value(), nullptr, page_size, sync, sync));
  wal->version_ = contents.version;
  wal->salt_ = contents.salt;
  wal->base_size_ = contents.base_size;
  wal->base_page0_hash_ = contents.base_page0_hash;
  wal->size_ = contents.valid_bytes;
  if (!contents.checkpoint_started) {
    // The torn tail goes, so that the checkpoint record follows the last unit.
    Result<uint64_t> size = wal->file_->Size();
    if (!size.ok()) return size.status();
    if (*size > wal->size_) JET_RETURN_IF_ERROR(wal->file_->Truncate(wal->size_));
  }
  return wal;
}

uint64_t Wal::records_start() const { return version_ == 2 ? kRecordsStartV2 : kRecordsStart; }

Status Wal::Reset() {
  if (size_ == 0) {
    Result<uint64_t> size = file_->Size();
    if (!size.ok()) return size.status();
    if (*size == 0) return Status::OK();
  }
  JET_RETURN_IF_ERROR(file_->Truncate(0));
  if (sync_) JET_RETURN_IF_ERROR(file_->Sync());
  size_ = 0;
  version_ = 3;
  return Status::OK();
}

Status Wal::Abandon() {
  size_ = 0;
  Status s = file_->Truncate(0);
  if (s.ok() && sync_) s = file_->Sync();
  if (s.ok()) return s;
  // No name, no units: a log removed is as good as an empty one (a folder
  // that cannot be synced leaves only a power cut to bring the name back).
  // Our handle goes first, since Windows removes no file that is open.
  const std::string path = file_->path();
  file_.reset();
  (void)files_.Remove(path);
  return files_.Exists(path) ? s : Status::OK();
}

Status Wal::Sync() {
  if (!sync_ || size_ == 0) return Status::OK();
  return file_->Sync();
}

Status Wal::WriteHeader(uint64_t offset, uint64_t checkpoint_at, uint64_t checkpoint_end) {
  std::string header(version_ == 2 ? kMagicV2 : kMagic, 8);
  PutU32(&header, page_size_);
  PutU32(&header, salt_);
  PutU64(&header, base_size_);
  PutU64(&header, base_page0_hash_);
  PutU64(&header, checkpoint_at);
  PutU64(&header, checkpoint_end);
  PutU64(&header, 0);
  PutU64(&header, HashBytes(Bytes(header), kHeaderChecksumAt, 0));
  return file_->WriteAt(offset, header.data(), header.size());
}

Status Wal::StartGeneration() {
  Result<uint64_t> size = database_->Size();
  if (!size.ok()) return size.status();
  base_size_ = *size;
  JET_RETURN_IF_ERROR(HashPageOnDisk(*database_, 0, page_size_, &base_page0_hash_));
  std::random_device random;
  salt_ = random();
  version_ = 3;
  JET_RETURN_IF_ERROR(WriteHeader(0, 0, 0));
  // Durable on its own, before any record: a header lost to a power cut
  // then means that no unit of the generation was durable either (W4).
  if (sync_) JET_RETURN_IF_ERROR(file_->Sync());
  size_ = kRecordsStart;
  return Status::OK();
}

Status Wal::AppendRecord(const std::string& record, bool sync) {
  Status s = file_->WriteAt(size_, record.data(), record.size());
  if (s.ok() && sync) s = file_->Sync();
  if (!s.ok()) {
    // Cut the log back so that a later record cannot follow torn bytes; if
    // even that fails, a torn record fails its checksum on reading (W1),
    // but a whole one that only failed to sync is there.
    cut_back_ = file_->Truncate(size_).ok() && (!sync_ || file_->Sync().ok());
    return s;
  }
  size_ += record.size();
  return Status::OK();
}

Status Wal::AppendUnit(const std::vector<Page>& pages, uint32_t page_count) {
  if (size_ == 0) {
    Status s = StartGeneration();
    if (!s.ok()) {
      size_ = 0;
      (void)file_->Truncate(0);
      return s;
    }
  }
  buffer_.clear();
  PutU32(&buffer_, kUnitTag);
  PutU32(&buffer_, salt_);
  PutU32(&buffer_, page_count);
  PutU32(&buffer_, static_cast<uint32_t>(pages.size()));
  for (const Page& page : pages) {
    PutU32(&buffer_, page.number);
    PutU64(&buffer_, page.base_hash);
    buffer_.append(reinterpret_cast<const char*>(page.image), page_size_);
  }
  PutU64(&buffer_, HashBytes(Bytes(buffer_), buffer_.size(), salt_));
  Status s = AppendRecord(buffer_, sync_units_);
  if (s.ok()) return s;
  return s.Appended(cut_back_ ? ". Nothing of the change was written"
                              : ". The change could not be cut from the log either: the next "
                                "open may still apply it");
}

Status Wal::BeginCheckpoint(const std::vector<CheckpointPage>& pages, uint32_t page_count,
                            const File& database, uint32_t existing_pages) {
  buffer_.clear();
  PutU32(&buffer_, kCheckpointTag);
  PutU32(&buffer_, salt_);
  PutU32(&buffer_, page_count);
  PutU32(&buffer_, static_cast<uint32_t>(pages.size()));
  const uint32_t sectors = page_size_ / kSectorSize;
  for (const CheckpointPage& page : pages) {
    PutU32(&buffer_, page.number);
    PutU64(&buffer_, page.before);
    PutU64(&buffer_, page.after);
    if (version_ == 2) continue;
    for (uint32_t k = 0; k < sectors; ++k) PutU64(&buffer_, page.sectors_before[k]);
  }
  if (version_ != 2) {
    // The likeness: pages spread over the file that the checkpoint leaves
    // alone (page 0 aside, alike in databases made alike).
    std::vector<std::pair<uint32_t, uint64_t>> likeness;
    auto written = [&](uint32_t number) {
      auto it =
          std::lower_bound(pages.begin(), pages.end(), number,
                           [](const CheckpointPage& page, uint32_t n) { return page.number < n; });
      return it != pages.end() && it->number == number;
    };
    uint32_t previous = 0;
    for (uint32_t i = 0; i < kLikenessPages && existing_pages > 1; ++i) {
      uint32_t number =
          std::max(previous + 1,
                   static_cast<uint32_t>(1 + uint64_t{i} * (existing_pages - 1) / kLikenessPages));
      while (number < existing_pages && written(number)) ++number;
      if (number >= existing_pages) break;
      uint64_t hash;
      JET_RETURN_IF_ERROR(HashPageOnDisk(database, number, page_size_, &hash));
      likeness.emplace_back(number, hash);
      previous = number;
    }
    PutU32(&buffer_, static_cast<uint32_t>(likeness.size()));
    for (const auto& [number, hash] : likeness) {
      PutU32(&buffer_, number);
      PutU64(&buffer_, hash);
    }
  }
  PutU64(&buffer_, HashBytes(Bytes(buffer_), buffer_.size(), salt_));
  const uint64_t at = size_;
  // Syncs the units before it too.
  JET_RETURN_IF_ERROR(AppendRecord(buffer_, sync_));
  // Only a synced record may be named by the header (W2): first in slot 1,
  // whose tearing leaves slot 0 without a mark, then in slot 0 too, whose
  // tearing leaves slot 1, so that cutting the log back to its first bytes
  // cannot hide that the copy began.
  if (version_ != 2) {
    JET_RETURN_IF_ERROR(WriteHeader(kMarkSlot, at, size_));
    if (sync_) JET_RETURN_IF_ERROR(file_->Sync());
  }
  JET_RETURN_IF_ERROR(WriteHeader(0, at, size_));
  if (sync_) JET_RETURN_IF_ERROR(file_->Sync());
  return Status::OK();
}

}  // namespace jet
