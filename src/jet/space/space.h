// Space management: the global page map (page 1, row 0: bit set = page
// free) and the usage maps that list the pages a table, an index or a
// long-value column owns or that still have room (usage_map.h reads them).
//
// Invariants kept by every function here (inside a PageFile unit):
//   (S1) Every page of the file below page_count is marked used in the
//        global map, except pages Access itself left free (this engine
//        never reuses them: new pages are appended). An inline global row
//        covers the whole file from page 0 (it grows with the file, as
//        Access's does) and marks the pages past the end free; a reference
//        one has a bitmap page for every range the file reaches.
//   (S2) A usage map lists exactly the pages added to it and not removed;
//        an inline map whose window cannot reach a page is moved or
//        promoted in place to a reference map (same row length). A map
//        row never changes length; only the global row does.
#pragma once

#include <cstdint>

#include "jet/format/format.h"
#include "jet/pager/page_file.h"
#include "jet/status.h"

namespace jet {

// Appends a zero-filled page to the file and marks it used in the global
// map. The caller formats the page and adds it to its owner's maps.
// An inline global row grows by 4 bytes (32 pages) when the file outgrows it,
// as Access's does; one that does not start at page 0 is rewritten from page
// 0 with every page it did not cover marked used. A reference global map gets
// a 0x05 page (appended too) for a range that has none.
// Fails with kNotSupported ("database too large: ...") when page 1 has no
// room left for the row to cover the new page. After any failure the unit
// holds part of the change: the caller rolls it back.
// REQUIRES: file.in_unit().
Status AllocatePage(PageFile& file, const Format& format, uint32_t* page_number);

// Adds or removes `page_number` in the usage map whose row `map_pointer`
// (u8 slot | u24 page) points at. Adding a page already present, or removing
// one absent, changes nothing. May allocate a reference (type 0x05) page.
// kInvalidArgument for a page past the end of the file (adding) and for the
// global map's pointer (AllocatePage keeps that one); kCorruption naming the
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

}  // namespace jet
