#include "jet/index/index_tree.h"

#include <algorithm>
#include <set>

#include "jet/base/coding.h"
#include "jet/space/space.h"
#include "jet/space/usage_map.h"
#include "strings/hex.h"

namespace jet {
namespace {

constexpr int kMaxDepth = 32;

IndexEntry WithoutChild(const IndexEntry& e) {
  IndexEntry out = e;
  out.child = 0;
  return out;
}

// The leaf entry of `key` for `row`.
IndexEntry EntryFor(std::string_view key, RowId row) {
  IndexEntry entry;
  entry.key = std::string(key);
  entry.page = row.page;
  entry.row = row.slot;
  return entry;
}

std::string Describe(const IndexEntry& e) {
  return "key " + strings::HexText(e.key, " ") + " (page " + std::to_string(e.page) + ", row " +
         std::to_string(e.row) + ")";
}

// Index of the first entry >= target, or size() when every entry is smaller.
size_t LowerBound(const std::vector<IndexEntry>& entries, const IndexEntry& target) {
  auto it = std::lower_bound(
      entries.begin(), entries.end(), target,
      [](const IndexEntry& a, const IndexEntry& b) { return CompareEntries(a, b) < 0; });
  return static_cast<size_t>(it - entries.begin());
}

}  // namespace

// What a change below did to a page, for its parent to act on.
struct IndexTree::Change {
  bool found = true;         // Remove: the entry was there
  bool max_changed = false;  // the page's greatest entry is now new_max
  IndexEntry new_max;
  bool emptied = false;  // the page left the tree (T6)
  bool split = false;    // a new page left_page now precedes it (T5)
  uint32_t left_page = 0;
  IndexEntry left_max;
};

// One child of a node: its page and, except for the tail, its greatest entry.
struct IndexTree::Child {
  uint32_t page = 0;
  bool has_max = false;
  IndexEntry max;
};

IndexTree::IndexTree(PageFile& file, const Format& format, uint32_t tdef_page, uint32_t root_page,
                     uint32_t usage_map_pointer, std::string name)
    : file_(file),
      format_(format),
      tdef_page_(tdef_page),
      root_page_(root_page),
      usage_map_pointer_(usage_map_pointer),
      name_(std::move(name)) {}

IndexTree::IndexTree(PageFile& file, const Format& format, const TableDef& table,
                     const IndexDef& index)
    : IndexTree(file, format, table.tdef_page, index.root_page, index.usage_map_pointer,
                "index " + index.name + " of table " + table.name) {}

std::string IndexTree::Where(uint32_t page_number) const {
  return name_ + ", page " + std::to_string(page_number);
}

Status IndexTree::LoadAsStored(uint32_t page_number, IndexPage* page) const {
  auto it = dirty_.find(page_number);
  if (it != dirty_.end()) {
    *page = it->second;
    return Status::OK();
  }
  const uint8_t* bytes = nullptr;
  JET_RETURN_IF_ERROR(file_.GetPage(page_number, "index", &bytes));
  Status s = DecodeIndexPage(format_, bytes, page_number, page);
  if (!s.ok()) return Status::Corruption(name_ + ": " + s.message());
  return Status::OK();
}

Status IndexTree::Load(uint32_t page_number, IndexPage* page) const {
  if (dirty_.count(page_number) != 0) return LoadAsStored(page_number, page);
  JET_RETURN_IF_ERROR(LoadAsStored(page_number, page));
  // (T8) what the file says is checked before a seek or a change relies on it.
  if (page->tdef_page != tdef_page_) {
    return Status::Corruption(
        Where(page_number) + ": the page belongs to the table defined at page " +
        std::to_string(page->tdef_page) + ", not " + std::to_string(tdef_page_));
  }
  for (size_t i = 1; i < page->entries.size(); ++i) {
    if (CompareEntries(page->entries[i - 1], page->entries[i]) >= 0) {
      return Status::Corruption(Where(page_number) + ": entry " + std::to_string(i) + " " +
                                Describe(page->entries[i]) +
                                " is not greater than the one before it");
    }
  }
  return Status::OK();
}

Status IndexTree::LoadSibling(uint32_t page_number, const IndexPage& page, bool before,
                              IndexPage* sibling) const {
  const uint32_t number = before ? page.prev_page : page.next_page;
  JET_RETURN_IF_ERROR(Load(number, sibling));
  const uint32_t back = before ? sibling->next_page : sibling->prev_page;
  if (sibling->leaf != page.leaf || back != page_number) {
    return Status::Corruption(Where(page_number) + ": its " + (before ? "previous" : "next") +
                              " page " + std::to_string(number) + " does not link back to it (" +
                              (sibling->leaf ? "leaf" : "node") + " page, " +
                              (before ? "next " : "previous ") + std::to_string(back) + ")");
  }
  return Status::OK();
}

void IndexTree::Store(uint32_t page_number, IndexPage page) {
  page.tdef_page = tdef_page_;
  dirty_[page_number] = std::move(page);
}

Status IndexTree::Flush() {
  // (T8) only pages of this index are written: a damaged pointer that led
  // the change to another object's page stops it here.
  for (const auto& [number, page] : dirty_) {
    Result<bool> listed = UsageMapHas(file_, format_, usage_map_pointer_, number);
    Status s = listed.status();
    if (s.ok() && !*listed) {
      s = Status::Corruption(Where(number) + ": not in the index's usage map");
    } else if (!s.ok()) {
      s = Status::Corruption(name_ + ": usage map: " + s.message());
    }
    if (!s.ok()) {
      dirty_.clear();
      return s;
    }
  }
  for (auto& [number, page] : dirty_) {
    uint8_t* bytes = nullptr;
    Status s = file_.MutablePage(number, &bytes);
    if (s.ok()) s = EncodeIndexPage(format_, page, number, bytes);
    if (!s.ok()) {
      dirty_.clear();
      return s;
    }
  }
  dirty_.clear();
  return Status::OK();
}

Status IndexTree::NewPage(uint32_t* page_number) {
  JET_RETURN_IF_ERROR(AllocatePage(file_, format_, page_number));
  return AddPageToUsageMap(file_, format_, usage_map_pointer_, *page_number);
}

Status IndexTree::SubtreeMax(uint32_t page_number, IndexEntry* max) const {
  IndexPage page;
  for (int depth = 0; depth <= kMaxDepth; ++depth) {
    JET_RETURN_IF_ERROR(Load(page_number, &page));
    if (page.leaf) {
      if (page.entries.empty()) {
        return Status::Corruption(Where(page_number) + ": empty leaf below the root");
      }
      *max = WithoutChild(page.entries.back());
      return Status::OK();
    }
    page_number = page.tail_page != 0     ? page.tail_page
                  : !page.entries.empty() ? page.entries.back().child
                                          : 0;
    if (page_number == 0) return Status::Corruption(Where(page_number) + ": node has no child");
  }
  return Status::Corruption(name_ + ": the tree is deeper than 32 levels");
}

// ---- Reading ----

Status IndexTree::ReadAll(std::vector<IndexEntry>* out) const {
  return ReadIndexEntries(file_, format_, root_page_, out);
}

Status IndexTree::Seek(std::string_view key, bool* found, IndexPosition* position) const {
  IndexEntry target;
  target.key = std::string(key);
  IndexPage page;
  uint32_t number = root_page_;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) return Status::Corruption(name_ + ": the tree is deeper than 32 levels");
    JET_RETURN_IF_ERROR(Load(number, &page));
    if (page.leaf) break;
    size_t i = LowerBound(page.entries, target);
    uint32_t child = i < page.entries.size() ? page.entries[i].child
                     : page.tail_page != 0   ? page.tail_page
                     : page.entries.empty()  ? 0
                                             : page.entries.back().child;
    if (child == 0) return Status::Corruption(Where(number) + ": node has no child");
    number = child;
  }
  position->leaf_page = number;
  size_t slot = LowerBound(page.entries, target);
  if (slot < page.entries.size()) {
    position->slot = static_cast<uint32_t>(slot);
    position->entry = page.entries[slot];
    *found = true;
    return Status::OK();
  }
  position->slot = page.entries.empty() ? 0 : static_cast<uint32_t>(page.entries.size() - 1);
  return Next(position, found);
}

Status IndexTree::Next(IndexPosition* position, bool* found) const {
  IndexPage page;
  JET_RETURN_IF_ERROR(Load(position->leaf_page, &page));
  uint32_t slot = position->slot + 1;
  for (uint32_t hops = 0; slot >= page.entries.size(); ++hops) {
    if (page.next_page == 0) {
      *found = false;
      return Status::OK();
    }
    if (hops > file_.page_count()) {
      return Status::Corruption(Where(position->leaf_page) + ": the leaf chain loops");
    }
    position->leaf_page = page.next_page;
    JET_RETURN_IF_ERROR(Load(position->leaf_page, &page));
    if (!page.leaf) {
      return Status::Corruption(Where(position->leaf_page) + ": a node page in the leaf chain");
    }
    slot = 0;
  }
  position->slot = slot;
  position->entry = page.entries[slot];
  *found = true;
  return Status::OK();
}

Status IndexTree::Contains(std::string_view key, bool* found) const {
  IndexPosition position;
  JET_RETURN_IF_ERROR(Seek(key, found, &position));
  *found = *found && position.entry.key == key;
  return Status::OK();
}

// ---- Changing ----

Status IndexTree::Insert(std::string_view key, RowId row, bool* new_key) {
  if (!file_.in_unit()) return Status::InvalidArgument(name_ + ": insert outside a unit");
  if (row.page > 0xFFFFFF) {
    return Status::InvalidArgument(name_ + ": data page " + std::to_string(row.page) +
                                   " does not fit an index entry");
  }
  const IndexEntry entry = EntryFor(key, row);
  dirty_.clear();
  Change change;
  key_seen_ = false;
  Status s = InsertAt(root_page_, 0, entry, &change);
  if (!s.ok()) {
    dirty_.clear();
    return s;
  }
  if (new_key != nullptr) *new_key = !key_seen_;
  return Flush();
}

Status IndexTree::Remove(std::string_view key, RowId row) {
  if (!file_.in_unit()) return Status::InvalidArgument(name_ + ": remove outside a unit");
  const IndexEntry entry = EntryFor(key, row);
  dirty_.clear();
  unlinked_.clear();
  Change change;
  Status s = RemoveAt(root_page_, 0, entry, &change);
  if (s.ok() && !change.found) {
    s = Status::NotFound(name_ + " has no entry " + Describe(entry));
  }
  if (!s.ok()) {
    dirty_.clear();
    return s;
  }
  JET_RETURN_IF_ERROR(Flush());
  // (T6) only now, so that no page of this change lands on one it unlinked.
  for (uint32_t page_number : unlinked_) JET_RETURN_IF_ERROR(FreePage(file_, format_, page_number));
  return Status::OK();
}

namespace {

// The children of a node in order; the tail, if any, last and without max.
template <typename Child>
std::vector<Child> ChildrenOf(const IndexPage& page) {
  std::vector<Child> children;
  for (const IndexEntry& e : page.entries)
    children.push_back(Child{e.child, true, WithoutChild(e)});
  if (page.tail_page != 0) children.push_back(Child{page.tail_page, false, IndexEntry()});
  return children;
}

// Index of the child whose subtree takes `target`: the first whose greatest
// entry is >= target, else the last.
template <typename Child>
size_t ChooseChild(const std::vector<Child>& children, const IndexEntry& target, bool* equal) {
  *equal = false;
  for (size_t i = 0; i < children.size(); ++i) {
    if (!children[i].has_max) continue;
    int c = CompareEntries(children[i].max, target);
    if (c >= 0) {
      *equal = c == 0;
      return i;
    }
  }
  return children.size() - 1;
}

}  // namespace

Status IndexTree::InsertAt(uint32_t page_number, int depth, const IndexEntry& entry,
                           Change* change) {
  if (depth > kMaxDepth) return Status::Corruption(name_ + ": the tree is deeper than 32 levels");
  IndexPage page;
  JET_RETURN_IF_ERROR(Load(page_number, &page));
  auto duplicate = [&]() {
    return Status::InvalidArgument(name_ + " already has the entry " + Describe(entry));
  };
  if (page.leaf) {
    size_t at = LowerBound(page.entries, entry);
    if (at < page.entries.size() && CompareEntries(page.entries[at], entry) == 0)
      return duplicate();
    // Entries with the same key sit right before or after the new one,
    // possibly on the neighbouring leaf.
    key_seen_ = (at > 0 && page.entries[at - 1].key == entry.key) ||
                (at < page.entries.size() && page.entries[at].key == entry.key);
    if (!key_seen_ && (at == 0 ? page.prev_page : at == page.entries.size() ? page.next_page : 0)) {
      IndexPage neighbour;
      JET_RETURN_IF_ERROR(Load(at == 0 ? page.prev_page : page.next_page, &neighbour));
      if (!neighbour.entries.empty()) {
        key_seen_ =
            (at == 0 ? neighbour.entries.back() : neighbour.entries.front()).key == entry.key;
      }
    }
    if (at == page.entries.size()) {
      change->max_changed = true;
      change->new_max = entry;
    }
    page.entries.insert(page.entries.begin() + static_cast<ptrdiff_t>(at), entry);
    return FinishPage(page_number, page, change);
  }
  std::vector<Child> children = ChildrenOf<Child>(page);
  if (children.empty()) return Status::Corruption(Where(page_number) + ": node has no child");
  bool equal = false;
  size_t i = ChooseChild(children, entry, &equal);
  if (equal) return duplicate();
  Change below;
  JET_RETURN_IF_ERROR(InsertAt(children[i].page, depth + 1, entry, &below));
  TakeChildChange(children, i, below, change);
  return FinishNode(page_number, page, children, change);
}

Status IndexTree::RemoveAt(uint32_t page_number, int depth, const IndexEntry& entry,
                           Change* change) {
  if (depth > kMaxDepth) return Status::Corruption(name_ + ": the tree is deeper than 32 levels");
  IndexPage page;
  JET_RETURN_IF_ERROR(Load(page_number, &page));
  if (page.leaf) {
    size_t at = LowerBound(page.entries, entry);
    if (at == page.entries.size() || CompareEntries(page.entries[at], entry) != 0) {
      change->found = false;
      return Status::OK();
    }
    page.entries.erase(page.entries.begin() + static_cast<ptrdiff_t>(at));
    if (page.entries.empty() && page_number != root_page_) {
      change->emptied = true;
      return Unlink(page_number, page);
    }
    if (at == page.entries.size() && !page.entries.empty()) {
      change->max_changed = true;
      change->new_max = WithoutChild(page.entries.back());
    }
    return FinishPage(page_number, page, change);
  }
  std::vector<Child> children = ChildrenOf<Child>(page);
  if (children.empty()) return Status::Corruption(Where(page_number) + ": node has no child");
  bool equal = false;
  size_t i = ChooseChild(children, entry, &equal);
  Change below;
  JET_RETURN_IF_ERROR(RemoveAt(children[i].page, depth + 1, entry, &below));
  if (!below.found) {
    change->found = false;
    return Status::OK();
  }
  if (below.emptied) {
    const bool last = i + 1 == children.size();
    children.erase(children.begin() + static_cast<ptrdiff_t>(i));
    if (last && !children.empty()) {
      change->max_changed = true;
      change->new_max = children.back().max;
    }
    below.max_changed = false;  // the child is gone
  }
  // A child whose new last key is longer (text keys) may have split while
  // taking it: the new page goes before it, as after an insert (T5).
  TakeChildChange(children, i, below, change);
  return FinishNode(page_number, page, children, change);
}

void IndexTree::TakeChildChange(std::vector<Child>& children, size_t i, const Change& below,
                                Change* change) {
  if (below.max_changed) {
    children[i].has_max = true;
    children[i].max = below.new_max;
    if (i + 1 == children.size()) {
      change->max_changed = true;
      change->new_max = below.new_max;
    }
  }
  if (below.split) {
    children.insert(children.begin() + static_cast<ptrdiff_t>(i),
                    Child{below.left_page, true, below.left_max});
  }
}

Status IndexTree::FinishNode(uint32_t page_number, IndexPage& page, std::vector<Child>& children,
                             Change* change) {
  if (children.empty()) {
    if (page_number == root_page_) {
      // (T4) an empty index is an empty leaf root.
      page.leaf = true;
      page.entries.clear();
      page.tail_page = 0;
      return FinishPage(page_number, page, change);
    }
    change->emptied = true;
    change->max_changed = false;
    return Unlink(page_number, page);
  }
  page.entries.clear();
  page.tail_page = 0;
  const size_t with_entries = children.size() == 1 ? 1 : children.size() - 1;
  for (size_t k = 0; k < with_entries; ++k) {
    if (!children[k].has_max) {
      JET_RETURN_IF_ERROR(SubtreeMax(children[k].page, &children[k].max));
      children[k].has_max = true;
    }
    IndexEntry e = children[k].max;
    e.child = children[k].page;
    page.entries.push_back(std::move(e));
  }
  if (children.size() > 1) page.tail_page = children.back().page;
  return FinishPage(page_number, page, change);
}

namespace {

// Splits `page` before entry `at`: `left` takes the entries before it (a
// node's last one becoming its tail) and `right` the rest with the page's
// tail; *left_max is the greatest entry left of the split.
void SplitAt(const IndexPage& page, size_t at, IndexPage* left, IndexPage* right,
             IndexEntry* left_max) {
  const auto cut = page.entries.begin() + static_cast<ptrdiff_t>(at);
  *left = IndexPage();
  *right = IndexPage();
  left->leaf = right->leaf = page.leaf;
  left->entries.assign(page.entries.begin(), cut);
  right->entries.assign(cut, page.entries.end());
  right->tail_page = page.leaf ? 0 : page.tail_page;
  *left_max = WithoutChild(left->entries.back());
  if (!left->leaf && left->entries.size() >= 2) {
    left->tail_page = left->entries.back().child;
    left->entries.pop_back();
  }
}

// Where to split a page whose entries overflow it (T5): where both parts
// fit, as near the middle of the entry bytes as can be (for keys of one size,
// the middle entry). False when no split fits, which only entries each longer
// than half a page can cause.
bool ChooseSplit(const Format& format, const IndexPage& page, size_t* at) {
  const size_t n = page.entries.size();
  const uint32_t pointers = page.leaf ? 4 : 8;
  std::vector<uint64_t> before(n + 1, 0);  // entry bytes before entry k, uncompressed
  for (size_t k = 0; k < n; ++k) before[k + 1] = before[k] + page.entries[k].key.size() + pointers;
  std::vector<size_t> order;
  for (size_t k = 1; k < n; ++k) order.push_back(k);
  // 2 * distance from the middle; ties go to the earlier split.
  auto distance = [&](size_t k) {
    const uint64_t twice = 2 * before[k];
    return twice > before[n] ? twice - before[n] : before[n] - twice;
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return distance(a) < distance(b); });
  const uint32_t usable = IndexUsableBytes(format);
  IndexPage left, right;
  IndexEntry left_max;
  for (size_t k : order) {
    SplitAt(page, k, &left, &right, &left_max);
    if (IndexPageEntryBytes(format, left) <= usable &&
        IndexPageEntryBytes(format, right) <= usable) {
      *at = k;
      return true;
    }
  }
  return false;
}

}  // namespace

Status IndexTree::FinishPage(uint32_t page_number, IndexPage& page, Change* change) {
  if (IndexPageEntryBytes(format_, page) <= IndexUsableBytes(format_)) {
    Store(page_number, page);
    return Status::OK();
  }
  if (page.entries.size() < 2) {
    return Status::InvalidArgument(Where(page_number) + ": one entry longer than a page");
  }
  if (page_number == root_page_) return SplitRoot(page);

  // (T5) the first part moves to a new page linked before this one.
  size_t at = 0;
  if (!ChooseSplit(format_, page, &at)) {
    return Status::InvalidArgument(Where(page_number) + ": entries too long to split the page");
  }
  IndexPage left, right;
  SplitAt(page, at, &left, &right, &change->left_max);
  right.prev_page = page.prev_page;
  right.next_page = page.next_page;
  page = std::move(right);
  change->split = true;
  JET_RETURN_IF_ERROR(NewPage(&change->left_page));
  JET_RETURN_IF_ERROR(LinkBefore(page_number, page, change->left_page, left));
  Store(change->left_page, std::move(left));
  Store(page_number, page);
  return Status::OK();
}

Status IndexTree::SplitRoot(IndexPage& page) {
  // (T4) the root keeps its page: its entries go to two new pages below it.
  size_t at = 0;
  if (!ChooseSplit(format_, page, &at)) {
    return Status::InvalidArgument(Where(root_page_) + ": entries too long to split the root");
  }
  IndexPage left, right;
  IndexEntry left_max;
  SplitAt(page, at, &left, &right, &left_max);
  uint32_t left_page = 0, right_page = 0;
  JET_RETURN_IF_ERROR(NewPage(&left_page));
  JET_RETURN_IF_ERROR(NewPage(&right_page));
  left.next_page = right_page;
  right.prev_page = left_page;
  Store(left_page, std::move(left));
  Store(right_page, std::move(right));
  IndexPage root;
  root.leaf = false;
  left_max.child = left_page;
  root.entries.push_back(std::move(left_max));
  root.tail_page = right_page;
  Store(root_page_, std::move(root));
  return Status::OK();
}

Status IndexTree::LinkBefore(uint32_t page_number, IndexPage& page, uint32_t new_page,
                             IndexPage& fresh) {
  fresh.prev_page = page.prev_page;
  fresh.next_page = page_number;
  if (page.prev_page != 0) {
    IndexPage prev;
    JET_RETURN_IF_ERROR(LoadSibling(page_number, page, true, &prev));
    prev.next_page = new_page;
    Store(page.prev_page, std::move(prev));
  }
  page.prev_page = new_page;
  return Status::OK();
}

Status IndexTree::Unlink(uint32_t page_number, const IndexPage& page) {
  if (page.prev_page != 0) {
    IndexPage prev;
    JET_RETURN_IF_ERROR(LoadSibling(page_number, page, true, &prev));
    prev.next_page = page.next_page;
    Store(page.prev_page, std::move(prev));
  }
  if (page.next_page != 0) {
    IndexPage next;
    JET_RETURN_IF_ERROR(LoadSibling(page_number, page, false, &next));
    next.prev_page = page.prev_page;
    Store(page.next_page, std::move(next));
  }
  dirty_.erase(page_number);
  unlinked_.push_back(page_number);
  return RemovePageFromUsageMap(file_, format_, usage_map_pointer_, page_number);
}

// ---- Checking ----

// What Check gathers as it walks the tree.
struct IndexTree::CheckWalk {
  std::vector<std::string>* problems = nullptr;
  std::vector<std::vector<uint32_t>> levels;  // the pages of each depth, in tree order
  std::vector<uint32_t> seen;                 // every page reached
  int leaf_depth = -1;                        // of the first leaf reached
};

// The entries below a page: none, or the least and the greatest.
struct IndexTree::EntryRange {
  bool empty = true;
  IndexEntry min;
  IndexEntry max;
};

Status IndexTree::CheckPage(uint32_t page_number, int depth, CheckWalk* walk,
                            EntryRange* range) const {
  range->empty = true;
  if (depth > kMaxDepth) {
    walk->problems->push_back(name_ + ": the tree is deeper than 32 levels");
    return Status::OK();
  }
  if (std::find(walk->seen.begin(), walk->seen.end(), page_number) != walk->seen.end()) {
    walk->problems->push_back(Where(page_number) + ": reached twice");
    return Status::OK();
  }
  walk->seen.push_back(page_number);
  if (walk->levels.size() <= static_cast<size_t>(depth)) walk->levels.resize(depth + 1);
  walk->levels[depth].push_back(page_number);
  IndexPage page;
  Status s = LoadAsStored(page_number, &page);
  if (!s.ok()) {
    walk->problems->push_back(s.message());
    return Status::OK();
  }
  CheckEntries(page_number, page, walk->problems);
  if (page.leaf) {
    CheckLeaf(page_number, page, depth, walk, range);
    return Status::OK();
  }
  return CheckNode(page_number, page, depth, walk, range);
}

void IndexTree::CheckEntries(uint32_t page_number, const IndexPage& page,
                             std::vector<std::string>* problems) const {
  auto problem = [&](const std::string& what) {
    problems->push_back(Where(page_number) + ": " + what);
  };
  if (page.tdef_page != tdef_page_) {
    problem("names table definition page " + std::to_string(page.tdef_page) + ", not " +
            std::to_string(tdef_page_));
  }
  uint32_t stored = 0;
  for (size_t i = 0; i < page.entries.size(); ++i) {
    stored += static_cast<uint32_t>(page.entries[i].key.size()) + (page.leaf ? 4 : 8) -
              (i > 0 ? page.prefix_length : 0);
    if (i > 0 && CompareEntries(page.entries[i - 1], page.entries[i]) >= 0) {
      problem("entry " + std::to_string(i) + " " + Describe(page.entries[i]) +
              " is not greater than the one before it");
    }
  }
  if (page.free_space != IndexUsableBytes(format_) - stored) {
    problem("free space " + std::to_string(page.free_space) + ", but the entries leave " +
            std::to_string(IndexUsableBytes(format_) - stored));
  }
}

void IndexTree::CheckLeaf(uint32_t page_number, const IndexPage& page, int depth, CheckWalk* walk,
                          EntryRange* range) const {
  if (walk->leaf_depth < 0) walk->leaf_depth = depth;
  if (walk->leaf_depth != depth) {
    walk->problems->push_back(Where(page_number) + ": leaf at depth " + std::to_string(depth) +
                              ", others at " + std::to_string(walk->leaf_depth));
  }
  if (!page.entries.empty()) {
    range->empty = false;
    range->min = WithoutChild(page.entries.front());
    range->max = WithoutChild(page.entries.back());
  } else if (page_number != root_page_) {
    walk->problems->push_back(Where(page_number) + ": empty leaf below the root");
  }
}

Status IndexTree::CheckNode(uint32_t page_number, const IndexPage& page, int depth, CheckWalk* walk,
                            EntryRange* range) const {
  auto problem = [&](const std::string& what) {
    walk->problems->push_back(Where(page_number) + ": " + what);
  };
  if (page.tail_page == 0 && page.entries.size() != 1) {
    problem("node with " + std::to_string(page.entries.size()) + " entries and no tail page");
  }
  if (page.tail_page != 0 && page.entries.empty()) problem("node with only a tail page");
  const std::vector<Child> children = ChildrenOf<Child>(page);
  for (size_t k = 0; k < children.size(); ++k) {
    EntryRange below;
    JET_RETURN_IF_ERROR(CheckPage(children[k].page, depth + 1, walk, &below));
    if (below.empty) continue;
    if (children[k].has_max && CompareEntries(children[k].max, below.max) != 0) {
      problem("entry " + std::to_string(k) + " " + Describe(children[k].max) +
              " differs from the greatest entry below page " + std::to_string(children[k].page) +
              ", " + Describe(below.max));
    }
    if (!range->empty && CompareEntries(range->max, below.min) >= 0) {
      problem("child page " + std::to_string(children[k].page) +
              " starts below the end of the child before it");
    }
    if (range->empty) range->min = below.min;
    range->empty = false;
    range->max = below.max;
  }
  return Status::OK();
}

void IndexTree::CheckLevelLinks(const CheckWalk& walk, std::vector<std::string>* problems,
                                std::vector<std::string>* notes) const {
  // (T3) each level one list, in tree order. A node page that merely lacks
  // a link (0) is a note: no reader walks node pages along their level, and
  // other writers link node pages only under one parent.
  std::vector<uint32_t> unlinked_nodes;
  for (const std::vector<uint32_t>& level : walk.levels) {
    for (size_t k = 0; k < level.size(); ++k) {
      IndexPage page;
      if (!LoadAsStored(level[k], &page).ok()) continue;
      uint32_t want_prev = k > 0 ? level[k - 1] : 0;
      uint32_t want_next = k + 1 < level.size() ? level[k + 1] : 0;
      if (page.prev_page == want_prev && page.next_page == want_next) continue;
      if (!page.leaf && (page.prev_page == want_prev || page.prev_page == 0) &&
          (page.next_page == want_next || page.next_page == 0)) {
        unlinked_nodes.push_back(level[k]);
        continue;
      }
      problems->push_back(Where(level[k]) + ": links prev " + std::to_string(page.prev_page) +
                          " next " + std::to_string(page.next_page) + ", expected prev " +
                          std::to_string(want_prev) + " next " + std::to_string(want_next));
    }
  }
  if (!unlinked_nodes.empty() && notes != nullptr) {
    std::string pages;
    for (uint32_t p : unlinked_nodes) pages += (pages.empty() ? "" : ", ") + std::to_string(p);
    notes->push_back(name_ + ": " + std::to_string(unlinked_nodes.size()) +
                     (unlinked_nodes.size() == 1 ? " node page has" : " node pages have") +
                     " no link to a neighbour at its level (page " + pages +
                     "); readers do not follow those links");
  }
}

void IndexTree::CheckUsageMap(const CheckWalk& walk, std::vector<std::string>* problems) const {
  // (T5) the usage map lists exactly the pages of the tree.
  UsageMap map;
  Status s = ReadUsageMap(file_, format_, usage_map_pointer_, "usage map of " + name_, &map);
  if (!s.ok()) {
    problems->push_back(s.message());
    return;
  }
  std::set<uint32_t> listed(map.pages.begin(), map.pages.end());
  std::set<uint32_t> reached(walk.seen.begin(), walk.seen.end());
  for (uint32_t p : reached) {
    if (!listed.count(p)) problems->push_back(Where(p) + ": not in the index's usage map");
  }
  for (uint32_t p : listed) {
    if (!reached.count(p)) {
      problems->push_back(name_ + ": usage map lists page " + std::to_string(p) +
                          ", which is not in the tree");
    }
  }
}

Status IndexTree::Check(std::vector<std::string>* problems, std::vector<std::string>* notes) const {
  CheckWalk walk;
  walk.problems = problems;
  EntryRange range;
  JET_RETURN_IF_ERROR(CheckPage(root_page_, 0, &walk, &range));
  CheckLevelLinks(walk, problems, notes);
  CheckUsageMap(walk, problems);
  return Status::OK();
}

// ---- Table definition statistics ----

Status AddToUniqueEntryCount(PageFile& file, const Format& format, uint32_t tdef_page,
                             uint32_t physical_index, uint32_t delta) {
  const uint8_t* first = nullptr;
  JET_RETURN_IF_ERROR(file.GetPage(tdef_page, "table definition", &first));
  if (first[0] != kPageTableDef) {
    return Status::Corruption("page " + std::to_string(tdef_page) + " is not a table definition");
  }
  const uint32_t num_real_idx = ReadU32(first + format.tdef_num_real_idx_offset);
  if (physical_index >= num_real_idx) {
    return Status::InvalidArgument("table definition at page " + std::to_string(tdef_page) +
                                   " has " + std::to_string(num_real_idx) +
                                   " physical indexes, not " + std::to_string(physical_index + 1));
  }
  // The count block follows the table header on the first page; only a
  // table with hundreds of indexes would push it onto a continuation page.
  const uint64_t offset =
      format.tdef_header_size + uint64_t{physical_index} * format.tdef_index_count_entry_size + 4;
  if (offset + 4 > format.page_size) {
    return Status::NotSupported("table definition at page " + std::to_string(tdef_page) +
                                ": the count of physical index " + std::to_string(physical_index) +
                                " lies past its first page");
  }
  uint8_t* page = nullptr;
  JET_RETURN_IF_ERROR(file.MutablePage(tdef_page, &page));
  WriteU32(page + offset, ReadU32(page + offset) + delta);
  return Status::OK();
}

}  // namespace jet
