// Database header: the RC4 mask, version and signature checks, encoded
// databases and the Jet 4 password that is keyed by the creation date.
#include "jet/format/header.h"

#include <cstring>

#include <gtest/gtest.h>

#include "jet/base/text.h"
#include "jet/database.h"
#include "jet/testing/test_pages.h"

namespace jet {
namespace {

using testing::PutU16;
using testing::PutU32;

struct HeaderFields {
  uint32_t version = 1;
  const char* engine = "Standard Jet DB";
  uint32_t encoding_key = 0;
  double creation_date = 40000.75;
  std::string password;  // ASCII
};

HeaderFields Fields(uint32_t version, const char* engine, uint32_t encoding_key = 0) {
  HeaderFields fields;
  fields.version = version;
  fields.engine = engine;
  fields.encoding_key = encoding_key;
  return fields;
}

// Page 0 as Access writes it: plain fields, then the masked region XORed.
std::string BuildHeaderPage(const HeaderFields& fields) {
  const bool jet3 = fields.version == 0;
  std::string page(jet3 ? 2048 : 4096, '\0');
  PutU32(&page, 0, 0x00000100);
  std::memcpy(page.data() + 4, fields.engine, 16);
  PutU32(&page, 0x14, fields.version);
  PutU16(&page, 0x3C, 1252);
  PutU32(&page, 0x3E, fields.encoding_key);
  if (jet3) {
    PutU16(&page, 0x3A, 0x0409);
    for (size_t i = 0; i < fields.password.size(); ++i) page[0x42 + i] = fields.password[i];
  } else {
    PutU16(&page, 0x6E, 0x0409);
    std::memcpy(page.data() + 0x72, &fields.creation_date, 8);
    int32_t key = static_cast<int32_t>(fields.creation_date);
    uint8_t key_bytes[4];
    WriteU32(key_bytes, static_cast<uint32_t>(key));
    std::string ucs2 = testing::Ucs2(fields.password);
    for (size_t i = 0; i < 40; ++i) {
      uint8_t b = i < ucs2.size() ? static_cast<uint8_t>(ucs2[i]) : 0;
      page[0x42 + i] = static_cast<char>(b ^ key_bytes[i % 4]);
    }
  }
  const auto& mask = HeaderMask();
  for (uint32_t i = 0; i < (jet3 ? 126u : 128u); ++i) page[0x18 + i] ^= static_cast<char>(mask[i]);
  return page;
}

TEST(HeaderMaskTest, IsTheRc4StreamOfTheFixedKey) {
  const uint8_t expected[] = {0xB5, 0x6F, 0x03, 0x62, 0x61, 0x08, 0xC2, 0x55};
  EXPECT_EQ(0, std::memcmp(HeaderMask().data(), expected, sizeof expected));
}

TEST(HeaderTest, ReadsJet4Fields) {
  HeaderInfo info;
  ASSERT_TRUE(ParseHeader(BuildHeaderPage({}), &info).ok());
  EXPECT_EQ(info.version, JetVersion::kJet4);
  EXPECT_EQ(info.page_size, 4096u);
  EXPECT_EQ(info.code_page, 1252);
  EXPECT_EQ(info.sort_order, 0x0409);
  EXPECT_FALSE(info.has_password);
  EXPECT_TRUE(CheckPassword(info, "").ok());
}

TEST(HeaderTest, ReadsJet3Fields) {
  HeaderFields fields;
  fields.version = 0;
  HeaderInfo info;
  ASSERT_TRUE(ParseHeader(BuildHeaderPage(fields), &info).ok());
  EXPECT_EQ(info.version, JetVersion::kJet3);
  EXPECT_EQ(info.page_size, 2048u);
  EXPECT_EQ(info.sort_order, 0x0409);
}

struct PasswordCase {
  uint32_t version;
  std::string stored;
  std::string given;
  bool accepted;
};

class PasswordTest : public ::testing::TestWithParam<PasswordCase> {};

TEST_P(PasswordTest, MatchesOnlyTheStoredPassword) {
  const PasswordCase& c = GetParam();
  HeaderFields fields;
  fields.version = c.version;
  fields.password = c.stored;
  HeaderInfo info;
  ASSERT_TRUE(ParseHeader(BuildHeaderPage(fields), &info).ok());
  EXPECT_EQ(info.has_password, !c.stored.empty());
  Status s = CheckPassword(info, c.given);
  EXPECT_EQ(s.ok(), c.accepted);
  if (!c.accepted) {
    EXPECT_EQ(s.code(), StatusCode::kInvalidPassword);
    EXPECT_EQ(s.message(), "Not a valid password.");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, PasswordTest,
    ::testing::Values(PasswordCase{1, "", "", true}, PasswordCase{1, "", "x", false},
                      PasswordCase{1, "secret", "secret", true},
                      PasswordCase{1, "secret", "", false},
                      PasswordCase{1, "secret", "Secret", false},
                      PasswordCase{1, "twentycharacterslong", "twentycharacterslong", true},
                      PasswordCase{0, "", "", true}, PasswordCase{0, "pw97", "pw97", true},
                      PasswordCase{0, "pw97", "", false}));

struct RefusalCase {
  const char* name;
  HeaderFields fields;
  size_t truncate_to;  // 0 = whole page
  StatusCode code;
  const char* message_part;
};

class HeaderRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(HeaderRefusalTest, GivesTheRightStatus) {
  const RefusalCase& c = GetParam();
  std::string page = BuildHeaderPage(c.fields);
  if (c.truncate_to != 0) page.resize(c.truncate_to);
  HeaderInfo info;
  Status s = ParseHeader(page, &info);
  EXPECT_EQ(s.code(), c.code) << s.ToString();
  EXPECT_NE(s.message().find(c.message_part), std::string::npos) << s.ToString();
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, HeaderRefusalTest,
    ::testing::Values(
        RefusalCase{"accdb", Fields(2, "Standard ACE DB"), 0, StatusCode::kNotSupported,
                    "this database format is not supported"},
        RefusalCase{"accdb2010", Fields(3, "Standard ACE DB"), 0, StatusCode::kNotSupported,
                    "this database format is not supported"},
        RefusalCase{"not_jet", Fields(1, "Standard Foo DB"), 0, StatusCode::kNotAnAccessFile,
                    "not an Access database file"},
        RefusalCase{"encoded", Fields(1, "Standard Jet DB", 0x1234), 0, StatusCode::kNotSupported,
                    "encrypted"},
        RefusalCase{"tiny", HeaderFields(), 10, StatusCode::kNotAnAccessFile,
                    "not an Access database file"},
        RefusalCase{"cut_in_header", HeaderFields(), 100, StatusCode::kCorruption, "truncated"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OpenImageTest, RefusesFilesThatAreNotWholePages) {
  std::string image = BuildHeaderPage({});
  image += std::string(4096 * 3 - 100, '\0');
  OpenOptions writing;
  writing.read_only = false;
  auto db = Database::OpenImage(image, writing);
  ASSERT_FALSE(db.ok());
  EXPECT_EQ(db.status().code(), StatusCode::kCorruption);
  EXPECT_NE(db.status().message().find("not a whole number"), std::string::npos);
}

TEST(OpenImageTest, RefusesFilesTooSmallForTheCatalog) {
  std::string image = BuildHeaderPage({}) + std::string(4096, '\0');
  auto db = Database::OpenImage(image);
  ASSERT_FALSE(db.ok());
  EXPECT_EQ(db.status().code(), StatusCode::kCorruption);
}

TEST(OpenImageTest, RefusesRandomBytes) {
  auto db = Database::OpenImage(std::string(8192, 'x'));
  ASSERT_FALSE(db.ok());
  EXPECT_EQ(db.status().code(), StatusCode::kNotAnAccessFile);
  EXPECT_EQ(db.status().message(), "not an Access database file");
}

}  // namespace
}  // namespace jet
