// Project files the window did not write itself: a record file in windows-1252 with Windows
// paths from another zip tool, the shipped sample, and damaged or incomplete projects, which
// end the load where the record file stops making sense.

#include "project_fixture.h"

#include "project/RecordFile.h"
#include "support/U_SYSTOOLS.h"

namespace schauplatz::testing {
namespace {

namespace fs = std::filesystem;

const std::string kData = SCHAUPLATZ_TEST_DATA;

class ProjectInterop : public ProjectForm {
protected:
    // The background the window builds from the unpacked pictures of a project, by the
    // user's own steps: the facade, then each element placed on its quad and accepted.
    const TBitmap32&
    rebuildByHand(const std::string& unpacked, const std::string& facadeName,
                  const std::vector<std::pair<std::string, std::array<QuadPoint, 4>>>& elements) {
        TForm_Schauplatz& expected = otherForm();
        loadFacade(expected, otherHost(), unpacked + facadeName);
        // Each picture read as a project names it (a PNG over white).
        for (const auto& [name, q] : elements)
            expected.ReplayElement(unpacked + name, q[0].X, q[0].Y, q[1].X, q[1].Y, q[2].X, q[2].Y,
                                   q[3].X, q[3].Y);
        return expected.ImageHintergrund.Bitmap();
    }
    // A project file holding the files of a folder.
    std::string pack(const std::string& source, const std::string& name) {
        const std::string path = folder + name;
        TZipArchive zip;
        EXPECT_TRUE(zip.SetArchive(path));
        EXPECT_TRUE(zip.AddFolder(source));
        return path;
    }
};

TEST_F(ProjectInterop, AWindows1252RecordFileWithWindowsPathsFromAnotherZipToolLoads) {
    const std::string project = kData + "/project/zipcli-project.vbk";
    host.openAnswers.push_back(project);
    form->Projektladen1Click();
    EXPECT_TRUE(host.messages.empty()) << host.messages.front();

    const TBitmap32& expected = rebuildByHand(
        kData + "/project/zipcli-source/", "Haus.png",
        {{"Tür 3.png", {QuadPoint{1, 0}, QuadPoint{3, 0}, QuadPoint{3, 2}, QuadPoint{1, 2}}}});
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), expected));
    ASSERT_EQ(form->LoadStore,
              (std::vector<std::string>{"C:\\Bilder\\Haus.png",
                                        "C:\\Muster\\Tür 3.png;1;0;3;0;3;2;1;2;"}));
    ASSERT_EQ(form->ProjectData.size(), 2u);
    EXPECT_EQ(FileNamePart(form->ProjectData[0]), "Haus.png");
    EXPECT_EQ(FileNamePart(form->ProjectData[1]), "Tür 3.png;1;0;3;0;3;2;1;2;");
    EXPECT_EQ(form->ProjectData[1].rfind(form->ProjectFolders().PictureStore(), 0), 0u);
    // The element's colour (10, 90, 30) made it into the facade's (200, 180, 150).
    EXPECT_EQ(form->ImageHintergrund.Bitmap().GetPixel(1, 0) & 0xFFFFFFu, 0x0A5A1Eu);
    EXPECT_EQ(form->ImageHintergrund.Bitmap().GetPixel(0, 0) & 0xFFFFFFu, 0xC8B496u);
}

TEST_F(ProjectInterop, TheSampleProjectLoadsWithItsNegativeVertices) {
    const std::string project = kData + "/project/sample-project.vbk";
    form->LoadProject(project);
    EXPECT_TRUE(host.messages.empty()) << host.messages.front();
    const std::string unpacked = unpack(project);
    const TBitmap32& expected = rebuildByHand(
        unpacked, "Fassade.png",
        {{"Haustür 1.png",
          {QuadPoint{20, 10}, QuadPoint{34, 12}, QuadPoint{33, 40}, QuadPoint{21, 38}}},
         {"Fenster 2.png",
          {QuadPoint{-3, -2}, QuadPoint{8, -2}, QuadPoint{8, 9}, QuadPoint{-3, 9}}}});
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), expected));
    EXPECT_EQ(form->ImageHintergrund.Bitmap().Width(), 64);
    ASSERT_EQ(form->ProjectData.size(), 3u);
    EXPECT_NE(form->ProjectData[2].find("Fenster 2.png;-3;-2;8;-2;8;9;-3;9;"), std::string::npos);
}

TEST_F(ProjectInterop, AFileThatIsNoArchiveIsReportedAndEndsTheLoad) {
    const std::string notAProject = folder + "Brief.vbk";
    writeFileBytes(notAProject, "Sehr geehrte Damen und Herren,\r\n");
    const std::vector<std::string> data = form->ProjectData;
    const std::string name = form->ProjectFile;
    EXPECT_THROW(form->LoadProject(notAProject), ERecordFileError);
    EXPECT_FALSE(host.messages.empty()) << "the component shows why it could not read the file";
    EXPECT_EQ(form->ProjectFile, name) << "a load that failed keeps the open project's name";
    EXPECT_EQ(form->ProjectData, data);
    EXPECT_FALSE(form->ProjectBusy());

    host.messages.clear();
    EXPECT_THROW(form->LoadProject(folder + "fehlt.vbk"), ERecordFileError);
}

TEST_F(ProjectInterop, ProjectsWithoutAUsableRecordFileEndTheLoadAtTheFaultyLine) {
    const std::string source = folder + "quelle/";
    fs::create_directories(source);
    TBitmap32 facade;
    fillPicture(facade, 30, 20, [](int x, int y) { return patternPixel(x, y, 7); });
    WriteBitmapFile(facade, source + "Haus.bmp");
    TBitmap32 door;
    fillPicture(door, 4, 4, [](int x, int y) { return patternPixel(x, y, 9); });
    WriteBitmapFile(door, source + "Tür.bmp");

    // No data.dat at all.
    EXPECT_THROW(form->LoadProject(pack(source, "ohne.vbk")), ERecordFileError);

    // An empty one names no facade.
    writeFileBytes(source + "data.dat", "");
    EXPECT_THROW(form->LoadProject(pack(source, "leer.vbk")), ERecordFileError);

    // The second element line lacks a field: the load fails as a whole, naming the line (line
    // 3 of the file), and the open project stays as it was.
    writeFileBytes(source + "data.dat", cp1252("D:\\Haus.bmp\r\nD:\\Tür.bmp;1;1;3;1;3;3;1;3;\r\n"
                                               "D:\\Tür.bmp;1;1;3;1;3;3;1;\r\n"));
    const std::string broken = pack(source, "kaputt.vbk");
    const std::vector<std::string> before = form->ProjectData;
    const std::string name = form->ProjectFile;
    try {
        form->LoadProject(broken);
        ADD_FAILURE() << "the load went through";
    } catch (const ERecordFileError& error) {
        EXPECT_NE(std::string(error.what()).find("Zeile 3"), std::string::npos) << error.what();
    }
    EXPECT_EQ(form->ProjectFile, name);
    EXPECT_EQ(form->ProjectData, before);

    // A picture that cannot be read counts as empty: its element is still recorded.
    writeFileBytes(source + "Tür.bmp", "kein Bild");
    writeFileBytes(source + "data.dat", cp1252("D:\\Haus.bmp\r\nD:\\Tür.bmp;1;1;3;1;3;3;1;3;\r\n"));
    fs::remove(folder + "kaputt.vbk");
    form->LoadProject(pack(source, "kaputt.vbk"));
    ASSERT_EQ(form->ProjectData.size(), 2u);
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), facade));
}

} // namespace
} // namespace schauplatz::testing
