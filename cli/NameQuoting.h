#pragma once
// File names as the tool prints them. A name that a terminal or a line-reading script
// would not get back whole (control characters, bytes that are not UTF-8) is written
// in the quoting `ls` uses by default on a terminal, which a shell reads back into the
// exact bytes: 'a'$'\n''b'. Every other name is printed as it is.

#include <string>
#include <string_view>

namespace tolvane::cli {

// The name in `ls`'s shell-escape quoting (UTF-8 text assumed): unchanged when no
// character needs quoting, else in single quotes with $'...' escapes for characters
// that cannot be shown ("\n", "\t", octal "\033"), or in double quotes when the only
// trouble is a single quote.
std::string ShellEscapeQuoted(std::string_view name);

// True when the name holds something that cannot be printed as it is: a control
// character (C0, DEL or C1) or a byte that is not part of valid UTF-8.
bool NeedsEscapingForOutput(std::string_view name);

// The form the tool prints: ShellEscapeQuoted when NeedsEscapingForOutput, else the
// plain name, so ordinary paths (spaces and quotes included) stay exactly as given.
std::string NameForOutput(std::string_view name);

// The text as a JSON string, quotes included: '"' and '\\' escaped, control characters
// as \n, \t ... or \u00XX, other characters as they are. A byte that is not part of
// valid UTF-8 becomes U+FFFD, so the result is always valid JSON.
std::string JsonString(std::string_view text);

}  // namespace tolvane::cli
