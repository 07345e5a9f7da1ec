#pragma once

// Names for a new file in a folder that holds files of the same name already: the name
// itself, then "stem (2).ext", "stem (3).ext", ... The names end up in record lines and on
// disk, so every place that makes such a name asks here.

#include <limits>
#include <string>

namespace schauplatz {

// A file name split before its extension: "Tür.png" gives "Tür" and ".png". A name without a
// dot, or whose only dot leads it (".profile"), is all stem.
struct FileNameParts {
    std::string stem;
    std::string extension; // with its dot, or empty
};
FileNameParts SplitFileName(const std::string& name);

// The name of try `number` (counted from 1): stem + extension for the first, otherwise
// stem + " (number)" + extension.
std::string NumberedFileName(const std::string& stem, const std::string& extension, int number);

// How a free name is taken.
enum class FreeNameClaim {
    // The first name under which nothing exists, not even a dangling link. Nothing is
    // created, so the caller writes the file itself.
    Probe,
    // The first name whose file could be created empty and exclusively: neither an existing
    // file nor one made meanwhile is ever replaced. Another failure than an existing name
    // throws FileSystemError.
    CreateExclusive,
};

// folder (ending in "/" or empty) + the first free NumberedFileName; empty when maxTries names
// were all taken.
std::string FreeFilePath(const std::string& folder, const std::string& stem,
                         const std::string& extension, FreeNameClaim claim,
                         int maxTries = std::numeric_limits<int>::max());

} // namespace schauplatz
