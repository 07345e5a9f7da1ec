// Record-file inputs the fuzzer found, kept as tests.

#include "project/RecordFile.h"

#include <gtest/gtest.h>

#include <string_view>

namespace schauplatz {
namespace {

using namespace std::string_view_literals;

// A facade path whose windows-1252 bytes begin like a byte-order mark would come back in
// another encoding; such files are written as UTF-8 with its mark instead.
TEST(RecordFileFuzzRegression, FirstLinesThatLookLikeAByteOrderMarkSurviveTheFile) {
    for (const std::string first : {"ÿþ", "þÿC:\\Haus.jpg", "ï»¿Haus.jpg"}) {
        const std::vector<std::string> lines{first, "Tür.png;1;2;3;4;5;6;7;8;"};
        const std::string bytes = encodeRecordFile(lines);
        EXPECT_TRUE(bytes.starts_with("\xEF\xBB\xBF")) << first;
        EXPECT_EQ(decodeRecordFile(bytes), lines) << first;
    }
    // The fuzzer's own input: a UTF-16 big-endian file holding "ÿþ".
    const std::vector<std::string> decoded = decodeRecordFile("\xFE\xFF\x00\xFF\x00\xFE"sv);
    EXPECT_EQ(decodeRecordFile(encodeRecordFile(decoded)), decoded);
    // An ordinary path stays windows-1252.
    EXPECT_EQ(encodeRecordFile({"C:\\Bilder\\Haus.jpg"}), "C:\\Bilder\\Haus.jpg\r\n");
}

} // namespace
} // namespace schauplatz
