#include "Id3Tag.h"

namespace tolvane::testing {

std::string Id3Header(std::uint32_t claimedSize) {
    std::string out = "ID3";
    out += '\x03';
    out += '\x00';
    out += '\x00';
    // Sync-safe: seven bits per byte.
    for (int shift = 21; shift >= 0; shift -= 7)
        out += static_cast<char>((claimedSize >> shift) & 0x7F);
    return out;
}

std::size_t Id3TagSize(const std::string& bytes) {
    if (bytes.size() < 10 || bytes.compare(0, 3, "ID3") != 0)
        return 0;
    std::size_t size = 0;
    for (int i = 6; i < 10; ++i)
        size = (size << 7) | (static_cast<unsigned char>(bytes[i]) & 0x7F);
    return size + 10;
}

}  // namespace tolvane::testing
