// Text encoding: round trips through the Jet 4 text reader, the choice of
// the compressed form, and malformed UTF-8.
#include "jet/base/text_encode.h"

#include <gtest/gtest.h>

#include "jet/base/text.h"
#include "strings/hex.h"

namespace jet {
namespace {

struct EncodeCase {
  std::string utf8;
  bool compressible;
  bool compressed;  // expected form
};

TEST(EncodeJet4TextTest, ReadsBackInTheExpectedForm) {
  const EncodeCase cases[] = {
      {"", true, false},
      {"ab", true, false},  // FF FE would make it no shorter
      {"Choir Practice", true, true},
      {"Choir Practice", false, false},
      {"caf\xC3\xA9 \xC3\xBC \xC3\x9F", true, true},
      {"\xE2\x80\x9Cquoted\xE2\x80\x9D", true, false},
      {"9 \xE2\x80\x93 5", true, false},
      {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", true, false},
      {"a\xF0\x9F\x98\x80z", true, false},
      {std::string("ab\0cd", 5), true, false},  // a 00 byte would switch modes
      {std::string(1024, 'x'), true, true},
      {std::string(1025, 'x'), true, false},
  };
  for (const EncodeCase& c : cases) {
    std::string stored;
    ASSERT_TRUE(EncodeJet4Text(c.utf8, c.compressible, &stored).ok());
    std::string back;
    AppendJet4Text(reinterpret_cast<const uint8_t*>(stored.data()), stored.size(), &back);
    EXPECT_EQ(back, c.utf8);
    EXPECT_EQ(stored.rfind("\xFF\xFE", 0) == 0, c.compressed) << c.utf8;
    const size_t chars = *Jet4TextLength(c.utf8);
    EXPECT_EQ(stored.size(), c.compressed ? 2 + chars : 2 * chars) << c.utf8;
  }
  std::string emoji;
  ASSERT_TRUE(EncodeJet4Text("\xF0\x9F\x98\x80", true, &emoji).ok());
  EXPECT_EQ(emoji, std::string("\x3D\xD8\x00\xDE", 4));
}

// A text beginning with U+FEFF (plain, it would begin FF FE) takes the
// compressed form with mode switches; a char with a 00 low byte, which would
// end a plain run, is refused.
TEST(EncodeJet4TextTest, ATextBeginningWithFeffTakesTheSwitchingForm) {
  std::string stored;
  ASSERT_TRUE(EncodeJet4Text("\xEF\xBB\xBF"
                             "ABC\xD7\x90",
                             false, &stored)
                  .ok());
  EXPECT_EQ(strings::HexText(stored, " "), "FF FE 00 FF FE 00 41 42 43 00 D0 05");
  Status s = EncodeJet4Text(
      "\xEF\xBB\xBF"
      "\xC4\x80",
      true, &stored);
  EXPECT_NE(s.message().find("cannot hold U+0100"), std::string::npos) << s.ToString();
}

TEST(EncodeJet4TextTest, MalformedUtf8IsRefused) {
  for (const char* bad :
       {"ab\xC3", "\xC3\x28", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "\x80"}) {
    std::string stored;
    Status s = EncodeJet4Text(bad, true, &stored);
    EXPECT_EQ(s.code(), StatusCode::kInvalidArgument) << bad;
    EXPECT_NE(s.message().find("not valid UTF-8"), std::string::npos) << s.message();
    EXPECT_FALSE(Jet4TextLength(bad).ok());
  }
}

}  // namespace
}  // namespace jet
