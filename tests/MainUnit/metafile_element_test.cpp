// A door drawn as an enhanced metafile goes the whole way: read with its transparent margin,
// placed on the facade, accepted into the composite, saved in a project and rebuilt by a load.

#include "project_fixture.h"

#include "elements/metafile_writer.h"

namespace schauplatz::testing {
namespace {

namespace fs = std::filesystem;
using testing_metafile::Bytes;
using testing_metafile::EmfWriter;

using Quad = std::array<QuadPoint, 4>;
// The quad's corners are the picture's outer pixel centres: 24 x 48 pixels onto 25 x 49.
const Quad kQuad{QuadPoint{10, 5}, QuadPoint{34, 5}, QuadPoint{34, 53}, QuadPoint{10, 53}};

// 24 x 48: a red panel from (4, 4) to (20, 44), nothing drawn around it.
std::string redPanelMetafile() {
    EmfWriter emf(24, 48);
    emf.pen(1, 5 /* null pen */, 0, 0).brush(2, 0 /* solid */, 0x0000FF).select(1).select(2);
    emf.rectangle(4, 4, 21, 45);
    const Bytes bytes = emf.finish();
    return std::string(bytes.begin(), bytes.end());
}

class MetafileElement : public ProjectForm {};

TEST_F(MetafileElement, IsAcceptedIntoTheCompositeAndSurvivesASaveAndALoad) {
    const std::string facade = writePattern("Haus.bmp", 80, 60, 0x2468AC);
    const std::string door = folder + "Tür.emf";
    writeFileBytes(door, redPanelMetafile());

    host.openAnswers.push_back(facade);
    form->NeuesProjekt1Click();
    TBitmap32 facadePicture;
    facadePicture.Assign(&form->ImageHintergrund.Bitmap());
    accept(door, kQuad);

    const TBitmap32& composite = form->ImageHintergrund.Bitmap();
    ASSERT_EQ(composite.Width(), 80);
    // Opaque red blended over the workspace's transparent black at master alpha 255 arrives
    // with 254 in alpha and red, and is copied into the background unchanged.
    EXPECT_EQ(composite.GetPixel(22, 29), 0xFEFE0000u);
    // The metafile's undrawn margin is transparent: the facade shows through.
    EXPECT_EQ(composite.GetPixel(10, 5), facadePicture.GetPixel(10, 5));
    EXPECT_EQ(composite.GetPixel(33, 52), facadePicture.GetPixel(33, 52));
    // Nothing outside the quad's reach changed.
    EXPECT_EQ(composite.GetPixel(50, 30), facadePicture.GetPixel(50, 30));

    const std::string project = folder + "Metafile.vbk";
    host.saveAnswers.push_back(project);
    form->Projektspeichern1Click();
    const std::vector<std::string> names = entryNames(project);
    EXPECT_NE(std::find(names.begin(), names.end(), "Tür.emf"), names.end());

    TForm_Schauplatz& other = otherForm();
    otherHost().openAnswers.push_back(project);
    other.Projektladen1Click();
    EXPECT_TRUE(sameBitmap(other.ImageHintergrund.Bitmap(), composite));
}

} // namespace
} // namespace schauplatz::testing
