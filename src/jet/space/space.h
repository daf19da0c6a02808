// Space management: the global page map (page 1, row 0: bit set = page
// free) and the usage maps that list the pages a table, an index or a
// long-value column owns or that still have room (usage_map.h reads them).
//
// Invariants kept by every function here (inside a PageFile unit):
//   (S1) Nothing refers to a page that the global map marks free. A page
//        this engine stops using goes back to the map (FreePage), and
//        AllocatePage hands out the lowest free page, Access's free pages
//        included, appending to the file only when none is free. An inline
//        global row covers the whole file from page 0 once this engine has
//        changed it (it grows with the file, as Access's does) and marks the
//        pages past the end free, for as long as page 1 can hold it (about
//        125 MB of Jet 4 file, 31 MB of Jet 3); past that it becomes a
//        reference row, whose bitmap pages cover every range the file
//        reaches. A window another writer slid forward is kept while the
//        pages changed lie inside it; pages outside it count as used.
//   (S2) A usage map lists exactly the pages added to it and not removed;
//        an inline map whose window cannot reach a page is moved or
//        promoted in place to a reference map (same row length). A map
//        row never changes length; only the global row does.
//   (S3) A page FreePage gives back is zero-filled (type 0x00), so that no
//        reader that walks every page takes its old rows for live ones; a
//        page AllocatePage hands out is zero-filled whatever it held.
// Freeing and reusing a page inside one unit is safe: every change goes
// through PageFile::MutablePage, which keeps the page's image from before the
// unit (and each savepoint), so a rollback puts back a freed page's contents
// and its bit together, and a crash replays whole units only (page_file.h,
// P2, P3). What a caller must watch is its own order: a page is freed only
// once nothing it still reads lies there.
#pragma once

#include <cstdint>

#include "jet/format/format.h"
#include "jet/pager/page_file.h"
#include "jet/status.h"

namespace jet {

// Hands out a zero-filled page marked used in the global map: the lowest
// free page of the file, else a page appended to it. The caller formats the
// page and adds it to its owner's maps.
// An inline global row grows by 4 bytes (32 pages) when the file outgrows it,
// as Access's does; one that does not start at page 0 is rewritten from page
// 0 with every page it did not cover marked used. When page 1 has no room
// left for the row, it becomes a reference row of 17 (Jet 4) or 33 (Jet 3)
// bitmap pages, enough for the largest file (S1). A reference global map gets
// a 0x05 page (appended too) for a range that has none.
// Fails with kNotSupported past the largest file the format allows (the
// pager's limit). After any failure the unit holds part of the change: the
// caller rolls it back.
// REQUIRES: file.in_unit().
Status AllocatePage(PageFile& file, const Format& format, uint32_t* page_number);

// Gives a page back: zero-fills it and marks it free in the global map, for
// AllocatePage to hand out again (S1, S3). The caller has removed it from
// every usage map that listed it and from whatever pointed at it.
// kInvalidArgument for pages 0 to 2 and pages past the end of the file.
// REQUIRES: file.in_unit().
Status FreePage(PageFile& file, const Format& format, uint32_t page_number);

// Adds or removes `page_number` in the usage map whose row `map_pointer`
// (u8 slot | u24 page) points at. Adding a page already present, or removing
// one absent, changes nothing. May allocate a reference (type 0x05) page.
// kInvalidArgument for a page past the end of the file (adding) and for the
// global map's pointer (AllocatePage and FreePage keep that one); kCorruption naming the
// map's page and row when the row or a bitmap page it names is damaged.
// Errors do not name the table: the caller adds it.
// REQUIRES: file.in_unit().
Status AddPageToUsageMap(PageFile& file, const Format& format, uint32_t map_pointer,
                         uint32_t page_number);
Status RemovePageFromUsageMap(PageFile& file, const Format& format, uint32_t map_pointer,
                              uint32_t page_number);

// Whether the map lists the page (false for a page past the map's reach).
Result<bool> UsageMapHas(const PageFile& file, const Format& format, uint32_t map_pointer,
                         uint32_t page_number);

// How many pages past the end of the file the global map marks used: none
// in a whole file (Access marks the pages past the end free), some in a file
// that was cut short, whose maps and indexes may still point at them.
Result<uint32_t> UsedPagesPastEnd(const PageFile& file, const Format& format);

}  // namespace jet
