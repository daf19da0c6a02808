// Text decoding: Jet 4 UCS-2 and its compressed form, Jet 3 code pages.
#include "jet/base/text.h"

#include <string>

#include <gtest/gtest.h>

#include "jet/base/text_encode.h"

namespace jet {
namespace {

std::string Jet4(const std::string& bytes) {
  std::string out;
  AppendJet4Text(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &out);
  return out;
}

struct Jet4Case {
  const char* name;
  std::string bytes;
  std::string utf8;
};

class Jet4TextTest : public ::testing::TestWithParam<Jet4Case> {};

TEST_P(Jet4TextTest, DecodesToUtf8) { EXPECT_EQ(Jet4(GetParam().bytes), GetParam().utf8); }

INSTANTIATE_TEST_SUITE_P(
    Forms, Jet4TextTest,
    ::testing::Values(
        Jet4Case{"plain", std::string("a\0b\0", 4), "ab"},
        Jet4Case{"plain_bmp", std::string("\xE4\0\xAC\x20", 4), "\xC3\xA4\xE2\x82\xAC"},
        Jet4Case{"surrogate_pair", std::string("\x3D\xD8\x00\xDE", 4), "\xF0\x9F\x98\x80"},
        Jet4Case{"lone_surrogate", std::string("\x3D\xD8", 2), "\xEF\xBF\xBD"},
        Jet4Case{"odd_trailing_byte", std::string("a\0b", 3), "a"},
        Jet4Case{"compressed", std::string("\xFF\xFEhello", 7), "hello"},
        Jet4Case{"compressed_latin1", std::string("\xFF\xFE\xE9t\xE9", 5), "\xC3\xA9t\xC3\xA9"},
        // 00 switches to UCS-2 pairs (here U+20AC), the next 00 back.
        Jet4Case{"mode_switches",
                 std::string("\xFF\xFE"
                             "ab\0\xAC\x20\0cd",
                             10),
                 "ab\xE2\x82\xAC"
                 "cd"},
        Jet4Case{"ends_uncompressed", std::string("\xFF\xFEx\0\x3A\x04", 6), "x\xD0\xBA"},
        Jet4Case{"empty_compressed", std::string("\xFF\xFE", 2), ""},
        Jet4Case{"empty", std::string(), ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ASCII is copied several units at a time, so the decoder hands over to the
// unit-by-unit path wherever a non-ASCII character falls: text of every
// length up to a few words, with one such character at each place, must
// come back as it was stored, plain and compressed.
TEST(Jet4TextTest, RoundTripsWithAnOddCharacterAtEachPlace) {
  // "", e acute (Latin-1: one byte compressed), euro sign (a UCS-2 run in
  // compressed text), a surrogate pair.
  for (const std::string odd : {"", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
    for (size_t length = 0; length <= 40; ++length) {
      for (size_t at = 0; at <= length; ++at) {
        std::string text(length, 'a');
        for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>('!' + i % 90);
        text.insert(at, odd);
        for (const bool compressible : {false, true}) {
          std::string stored;
          ASSERT_TRUE(EncodeJet4Text(text, compressible, &stored).ok());
          ASSERT_EQ(Jet4(stored), text) << "length " << length << " at " << at;
        }
      }
    }
  }
}

TEST(CodePageTextTest, DecodesWindows1252) {
  TextDecoder decoder(1252);
  std::string out;
  const uint8_t bytes[] = {'A', 0x80, 0xE9, 0x81, 'z'};
  ASSERT_TRUE(decoder.AppendCodePageText(0, bytes, sizeof bytes, &out).ok());
  // 0x81 is undefined in 1252 and becomes '?'.
  EXPECT_EQ(out, "A\xE2\x82\xAC\xC3\xA9?z");
}

TEST(CodePageTextTest, ColumnCodePageOverridesTheDatabaseOne) {
  TextDecoder decoder(1252);
  std::string out;
  const uint8_t bytes[] = {0xC0, 0xE1};  // Cyrillic in 1251
  ASSERT_TRUE(decoder.AppendCodePageText(1251, bytes, sizeof bytes, &out).ok());
  EXPECT_EQ(out, "\xD0\x90\xD0\xB1");
}

TEST(CodePageTextTest, DecodesDoubleByteCodePages) {
  TextDecoder decoder(932);
  std::string out;
  const uint8_t bytes[] = {'a', 0x82, 0xA0, 'b'};  // Shift-JIS hiragana A
  ASSERT_TRUE(decoder.AppendCodePageText(0, bytes, sizeof bytes, &out).ok());
  EXPECT_EQ(out,
            "a\xE3\x81\x82"
            "b");
  out.clear();
  const uint8_t cut[] = {'a', 0x82};  // lead byte without its trail byte
  ASSERT_TRUE(decoder.AppendCodePageText(0, cut, sizeof cut, &out).ok());
  EXPECT_EQ(out, "a\xEF\xBF\xBD");
}

TEST(CodePageTextTest, UnknownColumnCodePageFallsBackToTheDatabaseOne) {
  TextDecoder decoder(1252);
  std::string out;
  const uint8_t bytes[] = {'a', 0xE9};
  ASSERT_TRUE(decoder.AppendCodePageText(9, bytes, sizeof bytes, &out).ok());
  EXPECT_EQ(out, "a\xC3\xA9");
}

TEST(CodePageTextTest, UnknownDatabaseCodePageIsNotSupported) {
  TextDecoder decoder(9);
  std::string out;
  const uint8_t bytes[] = {'a'};
  Status s = decoder.AppendCodePageText(0, bytes, 1, &out);
  EXPECT_EQ(s.code(), StatusCode::kNotSupported);
  EXPECT_NE(s.message().find("code page 9"), std::string::npos);
}

}  // namespace
}  // namespace jet
