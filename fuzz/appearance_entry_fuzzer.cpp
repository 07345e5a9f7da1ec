// The archive entry schauplatz.json. Every byte sequence is either refused as a whole or
// gives settings within their ranges; those settings are written and read back unchanged.

#include "FuzzSupport.h"

#include "project/AppearanceEntry.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace schauplatz;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto read = ReadAppearanceEntry(text);
    if (!read) return 0;
    for (const TAppearance& a : *read)
        if (!(ClampAppearance(a) == a)) fuzz::finding("a read setting lies outside its range");
    const auto again = ReadAppearanceEntry(WriteAppearanceEntry(*read));
    if (!again || *again != *read) fuzz::finding("settings changed through write and read");
    return 0;
}
