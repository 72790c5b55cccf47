#include "NameQuoting.h"

#include <cstddef>
#include <cstdint>

namespace tolvane::cli {

namespace {

// Length of the valid UTF-8 sequence at `at` (0 when the byte there starts none) and
// the code point it encodes.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at, char32_t& codePoint) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, smallest = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    codePoint = value;
    return length;
}

bool IsControl(char32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

// Characters a shell would read as more than themselves: ls puts the whole name in
// quotes for any of them.
bool IsShellSpecial(char c, std::size_t index, std::size_t nameSize) {
    switch (c) {
        case '{':
        case '}':
            return nameSize == 1;
        case '#':
        case '~':
            return index == 0;
        case ' ':
        case '!':
        case '"':
        case '$':
        case '&':
        case '(':
        case ')':
        case '*':
        case ';':
        case '<':
        case '=':
        case '>':
        case '[':
        case '^':
        case '`':
        case '|':
        case '\\':
        case '\'':
        case '?':
            return true;
        default:
            return false;
    }
}

// Characters that read the same inside single and double quotes: a name made only of
// these and single quotes is shown in double quotes, as ls does.
bool FitsDoubleQuotes(char c, std::size_t index, std::size_t nameSize) {
    if (c == '{' || c == '}')
        return nameSize == 1;
    if (c == '#' || c == '~')
        return index == 0;
    return !(c == '!' || c == '"' || c == '$' || c == '&' || c == '(' || c == ')' || c == '*' ||
             c == ';' || c == '<' || c == '=' || c == '>' || c == '[' || c == '^' || c == '`' ||
             c == '|' || c == '\\' || c == '?');
}

// The letter of a C escape for the control characters that have one, else 0.
char EscapeLetter(char c) {
    switch (c) {
        case '\a':
            return 'a';
        case '\b':
            return 'b';
        case '\f':
            return 'f';
        case '\n':
            return 'n';
        case '\r':
            return 'r';
        case '\t':
            return 't';
        case '\v':
            return 'v';
        default:
            return 0;
    }
}

// Builds the single-quoted form: shown text inside '...', every run of characters
// that cannot be shown inside one $'...' placed between the quoted parts.
class SingleQuotedName {
  public:
    SingleQuotedName() : text_("'") {}

    void Shown(std::string_view bytes) {
        CloseEscapes();
        text_ += bytes;
    }
    void SingleQuote() {
        // Ends whichever quoting is open, adds an escaped quote, opens '...' again.
        text_ += "'\\''";
        escaping_ = false;
    }
    void Escaped(unsigned char byte) {
        OpenEscapes();
        if (const char letter = EscapeLetter(static_cast<char>(byte)); letter != 0) {
            text_ += '\\';
            text_ += letter;
            return;
        }
        text_ += '\\';
        text_ += static_cast<char>('0' + (byte >> 6));
        text_ += static_cast<char>('0' + ((byte >> 3) & 7));
        text_ += static_cast<char>('0' + (byte & 7));
    }
    // The closing quote ends an open $'...' as well as a '...'.
    std::string Finish() && { return std::move(text_) + "'"; }

  private:
    void OpenEscapes() {
        if (!escaping_) {
            text_ += "'$'";
            escaping_ = true;
        }
    }
    void CloseEscapes() {
        if (escaping_) {
            text_ += "''";
            escaping_ = false;
        }
    }

    std::string text_;
    bool escaping_ = false;
};

}  // namespace

bool NeedsEscapingForOutput(std::string_view name) {
    for (std::size_t at = 0; at < name.size();) {
        char32_t codePoint = 0;
        const std::size_t length = Utf8SequenceAt(name, at, codePoint);
        if (length == 0 || IsControl(codePoint))
            return true;
        at += length;
    }
    return false;
}

std::string ShellEscapeQuoted(std::string_view name) {
    bool needsQuotes = name.empty();
    for (std::size_t at = 0; at < name.size() && !needsQuotes;) {
        char32_t codePoint = 0;
        const std::size_t length = Utf8SequenceAt(name, at, codePoint);
        needsQuotes = length == 0 || IsControl(codePoint) ||
                      (length == 1 && IsShellSpecial(name[at], at, name.size()));
        at += length == 0 ? 1 : length;
    }
    if (!needsQuotes)
        return std::string(name);

    SingleQuotedName quoted;
    bool singleQuote = false;
    bool allFitDoubleQuotes = true;
    for (std::size_t at = 0; at < name.size();) {
        char32_t codePoint = 0;
        const std::size_t length = Utf8SequenceAt(name, at, codePoint);
        if (length == 0 || IsControl(codePoint)) {
            // Each byte of a character that cannot be shown is escaped on its own.
            const std::size_t bytes = length == 0 ? 1 : length;
            for (std::size_t i = 0; i < bytes; ++i)
                quoted.Escaped(static_cast<unsigned char>(name[at + i]));
            allFitDoubleQuotes = false;
            at += bytes;
            continue;
        }
        if (name[at] == '\'') {
            quoted.SingleQuote();
            singleQuote = true;
        } else {
            quoted.Shown(name.substr(at, length));
            allFitDoubleQuotes =
                allFitDoubleQuotes && (length > 1 || FitsDoubleQuotes(name[at], at, name.size()));
        }
        at += length;
    }
    if (singleQuote && allFitDoubleQuotes)
        return "\"" + std::string(name) + "\"";
    return std::move(quoted).Finish();
}

std::string NameForOutput(std::string_view name) {
    return NeedsEscapingForOutput(name) ? ShellEscapeQuoted(name) : std::string(name);
}

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    for (std::size_t at = 0; at < text.size();) {
        char32_t codePoint = 0;
        const std::size_t length = Utf8SequenceAt(text, at, codePoint);
        if (length == 0) {
            json += "\xEF\xBF\xBD";
            ++at;
            continue;
        }
        switch (codePoint) {
            case '"':
                json += "\\\"";
                break;
            case '\\':
                json += "\\\\";
                break;
            case '\n':
                json += "\\n";
                break;
            case '\r':
                json += "\\r";
                break;
            case '\t':
                json += "\\t";
                break;
            case '\b':
                json += "\\b";
                break;
            case '\f':
                json += "\\f";
                break;
            default:
                if (codePoint < 0x20) {
                    static constexpr char kHex[] = "0123456789abcdef";
                    json += "\\u00";
                    json += kHex[codePoint >> 4];
                    json += kHex[codePoint & 0xF];
                } else {
                    json.append(text.substr(at, length));
                }
                break;
        }
        at += length;
    }
    json += '"';
    return json;
}

}  // namespace tolvane::cli
