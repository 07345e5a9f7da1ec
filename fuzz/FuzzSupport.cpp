#include "FuzzSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace schauplatz::fuzz {

namespace fs = std::filesystem;

namespace {

struct Scratch {
    std::string path;
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "schauplatz-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) finding("cannot create a scratch folder");
        path = pattern + "/";
    }
    ~Scratch() { removeTree(path); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};

} // namespace

const std::string& scratchFolder() {
    static const Scratch scratch;
    return scratch.path;
}

void writeInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (size > 0)
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) finding("cannot write the input file " + path);
}

std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void requireOnly(const std::string& folder, const std::vector<std::string>& allowed) {
    for (const std::string& name : folderNames(folder)) {
        if (std::find(allowed.begin(), allowed.end(), name) == allowed.end())
            finding("unexpected entry \"" + name + "\" in " + folder);
    }
}

void finding(const std::string& message) {
    std::fprintf(stderr, "FINDING: %s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
}

void removeTree(const std::string& folder) {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

} // namespace schauplatz::fuzz
