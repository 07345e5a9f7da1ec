#pragma once

// Folders and files: the program's own path, the user's private temporary
// folder, canonical path names and the logged removal of folder trees.

#include <string>

namespace schauplatz {

// The running executable's full path (/proc/self/exe).
std::string ProgramFileName();
// The folder of the running executable, ending in "/".
std::string ProgramFolder();

// The user's private temporary folder in canonical form, ending in "/":
// $TMPDIR (if absolute) or /tmp, followed by "schauplatz-<uid>/", mode 0700.
// A name planted by someone else (other owner, symbolic link, plain file,
// wrong mode) is refused in favour of a fresh mkdtemp folder, which belongs to
// this run and is removed when the program ends. Never fails.
std::string GetTempFolder();

// The canonical absolute form of an existing path; "" for a missing one.
std::string LongPathName(const std::string& Path);

// Removes a folder with its files and sub-folders, logging each step. True
// when the folder is gone or the guard refused the path; false when it stays.
bool DeleteDirectoryRecursive(const std::string& Path);
// 0 when the folder is gone or never existed, -1 when its removal failed.
int DeleteFolderIfExists(const std::string& Path);

// What follows the last "/", "\" or ":" of a recorded path, so paths recorded
// on other systems give their file name here too.
std::string FileNamePart(const std::string& recordedPath);
// Path with a "/" appended unless it already ends in one.
std::string IncludeTrailingPathDelimiter(std::string Path);
// Path without its trailing "/" (a lone "/" stays).
std::string ExcludeTrailingPathDelimiter(std::string Path);

} // namespace schauplatz
