// Row location, field splitting and value decoding; see row_codec.h.
#include "jet/rows/row_codec.h"

#include <algorithm>
#include <cstring>

#include "jet/base/coding.h"
#include "jet/rows/long_value.h"

namespace jet {

namespace {

std::string Where(uint32_t page_number, uint32_t slot) {
  return " (page " + std::to_string(page_number) + " row " + std::to_string(slot) + ")";
}

// Stored size of the fixed-size types; 0 for variable ones.
uint32_t TypeSize(ColumnType type) {
  switch (type) {
    case ColumnType::kByte: return 1;
    case ColumnType::kInteger: return 2;
    case ColumnType::kLong: return 4;
    case ColumnType::kCurrency: return 8;
    case ColumnType::kSingle: return 4;
    case ColumnType::kDouble: return 8;
    case ColumnType::kDateTime: return 8;
    case ColumnType::kGuid: return 16;
    case ColumnType::kNumeric: return 17;
    default: return 0;
  }
}

}  // namespace

Status ParseRowFields(const Format& format, const uint8_t* row, uint32_t size,
                      bool table_has_var_columns, uint32_t page_number, uint32_t slot,
                      RowFields* fields) {
  const uint32_t count_size = format.row_count_size;
  if (size < count_size) {
    return Status::Corruption("row of " + std::to_string(size) + " bytes has no column count" +
                              Where(page_number, slot));
  }
  fields->num_cols = format.IsJet3() ? row[0] : ReadU16(row);
  fields->null_mask_size = (fields->num_cols + 7) / 8;
  const uint32_t nm = fields->null_mask_size;
  if (count_size + nm > size) {
    return Status::Corruption("null mask of " + std::to_string(fields->num_cols) +
                              " columns overruns the " + std::to_string(size) + "-byte row" +
                              Where(page_number, slot));
  }
  fields->null_mask = row + size - nm;
  fields->var_offsets.clear();
  if (!table_has_var_columns) {
    fields->var_count = 0;
    fields->var_table_start = size - nm;
    fields->fixed_end = size - nm;
    return Status::OK();
  }

  if (!format.IsJet3()) {
    if (count_size + nm + 2 > size) {
      return Status::Corruption("row too short for its variable-column count" +
                                Where(page_number, slot));
    }
    uint32_t var_count = ReadU16(row + size - nm - 2);
    uint64_t table_bytes = 2ull * (var_count + 1);
    if (count_size + nm + 2 + table_bytes > size) {
      return Status::Corruption("variable-column table of " + std::to_string(var_count) +
                                " entries overruns the " + std::to_string(size) + "-byte row" +
                                Where(page_number, slot));
    }
    fields->var_count = var_count;
    fields->var_offsets.resize(var_count + 1);
    for (uint32_t i = 0; i <= var_count; ++i) {
      fields->var_offsets[i] = ReadU16(row + size - nm - 4 - 2 * i);
    }
    fields->var_table_start = size - nm - 2 - static_cast<uint32_t>(table_bytes);
  } else {
    if (count_size + nm + 1 > size) {
      return Status::Corruption("row too short for its variable-column count" +
                                Where(page_number, slot));
    }
    uint32_t var_count = row[size - nm - 1];
    uint32_t jumps = (size - 1) / 256;
    // off[0] sits just before the jump table; off[var_count] (eod) is
    // var_count bytes further towards the row start.
    int64_t first_offset_pos = static_cast<int64_t>(size) - nm - jumps - 2;
    int64_t table_start = first_offset_pos - var_count;
    if (table_start < static_cast<int64_t>(count_size)) {
      return Status::Corruption("variable-column table of " + std::to_string(var_count) +
                                " entries overruns the " + std::to_string(size) + "-byte row" +
                                Where(page_number, slot));
    }
    // The last jump entry is a dummy when the offset table itself lies
    // below the last 256-byte boundary it would mark.
    if (static_cast<uint64_t>(table_start) / 256 < jumps) --jumps;
    fields->var_count = var_count;
    fields->var_offsets.resize(var_count + 1);
    uint32_t jumps_used = 0;
    for (uint32_t i = 0; i <= var_count; ++i) {
      while (jumps_used < jumps && i == row[size - nm - 2 - jumps_used]) ++jumps_used;
      fields->var_offsets[i] = row[first_offset_pos - i] + 256 * jumps_used;
    }
    fields->var_table_start = static_cast<uint32_t>(table_start);
  }
  fields->fixed_end = std::min(fields->var_offsets[0], fields->var_table_start);
  return Status::OK();
}

RowDecoder::RowDecoder(const PageFile& file, const Format& format, TextDecoder& text,
                       const TableDef& table)
    : file_(file),
      format_(format),
      text_(text),
      table_(table),
      has_var_columns_(table.num_var_cols > 0),
      jet4_(!format.IsJet3()) {
  fields_.var_offsets.reserve(64);
  pending_.reserve(table.columns.size());
}

namespace {

// Owned pages a scan reads at most at once (when they follow each other).
constexpr uint32_t kScanWindowPages = 16;

// Row::storage starts at this size; it grows to the largest row read.
constexpr size_t kFirstStorageBytes = 4096;

// Copied into place, which costs less than making them anew for each value.
const Value kNullValue = Value::Null();
const Value kBooleanValues[2] = {Value::Boolean(false), Value::Boolean(true)};

// The errors of Decode, made apart from it so that its loop stays small.
[[gnu::noinline]] Status FixedColumnOverrun(const ColumnDef& column, uint32_t start, uint32_t end,
                                            uint32_t page_number, uint32_t slot) {
  return Status::Corruption("fixed column " + column.name + " at " + std::to_string(start) + ".." +
                            std::to_string(end) + " overruns the fixed area" +
                            Where(page_number, slot));
}

[[gnu::noinline]] Status VariableColumnOutOfRange(const ColumnDef& column, uint32_t start,
                                                  uint32_t end, uint32_t page_number,
                                                  uint32_t slot) {
  return Status::Corruption("variable column " + column.name + " at " + std::to_string(start) +
                            ".." + std::to_string(end) + " out of range" +
                            Where(page_number, slot));
}

[[gnu::noinline]] Status ColumnTooShort(const ColumnDef& column, uint32_t size, uint32_t need,
                                        uint32_t page_number, uint32_t slot) {
  return Status::Corruption("column " + column.name + " holds " + std::to_string(size) +
                            " bytes, its type needs " + std::to_string(need) +
                            Where(page_number, slot));
}

[[gnu::noinline]] Status LongValueError(const char* kind, const ColumnDef& column,
                                        uint32_t page_number, uint32_t slot, const Status& s) {
  return Status::Corruption(std::string(kind) + " column " + column.name +
                            Where(page_number, slot) + ": " + s.message());
}

// The value of a column of a fixed-size type (TypeSize not 0), from bytes
// that hold at least TypeSize.
[[gnu::always_inline]] inline Value FixedValue(const ColumnDef& column, const uint8_t* data) {
  switch (column.type) {
    case ColumnType::kByte: return Value::Integer(Value::Kind::kByte, data[0]);
    case ColumnType::kInteger: return Value::Integer(Value::Kind::kInteger, ReadI16(data));
    case ColumnType::kLong: return Value::Integer(Value::Kind::kLong, ReadI32(data));
    case ColumnType::kCurrency: return Value::Integer(Value::Kind::kCurrency, ReadI64(data));
    case ColumnType::kSingle: return Value::Real(Value::Kind::kSingle, ReadF32(data));
    case ColumnType::kDouble: return Value::Real(Value::Kind::kDouble, ReadF64(data));
    case ColumnType::kDateTime: return Value::Real(Value::Kind::kDateTime, ReadF64(data));
    case ColumnType::kGuid: {
      std::array<uint8_t, 16> guid;
      std::memcpy(guid.data(), data, 16);
      return Value::Guid(guid);
    }
    case ColumnType::kNumeric: {
      Decimal d;
      d.negative = (data[0] & 0x80) != 0;
      d.precision = column.precision;
      d.scale = column.scale;
      for (int w = 0; w < 4; ++w) d.magnitude[w] = ReadU32(data + 1 + 4 * w);
      return Value::Dec(d);
    }
    default: return kNullValue;  // not a fixed-size type
  }
}

}  // namespace

inline void RowDecoder::PutJet4TextValue(uint32_t column_index, const uint8_t* data, uint32_t size,
                                         std::string* storage) {
  const size_t max_bytes = MaxJet4TextUtf8Bytes(data, size);
  if (storage->size() - used_ < max_bytes) GrowStorage(storage, max_bytes);
  char* const start = storage->data() + used_;
  const auto written = static_cast<uint32_t>(PutJet4Text(data, size, start) - start);
  pending_.push_back({column_index, Value::Kind::kText, used_, written});
  used_ += written;
}

Status RowDecoder::Decode(const uint8_t* row, uint32_t size, uint32_t page_number, uint32_t slot,
                          Row* out) {
  JET_RETURN_IF_ERROR(
      ParseRowFields(format_, row, size, has_var_columns_, page_number, slot, &fields_));
  const auto column_count = static_cast<uint32_t>(table_.columns.size());
  StartRow(column_count, out);
  Value* const values = out->values.data();
  for (uint32_t i = 0; i < column_count; ++i) {
    const ColumnDef& column = table_.columns[i];
    if (column.type == ColumnType::kBoolean) {  // the null mask holds its value
      values[i] = kBooleanValues[fields_.IsPresent(column.column_number)];
      continue;
    }
    // Null, or a variable column the table gained after the row was written.
    if (!fields_.IsPresent(column.column_number) ||
        (!column.IsFixed() && column.var_index >= fields_.var_count)) {
      values[i] = kNullValue;
      continue;
    }
    uint32_t start;
    uint32_t end;
    JET_RETURN_IF_ERROR(FieldBounds(column, page_number, slot, &start, &end));
    JET_RETURN_IF_ERROR(DecodeField(column, i, row + start, end - start, page_number, slot, out));
  }
  FinishRow(page_number, slot, out);
  return Status::OK();
}

inline void RowDecoder::StartRow(uint32_t column_count, Row* out) {
  out->values.resize(column_count);
  if (out->storage.size() < kFirstStorageBytes) out->storage.resize(kFirstStorageBytes);
  used_ = 0;
  pending_.clear();
  long_value_bytes_ = 0;
  file_size_ = file_.file_size();
}

inline Status RowDecoder::FieldBounds(const ColumnDef& column, uint32_t page_number, uint32_t slot,
                                      uint32_t* start, uint32_t* end) const {
  if (column.IsFixed()) {
    *start = format_.row_count_size + column.fixed_offset;
    *end = *start + column.length;
    if (*end > fields_.fixed_end) {
      return FixedColumnOverrun(column, *start, *end, page_number, slot);
    }
    return Status::OK();
  }
  *start = fields_.var_offsets[column.var_index];
  *end = fields_.var_offsets[column.var_index + 1];
  if (*start < format_.row_count_size || *start > *end || *end > fields_.var_table_start) {
    return VariableColumnOutOfRange(column, *start, *end, page_number, slot);
  }
  return Status::OK();
}

inline Status RowDecoder::DecodeField(const ColumnDef& column, uint32_t column_index,
                                      const uint8_t* data, uint32_t size, uint32_t page_number,
                                      uint32_t slot, Row* out) {
  const uint32_t need = TypeSize(column.type);
  if (need != 0) {
    if (size < need) return ColumnTooShort(column, size, need, page_number, slot);
    out->values[column_index] = FixedValue(column, data);
    return Status::OK();
  }
  if (jet4_) {
    // Jet 4 text, and the memos short enough to be held in the row (most
    // are), go straight into the storage as UTF-8.
    if (column.type == ColumnType::kText) {
      PutJet4TextValue(column_index, data, size, &out->storage);
      return Status::OK();
    }
    const uint8_t* text;
    uint32_t text_length;
    if (column.type == ColumnType::kMemo &&
        FindInlineLongValue(data, size, file_size_ - long_value_bytes_, &text, &text_length)) {
      long_value_bytes_ += text_length;
      PutJet4TextValue(column_index, text, text_length, &out->storage);
      return Status::OK();
    }
  }
  return DecodeBytes(column, column_index, data, size, page_number, slot, out);
}

inline void RowDecoder::FinishRow(uint32_t page_number, uint32_t slot, Row* out) {
  const char* const bytes = out->storage.data();
  Value* const values = out->values.data();
  for (const Pending& p : pending_) {
    values[p.column_index] = Value::Bytes(p.kind, std::string_view(bytes + p.offset, p.size));
  }
  out->page = page_number;
  out->slot = static_cast<uint8_t>(slot);
}

void RowDecoder::GrowStorage(std::string* storage, size_t n) {
  storage->resize(std::max(used_ + n, 2 * storage->size()));
}

char* RowDecoder::StorageRoom(Row* out, size_t n) {
  std::string& storage = out->storage;
  if (storage.size() - used_ < n) GrowStorage(&storage, n);
  return storage.data() + used_;
}

Status RowDecoder::PutText(const ColumnDef& column, const uint8_t* data, size_t size, Row* out) {
  if (format_.IsJet3()) {
    // The code-page converter appends: let it append to the bytes in use.
    std::string& storage = out->storage;
    storage.resize(used_);
    Status s = text_.AppendCodePageText(column.code_page, data, size, &storage);
    used_ = static_cast<uint32_t>(storage.size());
    return s;
  }
  char* start = StorageRoom(out, MaxJet4TextUtf8Bytes(data, size));
  used_ += static_cast<uint32_t>(PutJet4Text(data, size, start) - start);
  return Status::OK();
}

Status RowDecoder::DecodeBytes(const ColumnDef& column, uint32_t column_index, const uint8_t* data,
                               uint32_t size, uint32_t page_number, uint32_t slot, Row* out) {
  const uint32_t offset = used_;
  switch (column.type) {
    case ColumnType::kText:
      JET_RETURN_IF_ERROR(PutText(column, data, size, out));
      AddPending(column_index, Value::Kind::kText, offset);
      return Status::OK();
    case ColumnType::kMemo:
    case ColumnType::kOle: {
      const bool memo = column.type == ColumnType::kMemo;
      // Inline and single-row values are used where they lie; a chain of
      // rows is gathered into scratch_ first. Long-value pages are read
      // without caching them: a scan looks at each once, for a few rows.
      const uint8_t* bytes;
      uint32_t length;
      Status s = FindLongValueBytes(file_, format_, data, size, file_size_ - long_value_bytes_,
                                    &bytes, &length, &long_value_page_);
      if (s.ok() && bytes == nullptr) {
        scratch_.clear();
        s = ReadLongValue(file_, format_, data, size, file_size_ - long_value_bytes_, &scratch_,
                          &long_value_page_);
        bytes = reinterpret_cast<const uint8_t*>(scratch_.data());
        length = static_cast<uint32_t>(scratch_.size());
      }
      if (!s.ok()) return LongValueError(memo ? "memo" : "OLE", column, page_number, slot, s);
      long_value_bytes_ += length;
      if (memo) {
        JET_RETURN_IF_ERROR(PutText(column, bytes, length, out));
        AddPending(column_index, Value::Kind::kText, offset);
      } else {
        char* room = StorageRoom(out, length);
        if (length != 0) std::memcpy(room, bytes, length);
        used_ += length;
        AddPending(column_index, Value::Kind::kBinary, offset);
      }
      return Status::OK();
    }
    case ColumnType::kBinary:
    default: {
      char* room = StorageRoom(out, size);
      if (size != 0) std::memcpy(room, data, size);
      used_ += size;
      AddPending(column_index, Value::Kind::kBinary, offset);
      return Status::OK();
    }
  }
}

TableScanner::TableScanner(const PageFile& file, const Format& format, TextDecoder& text,
                           TableDef table, std::vector<uint32_t> pages)
    : file_(file),
      format_(format),
      table_(std::move(table)),
      pages_(std::move(pages)),
      window_(kScanWindowPages),
      decoder_(file, format, text, table_) {}

Status TableScanner::GetOwnedPage(size_t index, const uint8_t** page) {
  uint32_t ahead = 0;
  while (ahead + 1 < window_.capacity_pages() && index + ahead + 1 < pages_.size() &&
         pages_[index + ahead + 1] == pages_[index] + ahead + 1) {
    ++ahead;
  }
  return file_.GetPageUncached(pages_[index], "owned-page map", &window_, page, ahead);
}

bool TableScanner::Fail(Status s, Status* status) {
  *status = std::move(s);
  if (!keep_going_) done_ = true;
  return false;
}

Status TableScanner::FindOverflowTargets() {
  for (size_t index = 0; index < pages_.size(); ++index) {
    const uint32_t page_number = pages_[index];
    const uint8_t* page;
    // A page that cannot be read is reported by the pass over the rows.
    if (!GetOwnedPage(index, &page).ok()) continue;
    if (page[0] != kPageData || ReadU32(page + 4) != table_.tdef_page) continue;
    uint32_t count;
    JET_RETURN_IF_ERROR(PageRowCount(format_, page, page_number, &count));
    for (uint32_t slot = 0; slot < count; ++slot) {
      uint16_t entry = ReadU16(page + format_.data_header_size + 2 * slot);
      if ((entry & kRowLookup) == 0 || (entry & kRowDeleted) != 0) continue;
      RowSpan span;
      JET_RETURN_IF_ERROR(LocateRow(format_, page, page_number, slot, &span));
      if (span.size < 4) {
        return Status::Corruption("overflow row too short for its pointer (page " +
                                  std::to_string(page_number) + " row " + std::to_string(slot) +
                                  ")");
      }
      targets_.push_back({ReadU32(page + span.start), (page_number << 8) | slot, false});
    }
  }
  return Status::OK();
}

TableScanner::Target* TableScanner::FindTarget(uint32_t pointer) {
  auto it = std::lower_bound(targets_.begin(), targets_.end(), pointer,
                             [](const Target& t, uint32_t p) { return t.target < p; });
  while (it != targets_.end() && it->target == pointer) {
    if (!it->done) return &*it;
    ++it;
  }
  return nullptr;
}

Status TableScanner::ReadRow(const uint8_t* page, uint32_t page_number, uint32_t slot,
                             const RowSpan& first_span, uint32_t header, Row* row) {
  RowSpan span = first_span;
  for (int hops = 0; (span.flags & kRowLookup) != 0 && (span.flags & kRowDeleted) == 0; ++hops) {
    if (hops == 4 || span.size < 4) {
      return Status::Corruption(std::string("overflow row pointer ") +
                                (hops == 4 ? "chain too long" : "truncated") + " (page " +
                                std::to_string(page_number) + " row " + std::to_string(slot) + ")");
    }
    uint32_t pointer = ReadU32(page + span.start);
    Status s = FetchRow(file_, format_, pointer, "overflow row", &page, &span);
    if (!s.ok()) {
      return Status::Corruption(s.message() + " (from page " + std::to_string(page_number) +
                                " row " + std::to_string(slot) + ")");
    }
    page_number = RowPointerPage(pointer);
    slot = RowPointerSlot(pointer);
  }
  JET_RETURN_IF_ERROR(decoder_.Decode(page + span.start, span.size, page_number, slot, row));
  row->page = RowPointerPage(header);
  row->slot = static_cast<uint8_t>(RowPointerSlot(header));
  return Status::OK();
}

Status TableScanner::Prepare() {
  Status s = FindOverflowTargets();
  // Sorted even after a failure: a scan that keeps going looks targets up.
  std::stable_sort(targets_.begin(), targets_.end(),
                   [](const Target& a, const Target& b) { return a.target < b.target; });
  return s;
}

Status TableScanner::OpenNextPage() {
  const uint32_t page_number = pages_[page_index_];
  const uint8_t* page;
  JET_RETURN_IF_ERROR(GetOwnedPage(page_index_++, &page));
  if (page[0] != kPageData || ReadU32(page + 4) != table_.tdef_page) return Status::OK();
  JET_RETURN_IF_ERROR(PageRowCount(format_, page, page_number, &row_count_));
  page_ = page;
  page_number_ = page_number;
  slot_ = 0;
  return Status::OK();
}

inline Status TableScanner::ReadSlot(uint32_t slot, Row* row, bool* produced) {
  *produced = false;
  const uint16_t entry = ReadU16(page_ + format_.data_header_size + 2 * slot);
  const uint32_t pointer = (page_number_ << 8) | slot;
  uint32_t header = pointer;
  if (!targets_.empty()) {
    if (Target* t = FindTarget(pointer)) {
      t->done = true;
      header = t->header;
    }
  }
  if (header == pointer) {
    // Not the data of a moved row: skip deleted rows, and overflow rows,
    // whose data is produced where it is stored.
    if ((entry & (kRowDeleted | kRowLookup)) != 0) return Status::OK();
  }
  RowSpan span;
  if (!SlotSpan(format_, page_, row_count_, slot, &span)) {
    return LocateRow(format_, page_, page_number_, slot, &span);
  }
  if (span.size == 0) return Status::OK();
  *produced = true;
  if (header == pointer && (span.flags & kRowLookup) == 0) {
    // A row in its place, the common case.
    return decoder_.Decode(page_ + span.start, span.size, page_number_, slot, row);
  }
  if (header != pointer) span.flags &= static_cast<uint16_t>(~kRowDeleted);
  return ReadRow(page_, page_number_, slot, span, header, row);
}

bool TableScanner::NextMovedOutside(Row* row, Status* status) {
  while (leftover_index_ < targets_.size()) {
    Target& t = targets_[leftover_index_++];
    if (t.done) continue;
    t.done = true;
    const uint8_t* page;
    RowSpan span;
    Status s = FetchRow(file_, format_, t.target, "overflow row", &page, &span);
    if (!s.ok()) {
      return Fail(Status::Corruption(s.message() + " (from page " +
                                     std::to_string(RowPointerPage(t.header)) + " row " +
                                     std::to_string(RowPointerSlot(t.header)) + ")"),
                  status);
    }
    span.flags &= static_cast<uint16_t>(~kRowDeleted);
    s = ReadRow(page, RowPointerPage(t.target), RowPointerSlot(t.target), span, t.header, row);
    if (!s.ok()) return Fail(std::move(s), status);
    return true;
  }
  done_ = true;
  return false;
}

bool TableScanner::Next(Row* row, Status* status) {
  if (!status->ok()) *status = Status::OK();
  if (done_) return false;
  if (!prepared_) {
    prepared_ = true;
    if (Status s = Prepare(); !s.ok()) return Fail(std::move(s), status);
  }
  while (page_index_ < pages_.size() || page_ != nullptr) {
    if (page_ == nullptr) {
      if (Status s = OpenNextPage(); !s.ok()) return Fail(std::move(s), status);
      continue;
    }
    if (slot_ >= row_count_) {
      page_ = nullptr;
      continue;
    }
    bool produced = false;
    Status s = ReadSlot(slot_++, row, &produced);
    if (!s.ok()) return Fail(std::move(s), status);
    if (produced) return true;
  }
  return NextMovedOutside(row, status);
}

}  // namespace jet
