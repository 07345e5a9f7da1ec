#pragma once

// Entry names of project archives. New archives carry UTF-8 names flagged as such; archives
// made elsewhere may carry unflagged names in an OEM code page (437 or 850) or in
// windows-1252, and hostile ones names with folder parts. These helpers turn an entry name into
// the bare file name it is extracted under, and a name recorded in data.dat into the spellings
// under which that picture may have been extracted.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace schauplatz {

// The text of an entry name given as its raw bytes: names that are valid UTF-8 (flagged or
// not: tools on other systems write UTF-8 without the flag) as they are; other names from
// code page 850 when they use bytes 0x80..0x9F (where the OEM pages keep their umlauts and
// windows-1252 only punctuation), else from windows-1252.
std::string decodeEntryName(std::string_view raw);

// The bare file name an entry is extracted under: what follows its last "/", "\" or ":".
// nullopt for names that are empty, "." or ".." once bare, or hold a control character.
std::optional<std::string> bareEntryName(std::string_view decodedName);

// The spellings under which a picture recorded as fileName may lie in an extracted folder:
// fileName itself first, then fileName re-read through each code-page confusion that
// decodeEntryName can make (for example "Tür.png" written in windows-1252 and read as
// code page 850). No duplicates.
std::vector<std::string> entryNameCandidates(const std::string& fileName);

// True for files the archive stores without compression (already compressed formats).
bool isStoredExtension(std::string_view fileName);

} // namespace schauplatz
