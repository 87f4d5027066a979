#include "common/argument_text.h"

#include <gtest/gtest.h>

namespace ttyenum {
namespace {

TEST(ArgumentText, DecodesWellFormedUtf8) {
  struct Row {
    const char* name;
    std::string bytes;
    std::wstring expected;
  };
  const Row rows[] = {
      {"ASCII", "--format=%c,%s", L"--format=%c,%s"},
      {"two bytes", "\xc3\xa9", L"\u00e9"},
      {"three bytes", "\xe2\x86\x92", L"\u2192"},
      {"four bytes", "\xf0\x9f\x98\x80", L"\U0001F600"},
      {"highest code point", "\xf4\x8f\xbf\xbf", L"\U0010FFFF"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(decodeArgumentText(row.bytes), row.expected);
  }
}

TEST(ArgumentText, KeepsEachInvalidByteAsAnEscapedCodePoint) {
  struct Row {
    const char* name;
    std::string bytes;
    std::wstring expected;
  };
  const Row rows[] = {
      {"Latin-1 byte", "caf\xe9", L"caf\xdce9"},
      {"lone continuation byte", "\x80", L"\xdc80"},
      {"truncated sequence", "\xe2\x86", L"\xdce2\xdc86"},
      {"truncated before ASCII",
       "\xe2"
       "a",
       L"\xdce2"
       L"a"},
      {"overlong slash", "\xc0\xaf", L"\xdcc0\xdcaf"},
      {"overlong three bytes", "\xe0\x80\xaf", L"\xdce0\xdc80\xdcaf"},
      {"encoded surrogate", "\xed\xb2\x80", L"\xdced\xdcb2\xdc80"},
      {"past U+10FFFF", "\xf4\x90\x80\x80", L"\xdcf4\xdc90\xdc80\xdc80"},
      {"FF byte", "\xff", L"\xdcff"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(decodeArgumentText(row.bytes), row.expected);
  }
}

TEST(ArgumentText, EveryByteStringRoundTrips) {
  const std::string rows[] = {
      "",
      "%c \xe2\x86\x92 %s",
      "\xc3\xa9\xe2\x86\x92%c",
      "caf\xe9",
      "\xed\xb2\x80",
      "\xf4\x90\x80\x80",
      "a\xc3",
      "\xff\xfe\x80\xbf\xc0\xc1\xf5\xf8",
  };
  for (const std::string& bytes : rows) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    EXPECT_EQ(encodeArgumentText(decodeArgumentText(bytes)), bytes);
  }
  std::string everyByte;
  for (int byte = 1; byte < 256; ++byte)
    everyByte += static_cast<char>(byte);
  EXPECT_EQ(encodeArgumentText(decodeArgumentText(everyByte)), everyByte);
}

}  // namespace
}  // namespace ttyenum
