// The 2010 date-record table that this build carries, and LoadDateRecords,
// which hands it to the update run.
//
// A date record is one text of exactly four fields joined by "|":
//   1  date    month/day/year, month first, no leading zeros ("1/6/2010")
//   2  colour  the day's liturgical colour, one capitalised word ("White")
//   3  names   empty, or the day's names joined by "^"; a plain apostrophe is
//              stored single ("New Year's Day"), the event import doubles it
//   4  notes   empty, or one paragraph of prose ready to stand between single
//              quotes in SQL: a plain apostrophe is stored doubled ("''")
// The empty text is the record of no day; all its fields read as empty.
//
// The table is constant data of this build; nothing is read from outside.
#pragma once

#include <string>
#include <vector>

namespace yeardata {

// Days of 2010 (not a leap year), held in slots 0..364 in calendar order.
inline constexpr int kDaysIn2010 = 365;
// The record array has one more slot, 365, which holds the empty record.
inline constexpr int kDateRecordSlots = kDaysIn2010 + 1;
inline constexpr int kLastDateRecordSlot = kDateRecordSlots - 1;

// Resizes records to exactly kDateRecordSlots slots, discarding whatever it
// held, and fills slot k (0..364) with the record of the day k days after
// 1 January 2010 and slot 365 with the empty text. Every call gives the same
// records; the array stays the caller's.
void LoadDateRecords(std::vector<std::string>& records);

}  // namespace yeardata
