// Write-ahead log; see wal.h.
#include "jet/log/wal.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "jet/base/coding.h"

namespace jet {

namespace {

constexpr char kMagic[8] = {'J', 'E', 'T', 'W', 'A', 'L', '0', '2'};
constexpr size_t kFamilyLength = 6;  // "JETWAL": a log of ours, of some version
constexpr uint32_t kHeaderSize = 64;
constexpr uint32_t kUnitTag = 0x54494E55;        // "UNIT"
constexpr uint32_t kCheckpointTag = 0x54504B43;  // "CKPT"
constexpr uint32_t kRecordHeaderSize = 16;

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

// Hash of the page at `number` in `file` as it stands; 0 when the file ends
// before it.
Status HashPageOnDisk(const OsFile& file, uint32_t number, uint32_t page_size, uint64_t* hash) {
  std::string page(page_size, '\0');
  size_t done;
  JET_RETURN_IF_ERROR(
      file.ReadAt(static_cast<uint64_t>(number) * page_size, page.data(), page_size, &done));
  *hash = done == page_size ? HashBytes(Bytes(page), page_size, 0) : 0;
  return Status::OK();
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

Result<WalContents> Wal::Read(const std::string& path, uint32_t page_size) {
  switch (KindOf(path)) {
    case FileKind::kAbsent: return WalContents();
    case FileKind::kOther: return Classified(WalState::kForeign, "it is not a regular file");
    case FileKind::kRegular: break;
  }
  Result<std::unique_ptr<OsFile>> opened = OsFile::Open(path, OsFile::Mode::kRead);
  if (!opened.ok()) return opened.status();
  OsFile& file = **opened;
  Result<uint64_t> size = file.Size();
  if (!size.ok()) return size.status();

  // The header alone first: a large file that is not ours is never read whole.
  std::string log(std::min<uint64_t>(*size, kHeaderSize), '\0');
  size_t done;
  JET_RETURN_IF_ERROR(file.ReadAt(0, log.data(), log.size(), &done));
  log.resize(done);
  const size_t compared = std::min(log.size(), sizeof kMagic);
  if (std::memcmp(log.data(), kMagic, compared) != 0) {
    if (std::memcmp(log.data(), kMagic, std::min(compared, kFamilyLength)) == 0) {
      return Classified(WalState::kDamaged, "it was written by another version of this program");
    }
    // A file of zero bytes holds nothing of anyone's: a log whose first
    // write never reached the disk.
    std::string all(*size, '\0');
    JET_RETURN_IF_ERROR(file.ReadAt(0, all.data(), all.size(), &done));
    if (done == *size && std::all_of(all.begin(), all.end(), [](char c) { return c == 0; })) {
      return Classified(WalState::kSpent, "");
    }
    return Classified(WalState::kForeign, "it is not a log of this program");
  }
  // A header cut short: the first write of a generation, before any unit.
  if (log.size() < kHeaderSize) return Classified(WalState::kSpent, "");

  const uint8_t* p = Bytes(log);
  if (ReadU64(p + 56) != HashBytes(p, 56, 0)) {
    return Classified(WalState::kDamaged, "its header is damaged");
  }
  if (ReadU32(p + 8) != page_size) {
    return Classified(WalState::kDamaged, "it was written for pages of " +
                                              std::to_string(ReadU32(p + 8)) + " bytes, not " +
                                              std::to_string(page_size));
  }
  WalContents contents;
  contents.state = WalState::kValid;
  contents.salt = ReadU32(p + 12);
  contents.base_size = ReadU64(p + 16);
  contents.base_page0_hash = ReadU64(p + 24);
  const uint64_t checkpoint_at = ReadU64(p + 32);
  const uint64_t checkpoint_end = ReadU64(p + 40);
  contents.valid_bytes = kHeaderSize;

  log.resize(*size);
  if (*size > kHeaderSize) {
    JET_RETURN_IF_ERROR(file.ReadAt(kHeaderSize, log.data() + kHeaderSize, *size - kHeaderSize,
                                    &done));
    log.resize(kHeaderSize + done);
  }
  p = Bytes(log);

  uint64_t at = kHeaderSize;
  while (at + kRecordHeaderSize <= log.size()) {
    const uint8_t* r = p + at;
    const uint32_t tag = ReadU32(r);
    if (ReadU32(r + 4) != contents.salt) break;
    const uint32_t page_count = ReadU32(r + 8);
    const uint64_t n = ReadU32(r + 12);
    const uint64_t entry = tag == kUnitTag ? 12ull + page_size : tag == kCheckpointTag ? 20 : 0;
    if (entry == 0) break;
    const uint64_t length = kRecordHeaderSize + n * entry + 8;
    if (at + length > log.size()) break;
    if (ReadU64(r + length - 8) != HashBytes(r, length - 8, contents.salt)) break;
    // A checkpoint record that the header does not name never began (W2):
    // the database is untouched, and the record is redone.
    if (tag == kCheckpointTag && at != checkpoint_at) break;
    const uint8_t* e = r + kRecordHeaderSize;
    for (uint64_t i = 0; i < n; ++i, e += entry) {
      const uint32_t number = ReadU32(e);
      if (tag == kUnitTag) {
        contents.base_hashes.emplace(number, ReadU64(e + 4));
        contents.pages[number].assign(reinterpret_cast<const char*>(e + 12), page_size);
      } else {
        contents.checkpoint_hashes[number] = {ReadU64(e + 4), ReadU64(e + 12)};
      }
    }
    if (tag == kUnitTag) contents.page_count = page_count;
    at += length;
    contents.valid_bytes = at;
    if (tag == kCheckpointTag) {
      contents.checkpoint_started = true;
      break;  // nothing is appended after a checkpoint record
    }
  }
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

Status Wal::CheckBelongs(const WalContents& contents, const OsFile& database, uint32_t page_size) {
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
        "into it (" + why + "): it is damaged, and its log " + log +
        " cannot complete it. Both files were left as they are: keep them, and restore the "
        "database from a backup");
  };

  // A checkpoint reserves the final size before it begins (zeros), and
  // then copies pages into it.
  Result<uint64_t> size = database.Size();
  if (!size.ok()) return size.status();
  const uint64_t final_size =
      std::max<uint64_t>(static_cast<uint64_t>(contents.page_count) * page_size, contents.base_size);
  if (*size < contents.base_size || *size > final_size) {
    return refuse("its size is " + std::to_string(*size) + " bytes, not " +
                  std::to_string(contents.base_size));
  }
  if (!contents.checkpoint_started && *size > contents.base_size) {
    std::string grown(*size - contents.base_size, '\0');
    size_t done;
    JET_RETURN_IF_ERROR(database.ReadAt(contents.base_size, grown.data(), grown.size(), &done));
    if (done != grown.size() ||
        !std::all_of(grown.begin(), grown.end(), [](char c) { return c == 0; })) {
      return refuse("it grew by " + std::to_string(grown.size()) + " bytes");
    }
  }
  uint64_t hash;
  if (contents.pages.count(0) == 0) {
    JET_RETURN_IF_ERROR(HashPageOnDisk(database, 0, page_size, &hash));
    if (hash != contents.base_page0_hash) return refuse("its header page differs");
  }
  for (const auto& [number, image] : contents.pages) {
    // Pages past the file as the generation began were ours alone.
    if (static_cast<uint64_t>(number) * page_size >= contents.base_size) continue;
    JET_RETURN_IF_ERROR(HashPageOnDisk(database, number, page_size, &hash));
    bool same;
    if (contents.checkpoint_started) {
      auto listed = contents.checkpoint_hashes.find(number);
      same = listed != contents.checkpoint_hashes.end() &&
             (hash == listed->second.first || hash == listed->second.second);
    } else {
      same = hash == contents.base_hashes.at(number);
    }
    if (!same) return refuse("page " + std::to_string(number) + " differs");
  }
  return Status::OK();
}

Result<std::unique_ptr<Wal>> Wal::Create(const std::string& path, const OsFile* database,
                                         uint32_t page_size, bool sync, bool sync_units) {
  Result<std::unique_ptr<OsFile>> file = OsFile::Open(path, OsFile::Mode::kCreate);
  if (!file.ok()) return file.status();
  std::unique_ptr<Wal> wal(
      new Wal(std::move(file).value(), database, page_size, sync, sync_units));
  JET_RETURN_IF_ERROR(wal->Reset());
  if (sync) JET_RETURN_IF_ERROR(SyncParentDirectory(path));
  return wal;
}

Result<std::unique_ptr<Wal>> Wal::Resume(const std::string& path, const WalContents& contents,
                                         uint32_t page_size, bool sync) {
  Result<std::unique_ptr<OsFile>> file = OsFile::Open(path, OsFile::Mode::kReadWrite);
  if (!file.ok()) return file.status();
  std::unique_ptr<Wal> wal(new Wal(std::move(file).value(), nullptr, page_size, sync, sync));
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

Status Wal::Reset() {
  if (size_ == 0) {
    Result<uint64_t> size = file_->Size();
    if (!size.ok()) return size.status();
    if (*size == 0) return Status::OK();
  }
  JET_RETURN_IF_ERROR(file_->Truncate(0));
  if (sync_) JET_RETURN_IF_ERROR(file_->Sync());
  size_ = 0;
  return Status::OK();
}

Status Wal::Sync() {
  if (!sync_ || size_ == 0) return Status::OK();
  return file_->Sync();
}

Status Wal::WriteHeader(uint64_t checkpoint_at, uint64_t checkpoint_end) {
  std::string header(kMagic, 8);
  PutU32(&header, page_size_);
  PutU32(&header, salt_);
  PutU64(&header, base_size_);
  PutU64(&header, base_page0_hash_);
  PutU64(&header, checkpoint_at);
  PutU64(&header, checkpoint_end);
  PutU64(&header, 0);
  PutU64(&header, HashBytes(Bytes(header), 56, 0));
  return file_->WriteAt(0, header.data(), header.size());
}

Status Wal::StartGeneration() {
  Result<uint64_t> size = database_->Size();
  if (!size.ok()) return size.status();
  base_size_ = *size;
  JET_RETURN_IF_ERROR(HashPageOnDisk(*database_, 0, page_size_, &base_page0_hash_));
  std::random_device random;
  salt_ = random();
  JET_RETURN_IF_ERROR(WriteHeader(0, 0));
  size_ = kHeaderSize;
  return Status::OK();
}

Status Wal::AppendRecord(const std::string& record, bool sync) {
  Status s = file_->WriteAt(size_, record.data(), record.size());
  if (s.ok() && sync) s = file_->Sync();
  if (!s.ok()) {
    // Cut the log back so that a later record cannot follow torn bytes; if
    // even that fails, the torn record fails its checksum on reading (W1).
    if (file_->Truncate(size_).ok()) (void)file_->Sync();
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
  return AppendRecord(buffer_, sync_units_);
}

Status Wal::BeginCheckpoint(const std::vector<uint32_t>& numbers,
                            const std::vector<uint64_t>& before,
                            const std::vector<uint64_t>& after, uint32_t page_count) {
  buffer_.clear();
  PutU32(&buffer_, kCheckpointTag);
  PutU32(&buffer_, salt_);
  PutU32(&buffer_, page_count);
  PutU32(&buffer_, static_cast<uint32_t>(numbers.size()));
  for (size_t i = 0; i < numbers.size(); ++i) {
    PutU32(&buffer_, numbers[i]);
    PutU64(&buffer_, before[i]);
    PutU64(&buffer_, after[i]);
  }
  PutU64(&buffer_, HashBytes(Bytes(buffer_), buffer_.size(), salt_));
  const uint64_t at = size_;
  // Syncs the units before it too.
  JET_RETURN_IF_ERROR(AppendRecord(buffer_, sync_));
  // Only a synced record may be named by the header (W2).
  JET_RETURN_IF_ERROR(WriteHeader(at, size_));
  if (sync_) JET_RETURN_IF_ERROR(file_->Sync());
  return Status::OK();
}

}  // namespace jet
