#pragma once
// The text of a cue sheet as UTF-8, whichever way its ripper wrote it: UTF-8 with or
// without a byte order mark, UTF-16 with one (as some Windows tools save), or a legacy
// 8-bit code page. Text that is not valid UTF-8 is read as Windows-1252, the code page
// most such sheets were written in.

#include <string>
#include <string_view>

namespace tolvane::split {

// Windows-1252 bytes as UTF-8. The five bytes the code page leaves undefined keep their
// own value as a code point, as Windows converts them.
std::string Cp1252ToUtf8(std::string_view bytes);

// The sheet's bytes as UTF-8 text, without a byte order mark.
std::string SheetTextToUtf8(std::string_view bytes);

}  // namespace tolvane::split
