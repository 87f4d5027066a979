#pragma once

#include <string>

namespace ttyenum {

// Decodes an argument's bytes as UTF-8. Each byte that is not part of a well-formed UTF-8
// sequence becomes the code point U+DC80 + byte, so encodeArgumentText gives back the very same
// bytes, whatever the locale environment says about the argument's character set.
std::wstring decodeArgumentText(const std::string& bytes);

// The inverse of decodeArgumentText: U+DC80..U+DCFF become the byte they stand for, every other
// code point its UTF-8 bytes.
std::string encodeArgumentText(const std::wstring& text);

}  // namespace ttyenum
