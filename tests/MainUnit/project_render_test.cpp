// schauplatz-render, the built program: the picture it writes for a project against the
// background the window builds by hand from the same pictures, its PNG, its exit status and
// messages for projects it cannot load, and a run beside a window that has a project open.

#include "project_fixture.h"

#include <cstdlib>
#include <map>
#include <sys/wait.h>

namespace schauplatz::testing {
namespace {

namespace fs = std::filesystem;

const std::string kData = SCHAUPLATZ_TEST_DATA;
const std::string kRenderer = std::string(SCHAUPLATZ_PROGRAM_DIR) + "/schauplatz-render";

std::string quotedArg(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct RenderRun {
    int exitCode = -1;
    std::string errors;
};

class ProjectRender : public ProjectForm {
protected:
    RenderRun render(const std::vector<std::string>& arguments) {
        std::string command = quotedArg(kRenderer);
        for (const std::string& argument : arguments)
            command.append(" ").append(quotedArg(argument));
        const std::string errors = folder + "stderr.txt";
        command += " 2>" + quotedArg(errors) + " >/dev/null";
        const int status = std::system(command.c_str());
        RenderRun run;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.errors = readFileBytes(errors);
        return run;
    }
    // The sample project rebuilt by the user's steps from its unpacked pictures.
    const TBitmap32& sampleByHand() {
        const std::string unpacked = unpack(kData + "/project/sample-project.vbk");
        TForm_Schauplatz& expected = otherForm();
        loadFacade(expected, otherHost(), unpacked + "Fassade.png");
        // The pictures read as a project names them (a PNG over white), not as a user's load
        // keeps a transparent PNG.
        expected.ReplayElement(unpacked + "Haustür 1.png", 20, 10, 34, 12, 33, 40, 21, 38);
        expected.ReplayElement(unpacked + "Fenster 2.png", -3, -2, 8, -2, 8, 9, -3, 9);
        return expected.ImageHintergrund.Bitmap();
    }
    std::string pack(const std::map<std::string, std::string>& files, const std::string& name) {
        const std::string source = folder + name + ".d/";
        fs::create_directories(source);
        for (const auto& [file, bytes] : files)
            writeFileBytes(source + file, bytes);
        const std::string path = folder + name;
        TZipArchive zip;
        EXPECT_TRUE(zip.SetArchive(path));
        EXPECT_TRUE(zip.AddFolder(source));
        return path;
    }
};

TEST_F(ProjectRender, TheSampleProjectGivesTheBitmapTheWindowBuilds) {
    ASSERT_TRUE(fs::exists(kRenderer)) << kRenderer;
    const std::string output = folder + "Ausgabe mit Ä.bmp";
    const RenderRun run = render({kData + "/project/sample-project.vbk", output});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.errors, "");

    const TBitmap32& expected = sampleByHand();
    ASSERT_EQ(expected.Width(), 64);
    const std::string expectedFile = folder + "erwartet.bmp";
    WriteBitmapFile(expected, expectedFile);
    const std::string written = readFileBytes(output);
    EXPECT_EQ(written.size(), 54u + 64u * 48u * 4u);
    EXPECT_TRUE(written == readFileBytes(expectedFile)) << "the BMP differs from the background";
}

TEST_F(ProjectRender, APngHoldsTheOpaqueColourChannels) {
    const std::string output = folder + "Ausgabe.PNG";
    const RenderRun run = render({kData + "/project/sample-project.vbk", output});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(readFileBytes(output).substr(1, 3), "PNG");
    TBitmap32 read;
    ReadPictureFile(read, output);
    const TBitmap32& expected = sampleByHand();
    ASSERT_EQ(read.Width(), expected.Width());
    ASSERT_EQ(read.Height(), expected.Height());
    EXPECT_TRUE(samePixels(
        read.Width(), read.Height(), [&](int x, int y) { return read.GetPixel(x, y); },
        [&](int x, int y) { return expected.GetPixel(x, y) | 0xFF000000u; }));
}

TEST_F(ProjectRender, ProjectsThatCannotBeLoadedEndWithAMessageAndNoPicture) {
    const std::string output = folder + "nie.bmp";
    struct Case {
        std::string what;
        std::string project;
        std::string message;
    };
    const std::string facade = readFileBytes(kData + "/project/zipcli-source/Haus.png");
    writeFileBytes(folder + "Brief.vbk", "Sehr geehrte Damen und Herren,\r\n");
    const std::vector<Case> cases = {
        {"missing", folder + "fehlt.vbk", "project file not found"},
        {"a folder", folder, "not a file"},
        {"no archive", folder + "Brief.vbk", "Not a zip archive"},
        {"no data.dat", pack({{"Haus.png", facade}}, "ohne.vbk"), "data.dat"},
        {"empty data.dat", pack({{"Haus.png", facade}, {"data.dat", ""}}, "leer.vbk"),
         "nennen keine Fassade"},
        {"bad record line",
         pack({{"Haus.png", facade},
               {"data.dat", "C:\\Haus.png\r\nC:\\Tür.png;1;2;x;4;5;6;7;8;\r\n"}},
              "kaputt.vbk"),
         "Zeile 2"},
    };
    for (const Case& c : cases) {
        const RenderRun run = render({c.project, output});
        EXPECT_EQ(run.exitCode, 1) << c.what;
        EXPECT_NE(run.errors.find(c.message), std::string::npos) << c.what << ": " << run.errors;
        EXPECT_NE(run.errors.find("schauplatz-render: "), std::string::npos) << c.what;
        EXPECT_FALSE(fs::exists(output)) << c.what;
    }
    EXPECT_EQ(render({}).exitCode, 2);
    EXPECT_EQ(render({folder + "fehlt.vbk"}).exitCode, 2);
}

TEST_F(ProjectRender, AnUnreadablePictureCountsAsEmpty) {
    const std::string facade = readFileBytes(kData + "/project/zipcli-source/Haus.png");
    const std::string project =
        pack({{"Haus.png", facade},
              {"Tür.png", "kein Bild"},
              {"data.dat", cp1252("C:\\Haus.png\r\nC:\\Tür.png;1;0;3;0;3;2;1;2;\r\n")}},
             "leeres Bild.vbk");
    const std::string output = folder + "leer.bmp";
    const RenderRun run = render({project, output});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    TBitmap32 read, expected;
    ReadPictureFile(read, output);
    ReadPictureFile(expected, kData + "/project/zipcli-source/Haus.png");
    EXPECT_TRUE(sameBitmap(read, expected));
}

TEST_F(ProjectRender, ARunBesideAnOpenProjectLeavesItsFoldersAlone) {
    form->LoadProject(kData + "/project/sample-project.vbk");
    std::vector<std::string> pictures;
    for (const std::string& line : form->ProjectData)
        pictures.push_back(line.substr(0, line.find(';')));
    ASSERT_EQ(pictures.size(), 3u);

    const RenderRun run = render({kData + "/project/zipcli-project.vbk", folder + "z.bmp"});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    for (const std::string& picture : pictures)
        EXPECT_TRUE(fs::exists(picture)) << picture;
    EXPECT_TRUE(form->ProjectFolders().Locked());
    // The window saves on as before.
    form->SaveProject(folder + "weiter.vbk");
    EXPECT_EQ(
        entryNames(folder + "weiter.vbk"),
        (std::vector<std::string>{"Fassade.png", "Fenster 2.png", "Haustür 1.png", "data.dat"}));
}

} // namespace
} // namespace schauplatz::testing
