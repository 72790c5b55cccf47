#include "engine/split/PartNaming.h"

#include <algorithm>

namespace tolvane::split {

namespace {

bool Unfit(unsigned char c) {
    return c < 0x20 || c == 0x7F ||
           std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
}

// Without spaces at its start, and spaces and dots at its end.
std::string_view TrimEnds(std::string_view text) {
    const auto loose = [](char c) { return c == ' ' || c == '.'; };
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && loose(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string Numbered(std::size_t number, int width) {
    std::string digits = std::to_string(number);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return digits;
}

int DigitsOf(std::size_t count) {
    int digits = 1;
    for (; count >= 10; count /= 10)
        ++digits;
    return std::max(digits, 2);
}

}  // namespace

std::string FileNameSafe(std::string_view text) {
    std::string safe(TrimEnds(text));
    for (char& c : safe)
        if (Unfit(static_cast<unsigned char>(c)))
            c = '_';
    return safe;
}

std::string FitFileName(std::string_view stem, std::string_view tail, std::size_t limit) {
    if (stem.size() + tail.size() > limit) {
        std::size_t keep = limit > tail.size() ? limit - tail.size() : 0;
        // Back up to the first byte of a character: UTF-8 continuation bytes are 10xxxxxx.
        while (keep > 0 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80)
            --keep;
        stem = TrimEnds(stem.substr(0, keep));
    }
    return std::string(stem) + std::string(tail);
}

void NameParts(std::vector<SplitPart>& parts, PartNameStyle style, std::string_view sourceBase,
               std::string_view extension) {
    const int width = DigitsOf(parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string number = Numbered(i + 1, width);
        if (style == PartNameStyle::Numbered) {
            parts[i].name = FitFileName(sourceBase, " (" + number + ")" + std::string(extension));
        } else {
            const std::string title = parts[i].tags ? FileNameSafe(parts[i].tags->title) : "";
            parts[i].name = FitFileName(
                number + " - " + (title.empty() ? std::string(sourceBase) : title), extension);
        }
    }
}

std::optional<std::string> FreePartPath(std::string_view folder, std::string_view partName,
                                        OutputNamingError* why) {
    const std::string name = FileNameSafe(partName);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        if (why != nullptr)
            *why = OutputNamingError::NoExtension;
        return std::nullopt;
    }
    return FreeOutputPath(folder, name.substr(0, dot), name.substr(dot), why);
}

}  // namespace tolvane::split
