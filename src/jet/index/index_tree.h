// Index B-trees: reading, seeking, inserting into and removing from one
// physical index of a Jet 3 or Jet 4 table, page by page (index_page.h), in a way
// Access reads back.
//
// Shape of the tree kept by every change:
//   (T1) Leaves hold one entry per indexed row, ordered by key || row
//        pointer bytes (index_page.h), strictly increasing across the whole
//        leaf level; all leaves are at the same depth.
//   (T2) A node's entry for a child holds the key and row pointer of the
//        greatest leaf entry below that child, and the child page. A node
//        with two or more children keeps no entry for its last child: that
//        page goes into the tail field. A node with one child keeps one
//        entry and tail 0.
//   (T3) The pages of each level form one doubly linked list in key order
//        (prev/next; 0 at either end).
//   (T4) The root page never moves: the table definition points at it. An
//        empty index is an empty leaf root. When the root overflows, its
//        entries move to two new pages and the root becomes their parent.
//   (T5) A page that would overflow splits where both parts fit, as near
//        the middle of its entry bytes as can be (not of its entry count:
//        keys differ in length): its first part moves to a new page linked
//        before it. New pages come from AllocatePage and are
//        added to the index's usage map; the index's usage map lists exactly
//        the pages of the tree.
//   (T6) A non-root page left empty by Remove is unlinked from its level and
//        its parent, removed from the index's usage map and, once the change
//        is written, given back to the file (space.h, FreePage).
//   (T7) Every change rewrites the pages it touches whole, inside the
//        caller's PageFile unit; a failed change leaves the unit to be rolled
//        back by the caller.
//   (T8) Nothing read from the file is trusted by a seek or a change: a page
//        it loads must decode (index_page.h, P1), name this index's table
//        and hold its entries in strictly increasing order; a neighbour it
//        relinks must be of the same kind and link back; and every page it
//        is about to write must be in the index's usage map. Otherwise the
//        change fails with a Corruption naming the index and the page,
//        before any page of the tree is written.
//
// The two formats differ only in their page layout (index_page.h): a Jet 3
// page holds 1800 entry bytes, a Jet 4 page 3616.
//
// Not thread-safe. The PageFile must outlive the IndexTree.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "jet/format/format.h"
#include "jet/index/index_page.h"
#include "jet/pager/page_file.h"
#include "jet/status.h"
#include "jet/types.h"

namespace jet {

// A place in the leaf level: the entry at `slot` of leaf page `leaf_page`.
struct IndexPosition {
  uint32_t leaf_page = 0;
  uint32_t slot = 0;
  IndexEntry entry;
};

class IndexTree {
 public:
  // `name` only appears in messages ("index PrimaryKey of table Events").
  IndexTree(PageFile& file, const Format& format, uint32_t tdef_page, uint32_t root_page,
            uint32_t usage_map_pointer, std::string name);
  IndexTree(PageFile& file, const Format& format, const TableDef& table, const IndexDef& index);

  IndexTree(const IndexTree&) = delete;
  IndexTree& operator=(const IndexTree&) = delete;

  // Every leaf entry, in order.
  Status ReadAll(std::vector<IndexEntry>* out) const;

  // Whether an entry with exactly this key exists (any row).
  Status Contains(std::string_view key, bool* found) const;

  // The first entry >= key (any row). *found is false past the last entry.
  Status Seek(std::string_view key, bool* found, IndexPosition* position) const;
  // The entry after `position`; *found is false at the end.
  Status Next(IndexPosition* position, bool* found) const;

  // Adds the entry (key, row). `*new_key` (may be null) tells whether no
  // other entry had this key: the table's unique-entry count for this index
  // then goes up by one. An entry already present is kInvalidArgument.
  // REQUIRES: file.in_unit().
  Status Insert(std::string_view key, RowId row, bool* new_key = nullptr);

  // Removes the entry (key, row); kNotFound when it is absent.
  // REQUIRES: file.in_unit().
  Status Remove(std::string_view key, RowId row);

  // Walks the whole tree and the index's usage map; one line per breach of
  // (T1)-(T5), of page types, prefixes or free space. A node page whose only
  // fault is a missing (0) link to a neighbour at its level goes to `notes`
  // (may be null) instead: nothing reads node pages along their level.
  // Returns a non-OK Status only when the walk itself cannot go on.
  Status Check(std::vector<std::string>* problems, std::vector<std::string>* notes = nullptr) const;

 private:
  struct Change;
  struct Child;

  // The page as the running change left it, else decoded from the file and
  // checked (T8).
  Status Load(uint32_t page_number, IndexPage* page) const;
  // The same without the checks of (T8): Check reports those itself.
  Status LoadAsStored(uint32_t page_number, IndexPage* page) const;
  // Loads the page before (`before`) or after `page` at its level and
  // checks that it links back (T3, T8).
  Status LoadSibling(uint32_t page_number, const IndexPage& page, bool before,
                     IndexPage* sibling) const;
  void Store(uint32_t page_number, IndexPage page);
  Status Flush();
  Status NewPage(uint32_t* page_number);
  Status SubtreeMax(uint32_t page_number, IndexEntry* max) const;
  Status InsertAt(uint32_t page_number, int depth, const IndexEntry& entry, Change* change);
  Status RemoveAt(uint32_t page_number, int depth, const IndexEntry& entry, Change* change);
  Status FinishPage(uint32_t page_number, IndexPage& page, Change* change);
  // Takes into child i what changed below it: its new last key (passed up
  // when it is the last child) and the page split off before it.
  static void TakeChildChange(std::vector<Child>& children, size_t i, const Change& below,
                              Change* change);
  Status FinishNode(uint32_t page_number, IndexPage& page, std::vector<Child>& children,
                    Change* change);
  Status SplitRoot(IndexPage& page);
  Status Unlink(uint32_t page_number, const IndexPage& page);
  Status LinkBefore(uint32_t page_number, IndexPage& page, uint32_t new_page, IndexPage& fresh);
  // Check, in steps. CheckPage walks the subtree of a page (at `depth`
  // below the root) and gives the range of its entries; CheckEntries looks
  // at what any page holds, CheckLeaf and CheckNode at what their kind does.
  struct CheckWalk;
  struct EntryRange;
  Status CheckPage(uint32_t page_number, int depth, CheckWalk* walk, EntryRange* range) const;
  void CheckEntries(uint32_t page_number, const IndexPage& page,
                    std::vector<std::string>* problems) const;
  void CheckLeaf(uint32_t page_number, const IndexPage& page, int depth, CheckWalk* walk,
                 EntryRange* range) const;
  Status CheckNode(uint32_t page_number, const IndexPage& page, int depth, CheckWalk* walk,
                   EntryRange* range) const;
  void CheckLevelLinks(const CheckWalk& walk, std::vector<std::string>* problems,
                       std::vector<std::string>* notes) const;
  void CheckUsageMap(const CheckWalk& walk, std::vector<std::string>* problems) const;
  std::string Where(uint32_t page_number) const;

  PageFile& file_;
  const Format& format_;
  uint32_t tdef_page_;
  uint32_t root_page_;
  uint32_t usage_map_pointer_;
  std::string name_;
  std::map<uint32_t, IndexPage> dirty_;  // pages changed by the running Insert/Remove
  std::vector<uint32_t> unlinked_;       // pages the running Remove unlinked (T6)
  bool key_seen_ = false;                // Insert met another entry with the same key
};

// Adds `delta` to the unique-entry count of physical index `physical_index`
// in the table definition whose first page is `tdef_page` (the count block
// after the table header: u32 unknown, u32 count[, u32 unknown] per index,
// on the first page). REQUIRES: file.in_unit().
Status AddToUniqueEntryCount(PageFile& file, const Format& format, uint32_t tdef_page,
                             uint32_t physical_index, uint32_t delta);

}  // namespace jet
