// Layout constants of the two Access page formats: Jet 3 (Access 97, 2 KB
// pages) and Jet 4 (Access 2000-2003, 4 KB pages). Every value here is frozen
// on disk. One Format instance per version; code asks it for offsets instead
// of branching on the version.
#pragma once

#include <cstdint>

#include "jet/types.h"

namespace jet {

// Page types (byte 0 of every page).
inline constexpr uint8_t kPageHeader = 0x00;
inline constexpr uint8_t kPageData = 0x01;
inline constexpr uint8_t kPageTableDef = 0x02;
inline constexpr uint8_t kPageIndexNode = 0x03;
inline constexpr uint8_t kPageIndexLeaf = 0x04;
inline constexpr uint8_t kPageUsageMap = 0x05;

// Row offset table entries: low 13 bits offset, top bits flags.
inline constexpr uint16_t kRowOffsetMask = 0x1FFF;
inline constexpr uint16_t kRowDeleted = 0x8000;
inline constexpr uint16_t kRowLookup = 0x4000;  // row holds a pointer to the real row

// Long-value header kinds (top two bits of the first u32).
inline constexpr uint32_t kLongValueInline = 0x80000000u;
inline constexpr uint32_t kLongValueSingle = 0x40000000u;
inline constexpr uint32_t kLongValueLengthMask = 0x3FFFFFFFu;
inline constexpr uint32_t kLongValueHeaderSize = 12;

// Page 0, after the masked region has been unmasked.
//   OFFSET  SIZE  J3  J4  MEANING
//   0x00    4     y   y   00 01 00 00
//   0x04    16    y   y   "Standard Jet DB\0" ("Standard ACE DB" in .accdb)
//   0x14    4     y   y   version: 0 Jet 3, 1 Jet 4, 2+ ACE formats
//   0x18    126/128       start of the region XORed with the RC4 mask
//   0x3A    2     y   -   default sort order (LCID)
//   0x3C    2     y   y   default code page
//   0x3E    4     y   y   encoding key (0 = pages in clear)
//   0x42    20/40 y   y   database password (J4: also XORed with the date key)
//   0x6E    4     -   y   sort order: LCID (2 bytes), byte 3 = sort version
//   0x72    8     -   y   creation date (OLE date double)
inline constexpr uint32_t kHeaderMagicOffset = 0x00;
inline constexpr uint32_t kHeaderEngineOffset = 0x04;
inline constexpr uint32_t kHeaderVersionOffset = 0x14;
inline constexpr uint32_t kHeaderMaskStart = 0x18;
inline constexpr uint32_t kJet3HeaderMaskSize = 126;
inline constexpr uint32_t kJet4HeaderMaskSize = 128;
inline constexpr uint32_t kJet3HeaderSortOrderOffset = 0x3A;
inline constexpr uint32_t kHeaderCodePageOffset = 0x3C;
inline constexpr uint32_t kHeaderEncodingKeyOffset = 0x3E;
inline constexpr uint32_t kHeaderPasswordOffset = 0x42;
inline constexpr uint32_t kJet3PasswordSize = 20;
inline constexpr uint32_t kJet4PasswordSize = 40;
inline constexpr uint32_t kJet4HeaderSortOrderOffset = 0x6E;
inline constexpr uint32_t kJet4HeaderCreationDateOffset = 0x72;

inline constexpr uint32_t kCatalogTableDefPage = 2;

struct Format {
  JetVersion version;
  uint32_t page_size;

  // Data page header.
  //   OFFSET  J3  J4  SIZE  MEANING
  //   0           0   2     01 01
  //   2           2   2     free space
  //   4           4   4     owning TDEF page ("LVAL" on long-value pages)
  //   -           8   4     unknown
  //   row count   8   12  2
  //   offsets     10  14  2 per row
  uint32_t data_row_count_offset;
  uint32_t data_header_size;  // where the row offset table starts

  // TDEF table header (offsets into the logical definition buffer).
  //   FIELD            J3  J4  SIZE
  //   next TDEF page   4   4   4   (physical page field)
  //   tdef_len         8   8   4
  //   num_rows         12  16  4
  //   autonumber       16  20  4
  //   table_type       20  40  1
  //   max_cols         21  41  2
  //   num_var_cols     23  43  2
  //   num_cols         25  45  2
  //   num_idx          27  47  4
  //   num_real_idx     31  51  4
  //   owned map ptr    35  55  4
  //   free map ptr     39  59  4
  //   index counts     43  63  8 / 12 per physical index
  uint32_t tdef_row_count_offset;
  uint32_t tdef_autonumber_offset;
  uint32_t tdef_table_type_offset;
  uint32_t tdef_max_cols_offset;
  uint32_t tdef_num_var_cols_offset;
  uint32_t tdef_num_cols_offset;
  uint32_t tdef_num_idx_offset;
  uint32_t tdef_num_real_idx_offset;
  uint32_t tdef_owned_map_offset;
  uint32_t tdef_free_map_offset;
  uint32_t tdef_header_size;
  uint32_t tdef_index_count_entry_size;

  // Column descriptor.
  //   FIELD           J3  J4  SIZE
  //   type            0   0   1
  //   column number   1   5   2
  //   var slot        3   7   2
  //   position        5   9   2  (0 in system tables; kept as Access wrote it)
  //   sort order      9   11  2  (J4: +13 unknown, +14 sort version)
  //   code page       11  -   2  (J3 text)
  //   precision       11  11  1  (numeric)
  //   scale           12  12  1  (numeric)
  //   flags           13  15  1
  //   ext flags       -   16  1
  //   fixed offset    14  21  2
  //   length          16  23  2
  uint32_t column_size;
  uint32_t column_number_offset;
  uint32_t column_var_index_offset;
  uint32_t column_position_offset;
  uint32_t column_sort_order_offset;
  uint32_t column_sort_version_offset;  // 0 when absent (J3)
  uint32_t column_code_page_offset;     // 0 when absent (J4)
  uint32_t column_precision_offset;
  uint32_t column_scale_offset;
  uint32_t column_flags_offset;
  uint32_t column_ext_flags_offset;  // 0 when absent (J3)
  uint32_t column_fixed_offset_offset;
  uint32_t column_length_offset;

  uint32_t name_length_size;  // 1 (J3, code page bytes) or 2 (J4, UCS-2)

  // Physical index descriptor: 10 x (u16 column, u8 flags) at columns_offset,
  // then usage map pointer, root page, flags.
  uint32_t physical_index_size;
  uint32_t physical_index_columns_offset;
  uint32_t physical_index_map_offset;
  uint32_t physical_index_root_offset;
  uint32_t physical_index_flags_offset;

  // Logical index descriptor.
  //   FIELD            J3  J4
  //   index number     0   4
  //   physical index   4   8
  //   index type       19  23
  uint32_t logical_index_size;
  uint32_t logical_index_number_offset;
  uint32_t logical_index_physical_offset;
  uint32_t logical_index_type_offset;

  // Rows store their column count in 1 (J3) or 2 (J4) bytes.
  uint32_t row_count_size;

  bool IsJet3() const { return version == JetVersion::kJet3; }
};

inline constexpr Format kJet3Format = {
    .version = JetVersion::kJet3,
    .page_size = 2048,
    .data_row_count_offset = 8,
    .data_header_size = 10,
    .tdef_row_count_offset = 12,
    .tdef_autonumber_offset = 16,
    .tdef_table_type_offset = 20,
    .tdef_max_cols_offset = 21,
    .tdef_num_var_cols_offset = 23,
    .tdef_num_cols_offset = 25,
    .tdef_num_idx_offset = 27,
    .tdef_num_real_idx_offset = 31,
    .tdef_owned_map_offset = 35,
    .tdef_free_map_offset = 39,
    .tdef_header_size = 43,
    .tdef_index_count_entry_size = 8,
    .column_size = 18,
    .column_number_offset = 1,
    .column_var_index_offset = 3,
    .column_position_offset = 5,
    .column_sort_order_offset = 9,
    .column_sort_version_offset = 0,
    .column_code_page_offset = 11,
    .column_precision_offset = 11,
    .column_scale_offset = 12,
    .column_flags_offset = 13,
    .column_ext_flags_offset = 0,
    .column_fixed_offset_offset = 14,
    .column_length_offset = 16,
    .name_length_size = 1,
    .physical_index_size = 39,
    .physical_index_columns_offset = 0,
    .physical_index_map_offset = 30,
    .physical_index_root_offset = 34,
    .physical_index_flags_offset = 38,
    .logical_index_size = 20,
    .logical_index_number_offset = 0,
    .logical_index_physical_offset = 4,
    .logical_index_type_offset = 19,
    .row_count_size = 1,
};

inline constexpr Format kJet4Format = {
    .version = JetVersion::kJet4,
    .page_size = 4096,
    .data_row_count_offset = 12,
    .data_header_size = 14,
    .tdef_row_count_offset = 16,
    .tdef_autonumber_offset = 20,
    .tdef_table_type_offset = 40,
    .tdef_max_cols_offset = 41,
    .tdef_num_var_cols_offset = 43,
    .tdef_num_cols_offset = 45,
    .tdef_num_idx_offset = 47,
    .tdef_num_real_idx_offset = 51,
    .tdef_owned_map_offset = 55,
    .tdef_free_map_offset = 59,
    .tdef_header_size = 63,
    .tdef_index_count_entry_size = 12,
    .column_size = 25,
    .column_number_offset = 5,
    .column_var_index_offset = 7,
    .column_position_offset = 9,
    .column_sort_order_offset = 11,
    .column_sort_version_offset = 14,
    .column_code_page_offset = 0,
    .column_precision_offset = 11,
    .column_scale_offset = 12,
    .column_flags_offset = 15,
    .column_ext_flags_offset = 16,
    .column_fixed_offset_offset = 21,
    .column_length_offset = 23,
    .name_length_size = 2,
    .physical_index_size = 52,
    .physical_index_columns_offset = 4,
    .physical_index_map_offset = 34,
    .physical_index_root_offset = 38,
    .physical_index_flags_offset = 46,
    .logical_index_size = 28,
    .logical_index_number_offset = 4,
    .logical_index_physical_offset = 8,
    .logical_index_type_offset = 23,
    .row_count_size = 2,
};

inline const Format& FormatFor(JetVersion version) {
  return version == JetVersion::kJet3 ? kJet3Format : kJet4Format;
}

}  // namespace jet
