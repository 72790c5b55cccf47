#pragma once
// Conversions between UTF-8 and UTF-16, as the profile files, the time-code edits and
// the cue sheets need them. Invalid input never fails: bad sequences become U+FFFD.

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvane {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

// True when the bytes are well-formed UTF-8 (no surrogates, no overlong forms).
bool IsValidUtf8(std::string_view bytes);

// The first `maxCharacters` code points of a UTF-8 text; never cuts inside a character.
std::string_view Utf8Prefix(std::string_view utf8, std::size_t maxCharacters);

}  // namespace tolvane
