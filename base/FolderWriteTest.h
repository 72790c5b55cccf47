#pragma once
// Whether a folder takes a new file: a probe file is made there exclusively and removed
// again. Only a file the test made itself is ever removed.

#include <string>

namespace tolvane {

// Makes `probeName` in `folder` and removes it; 0 when that worked, else the errno of
// the failed creation. A name ending in XXXXXX gets a unique ending (mkstemp), so no
// existing file can be in the way; any other name fails with EEXIST when taken.
int FolderWriteError(const std::string& folder, const std::string& probeName);

}  // namespace tolvane
