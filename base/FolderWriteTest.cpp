#include "FolderWriteTest.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string_view>

#include "UniqueFd.h"

namespace tolvane {

namespace {

bool EndsWithTemplate(const std::string& name) {
    constexpr std::string_view kTemplate = "XXXXXX";
    return name.size() >= kTemplate.size() &&
           std::string_view(name).substr(name.size() - kTemplate.size()) == kTemplate;
}

}  // namespace

int FolderWriteError(const std::string& folder, const std::string& probeName) {
    std::string path = (std::filesystem::path(folder) / probeName).string();
    UniqueFd probe(EndsWithTemplate(probeName)
                       ? ::mkostemp(path.data(), O_CLOEXEC)
                       : ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!probe.valid())
        return errno;
    probe.Reset();
    ::unlink(path.c_str());
    return 0;
}

}  // namespace tolvane
