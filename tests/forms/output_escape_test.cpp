#include "forms/output_escape.h"

#include <gtest/gtest.h>

namespace ttyenum {
namespace {

TEST(EscapeFieldText, EncodesControlsAndBytesOutsideUtf8) {
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
      {"UTF-8 text kept", "\xc3\xa9\xe2\x86\x92\xe6\x97\xa5\xe6\x9c\xac",
       "\xc3\xa9\xe2\x86\x92\xe6\x97\xa5\xe6\x9c\xac"},
      {"euro sign and a four-byte emoji kept", "\xe2\x82\xac\xf0\x9f\x98\x80",
       "\xe2\x82\xac\xf0\x9f\x98\x80"},
      {"bidirectional and invisible format characters, first and last of each run",
       "FT\xe2\x80\x8b\xe2\x80\x8f\xe2\x80\xaa\xe2\x80\xae\xe2\x81\xa0\xe2\x81\xa4"
       "\xe2\x81\xa6\xe2\x81\xa9\xef\xbb\xbf",
       "FT\\xe2\\x80\\x8b\\xe2\\x80\\x8f\\xe2\\x80\\xaa\\xe2\\x80\\xae\\xe2\\x81\\xa0"
       "\\xe2\\x81\\xa4\\xe2\\x81\\xa6\\xe2\\x81\\xa9\\xef\\xbb\\xbf"},
      {"neighbours kept: U+200A, U+2010, U+2029, U+2065, U+206A, U+FEFE",
       "\xe2\x80\x8a\xe2\x80\x90\xe2\x80\xa9\xe2\x81\xa5\xe2\x81\xaa\xef\xbb\xbe",
       "\xe2\x80\x8a\xe2\x80\x90\xe2\x80\xa9\xe2\x81\xa5\xe2\x81\xaa\xef\xbb\xbe"},
      {"trailing C2", "a\xc2", "a\\xc2"},
      {"stray continuation 85",
       "\x85"
       "B",
       "\\x85B"},
      {"C2 before a printable byte",
       "\xc2"
       "A",
       "\\xc2A"},
      {"overlong NUL C0 80", "\xc0\x80", "\\xc0\\x80"},
      {"surrogate ED A0 80", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
      {"past U+10FFFF", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
      {"truncated euro sign", "\xe2\x82", "\\xe2\\x82"},
      {"truncated euro sign before text",
       "\xe2\x82"
       "A",
       "\\xe2\\x82A"},
      {"Latin-1 byte", "caf\xe9", "caf\\xe9"},
      {"backslash itself kept", "a\\x1b", "a\\x1b"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(escapeFieldText(row.text), row.expected);
  }
}

// Each field judged alone must not leave bytes that a neighbouring field completes: C2 at the end
// of a manufacturer and 85 or 9B at the start of a product would join into NEL or CSI.
TEST(EscapeFieldText, JoinedFieldsHoldNoRawControl) {
  const std::pair<std::string, std::string> rows[] = {
      {"A\xc2",
       "\x85"
       "B"},
      {"A\xc2",
       "\x9b"
       "31m"},
      {"\xe2\x82", "\xac"},  // would join into a euro sign: printable, but still not kept
  };
  for (const auto& [first, second] : rows) {
    SCOPED_TRACE(first + "|" + second);
    const std::string joined = escapeFieldText(first) + escapeFieldText(second);
    for (const char c : joined)
      EXPECT_LT(static_cast<unsigned char>(c), 0x80);
  }
}

TEST(EscapeJsonText, EncodesDelC1ControlsAndFormatCharactersOnly) {
  const std::pair<std::string, std::string> rows[] = {
      {"{\"a\": \"x\\u001by\"}", "{\"a\": \"x\\u001by\"}"},
      {"\"\x7f\"", "\"\\u007f\""},
      {"\"\xc2\x80\xc2\x9f\"", "\"\\u0080\\u009f\""},
      {"\"\xc2\xa0\xc3\xa9\xef\xbf\xbd\"", "\"\xc2\xa0\xc3\xa9\xef\xbf\xbd\""},
      {"\"\xe2\x82\x9b\"", "\"\xe2\x82\x9b\""},  // a continuation byte 9B inside U+209B
      {"\"\xe2\x80\x8b\xe2\x80\x8f\xe2\x80\xaa\xe2\x80\xae\xe2\x81\xa0\xe2\x81\xa4"
       "\xe2\x81\xa6\xe2\x81\xa9\xef\xbb\xbf\"",
       "\"\\u200b\\u200f\\u202a\\u202e\\u2060\\u2064\\u2066\\u2069\\ufeff\""},
      {"\"\xe2\x80\x8a\xe2\x81\xa5\xef\xbb\xbe\"", "\"\xe2\x80\x8a\xe2\x81\xa5\xef\xbb\xbe\""},
  };
  for (const auto& [json, expected] : rows) {
    SCOPED_TRACE(json);
    EXPECT_EQ(escapeJsonText(json), expected);
  }
}

TEST(EscapePrometheusLabel, EscapesQuotingAndReplacesControlsAndBrokenBytes) {
  const std::string fffd = "\xef\xbf\xbd";
  struct Row {
    const char* name;
    std::string text;
    std::string expected;
  };
  const Row rows[] = {
      {"plain", "/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"quote and backslash", "a\"b\\c", "a\\\"b\\\\c"},
      {"line feed", "LAB\nFAKE", "LAB\\nFAKE"},
      {"escape sequence", "Pwn\x1b[31m", "Pwn" + fffd + "[31m"},
      {"tab, carriage return and NUL", std::string("\t\r\0", 3), fffd + fffd + fffd},
      {"DEL", "\x7f", fffd},
      {"C1 CSI, one character",
       "\xc2\x9b"
       "2J",
       fffd + "2J"},
      {"no-break space kept", "\xc2\xa0", "\xc2\xa0"},
      {"UTF-8 text kept", "caf\xc3\xa9 \xe6\x97\xa5", "caf\xc3\xa9 \xe6\x97\xa5"},
      {"each broken byte alone", "\xff\xfe", fffd + fffd},
      {"truncated euro sign",
       "\xe2\x82"
       "A",
       fffd + fffd + "A"},
      {"overlong slash", "\xc0\xaf", fffd + fffd},
      {"surrogate", "\xed\xa0\x80", fffd + fffd + fffd},
      {"replacement character itself kept", fffd, fffd},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(escapePrometheusLabel(row.text), row.expected);
  }
}

}  // namespace
}  // namespace ttyenum
