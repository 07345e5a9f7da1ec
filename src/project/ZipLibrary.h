#pragma once

// Ownership wrappers and error texts for libzip handles (inside the zip component only).

#include <zip.h>

#include <memory>
#include <string>

namespace schauplatz::zipwork {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
struct SourceFreer {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};

using ArchivePtr = std::unique_ptr<zip_t, ArchiveCloser>;
using EntryPtr = std::unique_ptr<zip_file_t, EntryCloser>;
using SourcePtr = std::unique_ptr<zip_source_t, SourceFreer>;

inline std::string errorText(zip_error_t* error) {
    const char* text = zip_error_strerror(error);
    return text != nullptr ? text : "unknown error";
}

inline std::string errorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = errorText(&error);
    zip_error_fini(&error);
    return text;
}

} // namespace schauplatz::zipwork

#include "project/TZipArchive.h"

#include <vector>

namespace schauplatz::zipwork {

// The directory of an open archive with decoded names.
std::vector<TZipEntryInfo> listEntries(zip_t* archive);

} // namespace schauplatz::zipwork
