#include "PacketList.h"

namespace tolvane::testing {

ff::InputFormatPtr OpenProbed(const fs::path& file) {
    ff::InputFormatPtr input;
    if (ff::OpenInput(file.c_str(), input) < 0 ||
        avformat_find_stream_info(input.get(), nullptr) < 0)
        input.reset();
    return input;
}

}  // namespace tolvane::testing
