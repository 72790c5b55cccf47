// The INI profile reader on any bytes: lookups, an edit, and the round trip of the
// edited document through its own serialisation.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "IniProfile.h"

namespace {

// Splits the first bytes off as a section, a key and a value to write.
struct Edit {
    std::string section, key, value;
};

Edit TakeEdit(std::string_view& bytes) {
    Edit edit;
    std::string* fields[] = {&edit.section, &edit.key, &edit.value};
    for (std::string* field : fields) {
        const std::size_t end = bytes.find('\x01');
        if (end == std::string_view::npos)
            break;
        *field = std::string(bytes.substr(0, end));
        bytes.remove_prefix(end + 1);
    }
    return edit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Edit edit = TakeEdit(bytes);

    tolvane::IniDocument document = tolvane::IniDocument::Parse(bytes);
    for (std::string_view section : {"LANGUAGE", "DIR", "PATH", "language"}) {
        document.HasSection(section);
        for (std::string_view key : {"file", "name1", "open", "name", "NAME"}) {
            const std::string value = document.Get(section, key, "default");
            if (value.size() > 4 * tolvane::kProfileValueMaxCharacters)
                std::abort();
        }
    }
    if (!edit.section.empty())
        document.Get(edit.section, edit.key);

    // Whatever the file held, a successful edit reads back, as does every other value.
    if (document.Set(edit.section, edit.key, edit.value)) {
        const std::string expected(document.Get(edit.section, edit.key));
        const tolvane::IniDocument reread = tolvane::IniDocument::Parse(document.Serialize());
        if (reread.Get(edit.section, edit.key) != expected)
            std::abort();
    }
    return 0;
}
