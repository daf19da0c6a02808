// Write-ahead log; see wal.h.
#include "jet/wal.h"

#include <cstring>
#include <random>

#include "jet/coding.h"

namespace jet {

namespace {

constexpr char kMagic[8] = {'J', 'E', 'T', 'W', 'A', 'L', '0', '1'};
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
  WalContents contents;
  if (!FileExists(path)) return contents;
  Result<std::unique_ptr<OsFile>> opened = OsFile::Open(path, OsFile::Mode::kRead);
  if (!opened.ok()) return opened.status();
  OsFile& file = **opened;
  Result<uint64_t> size = file.Size();
  if (!size.ok()) return size.status();
  std::string log(*size, '\0');
  size_t done;
  JET_RETURN_IF_ERROR(file.ReadAt(0, log.data(), log.size(), &done));
  log.resize(done);

  // A header that is missing, torn or of another page size: no committed unit
  // can follow it (W1), since a unit is only written after its header.
  if (log.size() < kHeaderSize || std::memcmp(log.data(), kMagic, 8) != 0) return contents;
  const uint8_t* p = Bytes(log);
  if (ReadU64(p + 56) != HashBytes(p, 56, 0) || ReadU32(p + 8) != page_size) return contents;
  const uint32_t salt = ReadU32(p + 12);
  contents.base.device = ReadU64(p + 16);
  contents.base.inode = ReadU64(p + 24);
  contents.base.size = ReadU64(p + 32);
  contents.base.mtime_ns = static_cast<int64_t>(ReadU64(p + 40));
  contents.valid_bytes = kHeaderSize;

  uint64_t at = kHeaderSize;
  while (at + kRecordHeaderSize <= log.size()) {
    const uint8_t* r = p + at;
    uint32_t tag = ReadU32(r);
    if (ReadU32(r + 4) != salt) break;
    uint32_t page_count = ReadU32(r + 8);
    uint64_t n = ReadU32(r + 12);
    uint64_t entry = tag == kUnitTag ? 4ull + page_size : tag == kCheckpointTag ? 20 : 0;
    if (entry == 0) break;
    uint64_t length = kRecordHeaderSize + n * entry + 8;
    if (at + length > log.size()) break;
    if (ReadU64(r + length - 8) != HashBytes(r, length - 8, salt)) break;
    const uint8_t* e = r + kRecordHeaderSize;
    for (uint64_t i = 0; i < n; ++i, e += entry) {
      uint32_t number = ReadU32(e);
      if (tag == kUnitTag) {
        contents.pages[number].assign(reinterpret_cast<const char*>(e + 4), page_size);
      } else {
        contents.checkpoint_hashes[number] = {ReadU64(e + 4), ReadU64(e + 12)};
      }
    }
    if (tag == kUnitTag) {
      contents.page_count = page_count;
    } else {
      contents.checkpoint_started = true;
    }
    at += length;
    contents.valid_bytes = at;
  }
  // Pages past the final page count belonged to units that a later one
  // undid; they are not part of the database.
  for (auto it = contents.pages.begin(); it != contents.pages.end();) {
    it = it->first >= contents.page_count ? contents.pages.erase(it) : std::next(it);
  }
  return contents;
}

Status Wal::CheckBelongs(const WalContents& contents, const OsFile& database, uint32_t page_size) {
  Result<OsFile::Identity> now = database.Stat();
  if (!now.ok()) return now.status();
  const std::string refusal =
      "the database was changed by another program after an update of ours was interrupted; "
      "its log " + PathFor(database.path()) +
      " no longer belongs to it and was not applied (move the log away to open the database as "
      "it is now): ";
  if (now->device != contents.base.device || now->inode != contents.base.inode) {
    return Status::Corruption(refusal + "it is another file");
  }
  if (!contents.checkpoint_started) {
    if (now->size != contents.base.size || now->mtime_ns != contents.base.mtime_ns) {
      return Status::Corruption(refusal + "its size or modification time changed");
    }
    return Status::OK();
  }
  // A checkpoint was copying pages into the file (W2): each listed page must
  // hold its image from before or after the copy.
  std::string page(page_size, '\0');
  for (const auto& [number, hashes] : contents.checkpoint_hashes) {
    // Pages past the file as the generation began were ours alone.
    if (static_cast<uint64_t>(number) * page_size >= contents.base.size) continue;
    size_t done;
    JET_RETURN_IF_ERROR(database.ReadAt(static_cast<uint64_t>(number) * page_size, page.data(),
                                        page_size, &done));
    uint64_t hash = done == page_size ? HashBytes(Bytes(page), page_size, 0) : 0;
    if (hash != hashes.first && hash != hashes.second) {
      return Status::Corruption(refusal + "page " + std::to_string(number) + " differs");
    }
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

Status Wal::StartGeneration() {
  Result<OsFile::Identity> id = database_->Stat();
  if (!id.ok()) return id.status();
  std::random_device random;
  salt_ = random() ^ static_cast<uint32_t>(id->mtime_ns);
  std::string header(kMagic, 8);
  PutU32(&header, page_size_);
  PutU32(&header, salt_);
  PutU64(&header, id->device);
  PutU64(&header, id->inode);
  PutU64(&header, id->size);
  PutU64(&header, static_cast<uint64_t>(id->mtime_ns));
  PutU64(&header, 0);
  PutU64(&header, HashBytes(Bytes(header), 56, 0));
  JET_RETURN_IF_ERROR(file_->WriteAt(0, header.data(), header.size()));
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
    buffer_.append(reinterpret_cast<const char*>(page.image), page_size_);
  }
  PutU64(&buffer_, HashBytes(Bytes(buffer_), buffer_.size(), salt_));
  return AppendRecord(buffer_, sync_units_);
}

Status Wal::AppendCheckpoint(const std::vector<uint32_t>& numbers,
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
  // Syncs the units before it too (W2).
  return AppendRecord(buffer_, sync_);
}

}  // namespace jet
