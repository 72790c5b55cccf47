#include "engine/cut/MislabelledCut.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "engine/naming/OutputNaming.h"

namespace tolvane {

std::string Mp3NameOf(std::string_view outputPath) {
    std::string_view name = InputFileName(outputPath);
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    std::size_t dotInPath = outputPath.size() - name.size() + dot;
    return std::string(outputPath.substr(0, dotInPath)) + ".mp3";
}

bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    // File systems without RENAME_NOREPLACE: link() also refuses an existing target.
    if (link(from.c_str(), to.c_str()) != 0)
        return false;
    if (unlink(from.c_str()) != 0) {
        // Two names for one file is better than none; keep the original name only.
        unlink(to.c_str());
        return false;
    }
    return true;
}

std::string FinishMislabelledCut(std::string_view inputPath, const std::string& outputPath,
                                 const MislabelFlags& probeFlags) {
    if (MislabelledTrueExtension(inputPath, probeFlags).empty())
        return outputPath;
    std::string mp3Name = Mp3NameOf(outputPath);
    if (mp3Name.empty() || mp3Name == outputPath)
        return outputPath;
    return MoveWithoutReplacing(outputPath, mp3Name) ? mp3Name : outputPath;
}

}  // namespace tolvane
