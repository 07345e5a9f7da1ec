// The BMP writer with the file system failing at every step in turn (every open, write,
// sync, close, rename and folder sync it makes): the old file stays byte-identical or the new
// one is complete, no temporary file is left, the error names the file and the reason, and
// the next write succeeds.

#include "picture_fixtures.h"

#include "elements/PictureFiles.h"
#include "support/FileSystem.h"
#include "testsupport/FaultInjectingFileSystem.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

namespace schauplatz::picture_test {
namespace {

using Operation = FaultInjectingFileSystem::Operation;

// A picture with distinct pixels, large enough that the writer needs several writes.
TBitmap32 stripes(std::int32_t width, std::int32_t height) {
    TBitmap32 picture;
    picture.SetSize(width, height);
    TColor32* pixels = picture.Bits();
    const auto count = static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height);
    for (std::uint32_t i = 0; i < count; ++i)
        pixels[i] = 0x01000000u * (i % 251u) + i * 7919u;
    return picture;
}

TEST(BitmapWriteFault, EveryStepFailingLeavesTheOldFileOrTheNewOne) {
    ScratchFolder folder;
    const TBitmap32 picture = stripes(700, 500);
    const std::string path = folder.path("Hintergrund.bmp");
    const std::string reference = folder.path("reference.bmp");
    std::map<Operation, int> steps;
    {
        FaultInjectingFileSystem counting(realFileSystem());
        ScopedFileSystemOverride use(counting);
        WriteBitmapFile(picture, reference);
        for (Operation operation : {Operation::Open, Operation::Write, Operation::Sync,
                                    Operation::Close, Operation::Rename, Operation::SyncDirectory})
            steps[operation] = counting.count(operation);
    }
    const Bytes complete = readBytes(reference);
    std::filesystem::remove(reference);
    ASSERT_EQ(complete.size(), 54u + 700u * 500u * 4u);
    ASSERT_GE(steps[Operation::Write], 1);
    ASSERT_EQ(steps[Operation::Rename], 1);

    const Bytes old(1000, 0x5C);
    for (const auto& [operation, count] : steps) {
        for (int nth = 1; nth <= count; ++nth) {
            for (const bool shortWrite : {false, true}) {
                if (shortWrite && operation != Operation::Write) continue;
                SCOPED_TRACE("operation " + std::to_string(static_cast<int>(operation)) + " #" +
                             std::to_string(nth) + (shortWrite ? " short" : ""));
                folder.write("Hintergrund.bmp", old);
                const int errorNumber = operation == Operation::Open ? EACCES : ENOSPC;
                bool failed = false;
                {
                    FaultInjectingFileSystem faulty(realFileSystem());
                    faulty.failOn(operation, nth, errorNumber, shortWrite);
                    ScopedFileSystemOverride use(faulty);
                    try {
                        WriteBitmapFile(picture, path);
                    } catch (const EPictureFileError& error) {
                        failed = true;
                        const std::string text = error.what();
                        EXPECT_NE(text.find(path), std::string::npos) << text;
                        EXPECT_NE(text.find(std::strerror(errorNumber)), std::string::npos) << text;
                    }
                }
                const Bytes now = readBytes(path);
                if (failed)
                    EXPECT_EQ(now, old) << "a failed write touched the old file";
                else
                    EXPECT_EQ(now, complete) << "a write reported as done is incomplete";
                EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path("")),
                                        std::filesystem::directory_iterator()),
                          1)
                    << "a temporary file was left behind";
                // The program goes on: the next write succeeds.
                EXPECT_NO_THROW(WriteBitmapFile(picture, path));
                EXPECT_EQ(readBytes(path), complete);
            }
        }
    }
}

} // namespace
} // namespace schauplatz::picture_test
