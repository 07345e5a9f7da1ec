// Metafiles whose drawing work would take minutes: huge RLE bitmap blits, thousands of
// ellipses over the whole picture, long text at 4000 pixels, a wide-pen polyline, and more
// records than the limit. The player stops within its budget and keeps what it drew before;
// an ordinary busy file plays to its end.

#include "HostileFiles.h"
#include "elements/metafile/MetafileCanvas.h"
#include "metafile_writer.h"

#include <gtest/gtest.h>

namespace schauplatz {
namespace {

using namespace testing_metafile;

constexpr TColor32 kWhite = 0xFFFFFFFFu;
constexpr TColor32 kBlue = 0xFF0000FFu;
constexpr TColor32 kGreen = 0xFF00FF00u;
const hostile::EmfSize kSize{1024, 512};

struct Played {
    DecodedPicture picture;
    MetafilePlay play;
};

Played playOn(const Bytes& file, MetafileKind kind = MetafileKind::Enhanced) {
    Played played;
    EXPECT_TRUE(playMetafile(file, kind, kWhite, played.picture, &played.play));
    return played;
}

TEST(MetafileBudget, HostileDrawingStopsAndKeepsWhatWasDrawnBefore) {
    struct Case {
        const char* name;
        Bytes file;
    };
    for (const Case& c : {Case{"RLE blits", hostile::emfHugeRleBlits(200, kSize)},
                          Case{"ellipses", hostile::emfHugeEllipses(5000, kSize)},
                          Case{"text", hostile::emfLongText(3, 16000, 4000, kSize)},
                          Case{"wide polyline", hostile::emfWidePolyline(15000, 4000, kSize)}}) {
        SCOPED_TRACE(c.name);
        const Played played = playOn(c.file);
        ASSERT_EQ(played.picture.width, 1024);
        EXPECT_TRUE(played.play.Stopped);
        EXPECT_EQ(played.picture.at(3, 3), kBlue) << "drawn before the budget ran out";
        EXPECT_EQ(played.picture.at(20, 3), kWhite) << "the last record was not reached";
    }
}

TEST(MetafileBudget, AnOrdinaryBusyFilePlaysToItsEnd) {
    EmfWriter emf(1024, 512);
    emf.brush(1, 0, 0x336699).select(1);
    for (int i = 0; i < 20; ++i) // twenty full-picture rectangles
        emf.rectangle(0, 0, 1025, 513);
    emf.pen(2, 0, 3, 0x000000).select(2);
    for (int i = 0; i < 300; ++i) // and 300 ellipses drawn with a wide pen
        emf.record(42, {i, i % 400, i + 300, i % 400 + 100});
    emf.brush(3, 0, 0x00FF00).select(3).select(0x80000008).rectangle(16, 0, 25, 9);
    const Played played = playOn(emf.finish());
    EXPECT_FALSE(played.play.Stopped);
    EXPECT_EQ(played.play.Records, 329u) << "every record, the end-of-file record included";
    EXPECT_EQ(played.picture.at(20, 3), kGreen);
}

TEST(MetafileBudget, WindowsMetafilesStopToo) {
    // Huge ellipses (words bottom, right, top, left), with and without a placeable header.
    WmfWriter wmf;
    wmf.record(0x02FC, {0, 0x6699, 0x0033, 0}).record(0x012D, {0}); // solid brush, selected
    for (int i = 0; i < 4000; ++i)
        wmf.record(0x0418, {700, 1200, -200, -200});
    wmf.record(0x041B, {9, 9, 0, 0}); // a last rectangle
    for (const bool placeable : {true, false}) {
        SCOPED_TRACE(placeable ? "placeable" : "measured");
        const Played played =
            playOn(wmf.finish(placeable, 0, 0, 1024, 512, 96), MetafileKind::Windows);
        EXPECT_TRUE(played.play.Stopped);
        EXPECT_LT(played.play.Records, 4000u);
    }
}

TEST(MetafileBudget, NoMoreRecordsThanTheLimitArePlayed) {
    EmfWriter emf(24, 24);
    for (std::uint64_t i = 0; i < metafile::kMaxMetafileRecords + 10; ++i)
        emf.record(18, {2}); // SetBkMode: nothing to draw
    emf.brush(1, 0, 0x00FF00).select(1).rectangle(0, 0, 9, 9);
    const Played played = playOn(emf.finish());
    EXPECT_TRUE(played.play.Stopped);
    EXPECT_EQ(played.play.Records, metafile::kMaxMetafileRecords);
    EXPECT_EQ(played.picture.at(3, 3), kWhite);
}

} // namespace
} // namespace schauplatz
