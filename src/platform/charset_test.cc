// Conversions into the log's character set and out of locale codesets.
#include "platform/charset.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <ostream>
#include <string>

namespace platform {
namespace {

#ifdef _WIN32
TEST(ToSystemCharsetTest, TheAnsiCodePageWithQuestionMarksForWhatItLacks) {
  ASSERT_EQ(GetACP(), 1252u) << "the expectations are those of Western European Windows";
  EXPECT_EQ(ToSystemCharset("M\xC3\xA4r \xE2\x80\x93 \xD0\xBC"), "M\xE4r \x96 ?");
  EXPECT_EQ(ToSystemCharset("\xC4\x81"), "?");  // no look-alike "a"
  EXPECT_EQ(ToSystemCharset(""), "");
  EXPECT_EQ(FromSystemCharset("M\xE4r \x96"), "M\xC3\xA4r \xE2\x80\x93");
}
#else
TEST(ToSystemCharsetTest, Utf8IsThisSystemsCharset) {
  const std::string text = "M\xC3\xA4r \xE2\x80\x93 Grundonnerstag";
  EXPECT_EQ(ToSystemCharset(text), text);
  EXPECT_EQ(ToSystemCharset(""), "");
}

struct LocaleTextCase {
  std::string codeset;
  std::string text;
  std::string utf8;

  friend void PrintTo(const LocaleTextCase& c, std::ostream* os) { *os << c.codeset; }
};

class LocaleTextToUtf8Test : public ::testing::TestWithParam<LocaleTextCase> {};

TEST_P(LocaleTextToUtf8Test, Converts) {
  EXPECT_EQ(LocaleTextToUtf8(GetParam().text, GetParam().codeset), GetParam().utf8);
}

// Locale texts arrive in a codeset only on POSIX systems.
INSTANTIATE_TEST_SUITE_P(
    Codesets, LocaleTextToUtf8Test,
    ::testing::Values(LocaleTextCase{"UTF-8", "M\xC3\xA4r", "M\xC3\xA4r"},
                      LocaleTextCase{"ANSI_X3.4-1968", "Mar", "Mar"},  // the C locale
                      LocaleTextCase{"", "Mar", "Mar"},
                      LocaleTextCase{"ISO-8859-1", "M\xE4r", "M\xC3\xA4r"},
                      LocaleTextCase{"KOI8-R", "\xCD\xC1\xD2",
                                     "\xD0\xBC\xD0\xB0\xD1\x80"},  // "мар"
                      // A truncated two-byte character is marked, not dropped silently.
                      LocaleTextCase{"EUC-JP", "ab\xA4", "ab?"},
                      LocaleTextCase{"NO-SUCH-CODESET", "M\xE4r", "M\xE4r"}));

#endif

}  // namespace
}  // namespace platform
