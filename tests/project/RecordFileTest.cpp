#include "project/RecordFile.h"
#include "ProjectTestSupport.h"

#include <gtest/gtest.h>

namespace schauplatz {
namespace {

using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

// --- Element record lines ---------------------------------------------------------------------

TEST(SplitElementRecord, TheDocumentedExample) {
    const TElementRecord record =
        SplitElementRecord("C:\\Muster\\Tür 3.png;10;20;110;20;110;220;10;220;");
    EXPECT_EQ(record.Path, "C:\\Muster\\Tür 3.png");
    EXPECT_EQ(record,
              (TElementRecord{"C:\\Muster\\Tür 3.png", 10, 20, 110, 20, 110, 220, 10, 220}));
}

TEST(SplitElementRecord, BlanksNegativesAndExtremes) {
    EXPECT_EQ(SplitElementRecord(" /a b/ c .png ;-5;-2147483648;2147483647;0;+7; 8;9;10;"),
              (TElementRecord{" /a b/ c .png ", -5, -2147483648, 2147483647, 0, 7, 8, 9, 10}));
    // Without the closing ";" and with fields beyond the ninth.
    EXPECT_EQ(SplitElementRecord("x;1;2;3;4;5;6;7;8"),
              (TElementRecord{"x", 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(SplitElementRecord("x;1;2;3;4;5;6;7;8;extra;more"),
              (TElementRecord{"x", 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(SplitElementRecord(";1;2;3;4;5;6;7;8;").Path, "");
}

TEST(SplitElementRecord, BadLinesRaiseClearErrors) {
    const auto messageOf = [](const std::string& line) -> std::string {
        try {
            SplitElementRecord(line);
        } catch (const ERecordFileError& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_NE(messageOf("a.png;1;2;3;4;5;6;7").find("has 8 fields"), std::string::npos);
    EXPECT_NE(messageOf("").find("has 1 fields"), std::string::npos);
    const std::string notNumber = messageOf("a.png;1;2;3;x4;5;6;7;8;");
    EXPECT_NE(notNumber.find("field 4 \"x4\" is not a valid integer"), std::string::npos)
        << notNumber;
    EXPECT_NE(messageOf("a.png;1;2;3;4;5;6;7;;").find("field 8"), std::string::npos);
    EXPECT_NE(messageOf("a.png;1;2;3;4;5;6;7;8 ;").find("field 8"), std::string::npos);
    EXPECT_NE(messageOf("a.png;1;2;3;4;5;6;7;2147483648;").find("field 8"), std::string::npos);
    EXPECT_NE(messageOf("a.png;1;2;3;4;5;6;-;8;").find("field 7"), std::string::npos);
    EXPECT_NE(messageOf("a;b.png;1;2;3;4;5;6;7;8;").find("field 1 \"b.png\""), std::string::npos)
        << "a path with \";\" splits wrongly and is refused";
}

TEST(FormatElementRecord, RoundTripsThroughSplit) {
    const TElementRecord record{"/home/ä ö/Tür 3.png", -10, 20, 110, -20, 0, 220, 10, -2147483647};
    const std::string line = FormatElementRecord(record);
    EXPECT_EQ(line, "/home/ä ö/Tür 3.png;-10;20;110;-20;0;220;10;-2147483647;");
    EXPECT_EQ(SplitElementRecord(line), record);
}

// --- data.dat ---------------------------------------------------------------------------------

TEST(RecordFile, WritesWindows1252WithCrLfAfterEveryLine) {
    const std::vector<std::string> lines = {"C:\\Bilder\\Haus.jpg",
                                            "C:\\Muster\\Tür 3.png;10;20;110;20;110;220;10;220;",
                                            "/tmp/Fenster €.png;-1;-2;3;4;5;6;7;8;"};
    EXPECT_EQ(encodeRecordFile(lines),
              std::string("C:\\Bilder\\Haus.jpg\r\n"
                          "C:\\Muster\\T\xFCr 3.png;10;20;110;20;110;220;10;220;\r\n"
                          "/tmp/Fenster \x80.png;-1;-2;3;4;5;6;7;8;\r\n"));
    EXPECT_EQ(encodeRecordFile({}), "");
    EXPECT_EQ(encodeRecordFile({""}), "\r\n");
}

TEST(RecordFile, ALineWindows1252CannotHoldMakesTheWholeFileUtf8WithBom) {
    const std::vector<std::string> lines = {"/b/Haus ä.jpg", "/m/Łódź.png;1;2;3;4;5;6;7;8;"};
    EXPECT_EQ(encodeRecordFile(lines),
              "\xEF\xBB\xBF/b/Haus ä.jpg\r\n/m/Łódź.png;1;2;3;4;5;6;7;8;\r\n");
    EXPECT_EQ(decodeRecordFile(encodeRecordFile(lines)), lines);
}

TEST(RecordFile, RefusesLinesWithLineBreaks) {
    EXPECT_THROW(encodeRecordFile({"a\nb.png"}), ERecordFileError);
    EXPECT_THROW(encodeRecordFile({"ok", "a\rb.png;1;2;3;4;5;6;7;8;"}), ERecordFileError);
}

TEST(RecordFile, ReadsEveryLineEndAndByteOrderMark) {
    const std::vector<std::string> expected = {"C:\\Bilder\\Häus.jpg", "", "x;1;2;3;4;5;6;7;8;"};
    EXPECT_EQ(decodeRecordFile("C:\\Bilder\\H\xE4us.jpg\r\n\r\nx;1;2;3;4;5;6;7;8;\r\n"), expected);
    EXPECT_EQ(decodeRecordFile("C:\\Bilder\\H\xE4us.jpg\n\nx;1;2;3;4;5;6;7;8;"), expected);
    EXPECT_EQ(decodeRecordFile("C:\\Bilder\\H\xE4us.jpg\r\rx;1;2;3;4;5;6;7;8;\r"), expected);
    EXPECT_EQ(decodeRecordFile("C:\\Bilder\\H\xE4us.jpg\r\n\nx;1;2;3;4;5;6;7;8;\n"), expected);
    EXPECT_EQ(decodeRecordFile("\xEF\xBB\xBF"
                               "C:\\Bilder\\Häus.jpg\n\nx;1;2;3;4;5;6;7;8;"),
              expected);
    const std::string le("\xFF\xFE"
                         "a\0\xE4\0\r\0\n\0b\0",
                         12);
    EXPECT_EQ(decodeRecordFile(le), (std::vector<std::string>{"aä", "b"}));
    const std::string be("\xFE\xFF\0a\0\xE4\0\n\0b", 10);
    EXPECT_EQ(decodeRecordFile(be), (std::vector<std::string>{"aä", "b"}));
    EXPECT_TRUE(decodeRecordFile("").empty());
    EXPECT_TRUE(decodeRecordFile("\xEF\xBB\xBF").empty());
}

TEST(RecordFile, FileRoundTripAndMissingFile) {
    TempFolder folder;
    const std::vector<std::string> lines = {"/x/Fassade.jpg", "/x/Tür.png;1;2;3;4;5;6;7;8;"};
    writeRecordFile(folder / "data.dat", lines);
    EXPECT_EQ(readBytes(folder / "data.dat"),
              "/x/Fassade.jpg\r\n/x/T\xFCr.png;1;2;3;4;5;6;7;8;\r\n");
    EXPECT_EQ(readRecordFile(folder / "data.dat"), lines);
    writeBytes(folder / "data.dat", "short");
    writeRecordFile(folder / "data.dat", {"a"});
    EXPECT_EQ(readBytes(folder / "data.dat"), "a\r\n") << "an older file is replaced";
    try {
        readRecordFile(folder / "missing/data.dat");
        ADD_FAILURE() << "no error";
    } catch (const ERecordFileError& e) {
        EXPECT_NE(std::string(e.what()).find(folder / "missing/data.dat"), std::string::npos);
    }
}

} // namespace
} // namespace schauplatz
