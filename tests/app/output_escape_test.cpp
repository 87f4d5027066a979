#include "app/output_escape.h"

#include <gtest/gtest.h>

namespace ttyenum {
namespace {

TEST(EscapeFieldText, EncodesControlBytesOnly) {
  struct Row {
    const char* name;
    std::string text;
    std::string expected;
  };
  const Row rows[] = {
      {"empty", "", ""},
      {"plain ASCII", "FT232R USB UART", "FT232R USB UART"},
      {"escape sequence", "Pwn\x1b[31mRED", "Pwn\\x1b[31mRED"},
      {"line feed and carriage return", "a\nb\rc", "a\\x0ab\\x0dc"},
      {"tab", "a\tb", "a\\x09b"},
      {"NUL", std::string("a\0b", 3), "a\\x00b"},
      {"unit separator, last C0", "\x1f", "\\x1f"},
      {"space is printable", " 2.00", " 2.00"},
      {"DEL", "\x7f", "\\x7f"},
      {"C1 CSI in UTF-8",
       "\xc2\x9b"
       "31m",
       "\\xc2\\x9b31m"},
      {"first and last C1", "\xc2\x80\xc2\x9f", "\\xc2\\x80\\xc2\\x9f"},
      {"no-break space is not C1", "\xc2\xa0", "\xc2\xa0"},
      {"lone C2 at the end kept", "a\xc2", "a\xc2"},
      {"lone C1 continuation byte kept", "\x9b", "\x9b"},
      {"UTF-8 text kept", "\xc3\xa9\xe2\x86\x92\xe6\x97\xa5\xe6\x9c\xac",
       "\xc3\xa9\xe2\x86\x92\xe6\x97\xa5\xe6\x9c\xac"},
      {"backslash itself kept", "a\\x1b", "a\\x1b"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(escapeFieldText(row.text), row.expected);
  }
}

TEST(EscapeJsonText, EncodesDelAndC1ControlsOnly) {
  const std::pair<std::string, std::string> rows[] = {
      {"{\"a\": \"x\\u001by\"}", "{\"a\": \"x\\u001by\"}"},
      {"\"\x7f\"", "\"\\u007f\""},
      {"\"\xc2\x80\xc2\x9f\"", "\"\\u0080\\u009f\""},
      {"\"\xc2\xa0\xc3\xa9\xef\xbf\xbd\"", "\"\xc2\xa0\xc3\xa9\xef\xbf\xbd\""},
      {"\"\xe2\x82\x9b\"", "\"\xe2\x82\x9b\""},  // a continuation byte 9B inside U+209B
  };
  for (const auto& [json, expected] : rows) {
    SCOPED_TRACE(json);
    EXPECT_EQ(escapeJsonText(json), expected);
  }
}

}  // namespace
}  // namespace ttyenum
