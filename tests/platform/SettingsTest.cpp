// The places kept between runs: round trip, every kind of damaged file, folders that went
// away, where the file lives (and where it never goes), failed writes, and which dialog
// starts where.

#include "platform/Settings.h"
#include "QtTestApp.h"
#include "support/FileSystem.h"
#include "testsupport/FaultInjectingFileSystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Sets an environment variable for one scope ("" unsets it).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        m_had = std::getenv(name) != nullptr;
        if (value.empty())
            ::unsetenv(name);
        else
            ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_had)
            ::setenv(m_name, m_old.c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

class SettingsTest : public ::testing::Test {
protected:
    std::string file() const { return m_root.path() + "config/schauplatz/schauplatz.conf"; }
    std::string makeFolder(const std::string& name) const {
        const std::string path = m_root.path() + name + "/";
        fs::create_directories(path);
        return path;
    }
    TempFolder m_root;
};

TEST_F(SettingsTest, EveryKindRoundTripsThroughTheFile) {
    const DialogKind kinds[] = {DialogKind::PictureOpen, DialogKind::PictureSave,
                                DialogKind::ProjectOpen, DialogKind::ProjectSave,
                                DialogKind::PatternFolder};
    {
        Settings settings(file());
        int n = 0;
        for (DialogKind kind : kinds) {
            EXPECT_EQ(settings.folder(kind), "");
            // Folders without their "/" are kept with it; names with blanks and umlauts too.
            const std::string folder = makeFolder("Ordner " + std::to_string(++n) + " Türen");
            settings.rememberFolder(kind, folder.substr(0, folder.size() - 1));
        }
    }
    ASSERT_TRUE(fs::exists(file()));
    Settings again(file());
    int n = 0;
    for (DialogKind kind : kinds)
        EXPECT_EQ(again.folder(kind), m_root.path() + "Ordner " + std::to_string(++n) + " Türen/");
    EXPECT_EQ(readAll(file()).rfind("# Schauplatz", 0), 0u);
}

TEST_F(SettingsTest, AFolderThatWentAwayIsNotOffered) {
    const std::string gone = makeFolder("weg");
    {
        Settings settings(file());
        settings.rememberFolder(DialogKind::ProjectOpen, gone);
    }
    fs::remove(gone);
    Settings again(file());
    EXPECT_EQ(again.value(DialogKind::ProjectOpen), gone);
    EXPECT_EQ(again.folder(DialogKind::ProjectOpen), "");
    // A file where the folder was is no folder either.
    writeAll(gone.substr(0, gone.size() - 1), "x");
    EXPECT_EQ(again.folder(DialogKind::ProjectOpen), "");
}

TEST_F(SettingsTest, DamagedFilesGiveTheDesignedValues) {
    const std::string good = makeFolder("gut");
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty", ""},
        {"no equals sign", "musterverzeichnis " + good + "\n"},
        {"relative path", "musterverzeichnis=Muster/\n"},
        {"empty value", "musterverzeichnis=\n"},
        {"control character", "musterverzeichnis=" + good + "\x01x\n"},
        {"a NUL byte", std::string("musterverzeichnis=") + good + std::string(1, '\0') + "\n"},
        {"invalid UTF-8", "musterverzeichnis=" + good + "\xC3\x28/\n"},
        {"overlong UTF-8", "musterverzeichnis=/\xC0\xAF"
                           "etc/\n"},
        {"key in capitals", "MUSTERVERZEICHNIS=" + good + "\n"},
        {"too long", "musterverzeichnis=/" + std::string(5000, 'a') + "/\n"},
        {"binary", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeAll(file(), c.bytes);
        Settings settings(file());
        EXPECT_EQ(settings.folder(DialogKind::PatternFolder), "");
        EXPECT_FALSE(settings.value(DialogKind::PatternFolder).has_value());
    }
    // Good lines beside bad ones still count; CR LF line ends are read too.
    writeAll(file(), "Unsinn\r\n=leer\r\nmusterverzeichnis=" + good + "\r\n\x7F\r\n");
    EXPECT_EQ(Settings(file()).folder(DialogKind::PatternFolder), good);
}

TEST_F(SettingsTest, UnreadableOrOddFilesAreIgnored) {
    // A folder where the file should be.
    fs::create_directories(file());
    EXPECT_EQ(Settings(file()).folder(DialogKind::PictureOpen), "");
    fs::remove(file());
    // A file larger than any settings file.
    writeAll(file(), "ordner.bild-laden=" + makeFolder("a") + "\n" +
                         std::string(Settings::kMaxFileSize, '#'));
    EXPECT_EQ(Settings(file()).folder(DialogKind::PictureOpen), "");
    // A file the user may not read (root reads everything: then it is simply read).
    writeAll(file(), "ordner.bild-laden=" + makeFolder("b") + "\n");
    fs::permissions(file(), fs::perms::none);
    if (::geteuid() != 0) {
        EXPECT_EQ(Settings(file()).folder(DialogKind::PictureOpen), "");
    }
    fs::permissions(file(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(SettingsTest, RandomBytesNeverCrashAndGiveOnlyAbsoluteFolders) {
    const char* env = std::getenv("SCHAUPLATZ_TEST_SEED");
    const unsigned seed = env ? static_cast<unsigned>(std::strtoul(env, nullptr, 10)) : 17u;
    std::mt19937 random(seed);
    const std::string alphabet = "musterverzichnodbla.-=/\n\r#\x01\xC3\xA4\xFF ";
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        const int length = static_cast<int>(random() % 300);
        for (int i = 0; i < length; ++i)
            bytes += alphabet[random() % alphabet.size()];
        writeAll(file(), bytes);
        Settings settings(file());
        for (DialogKind kind : {DialogKind::PictureOpen, DialogKind::PatternFolder}) {
            const auto value = settings.value(kind);
            if (value) {
                EXPECT_EQ(value->front(), '/') << "seed " << seed << " round " << round;
            }
        }
    }
}

TEST_F(SettingsTest, UnknownKeysOfANewerProgramAreKept) {
    writeAll(file(), "ordner.spaeter=/irgendwo/\nmusterverzeichnis=/alt/\n");
    Settings settings(file());
    settings.rememberFolder(DialogKind::PatternFolder, makeFolder("neu"));
    const std::string text = readAll(file());
    EXPECT_NE(text.find("ordner.spaeter=/irgendwo/\n"), std::string::npos) << text;
    EXPECT_NE(text.find("musterverzeichnis=" + m_root.path() + "neu/\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("/alt/"), std::string::npos) << text;
}

TEST_F(SettingsTest, OnlyAbsoluteFoldersAreRemembered) {
    Settings settings(file());
    settings.rememberFolder(DialogKind::PictureSave, "relativ/");
    settings.rememberFolder(DialogKind::PictureSave, "");
    settings.rememberFolder(DialogKind::PictureSave, "/mit\nZeilenumbruch/");
    EXPECT_FALSE(settings.value(DialogKind::PictureSave).has_value());
    EXPECT_FALSE(fs::exists(file()));
}

TEST_F(SettingsTest, InMemorySettingsWriteNothing) {
    Settings settings;
    settings.rememberFolder(DialogKind::PictureOpen, makeFolder("x"));
    EXPECT_EQ(settings.folder(DialogKind::PictureOpen), m_root.path() + "x/");
    EXPECT_EQ(settings.file(), "");
    EXPECT_FALSE(fs::exists(m_root.path() + "config"));
}

TEST_F(SettingsTest, AFailedWriteKeepsThePreviousFileAndGoesOn) {
    const std::string first = makeFolder("erst");
    Settings settings(file());
    settings.rememberFolder(DialogKind::ProjectSave, first);
    const std::string before = readAll(file());
    for (auto operation :
         {FaultInjectingFileSystem::Operation::Write, FaultInjectingFileSystem::Operation::Sync,
          FaultInjectingFileSystem::Operation::Rename}) {
        FaultInjectingFileSystem faults(realFileSystem());
        faults.failOn(operation, 1, ENOSPC, true);
        const ScopedFileSystemOverride use(faults);
        settings.rememberFolder(DialogKind::ProjectSave, makeFolder("dann"));
        EXPECT_EQ(readAll(file()), before);
        settings.rememberFolder(DialogKind::ProjectSave, first);
    }
    // No temporary file is left beside it.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(file()).parent_path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(SettingsFile, LivesInTheUsersConfigurationFolderOnly) {
    {
        const ScopedEnv config("XDG_CONFIG_HOME", "/home/anna/.cfg");
        const ScopedEnv home("HOME", "/home/anna");
        EXPECT_EQ(Settings::userSettingsFile(), "/home/anna/.cfg/schauplatz/schauplatz.conf");
    }
    {
        const ScopedEnv config("XDG_CONFIG_HOME", "");
        const ScopedEnv home("HOME", "/home/anna/");
        EXPECT_EQ(Settings::userSettingsFile(), "/home/anna/.config/schauplatz/schauplatz.conf");
    }
    {
        // A relative XDG_CONFIG_HOME is not used (it would land in the current folder).
        const ScopedEnv config("XDG_CONFIG_HOME", "cfg");
        const ScopedEnv home("HOME", "/home/anna");
        EXPECT_EQ(Settings::userSettingsFile(), "/home/anna/.config/schauplatz/schauplatz.conf");
    }
    {
        const ScopedEnv config("XDG_CONFIG_HOME", "");
        const ScopedEnv home("HOME", "");
        EXPECT_EQ(Settings::userSettingsFile(), "");
        const ScopedEnv relativeHome("HOME", "anna");
        EXPECT_EQ(Settings::userSettingsFile(), "");
    }
}

TEST(DialogPlaces, EachDialogIsKnownByItsTitle) {
    FileDialogRequest request;
    request.title = "Bild Laden";
    EXPECT_EQ(DialogKindOf(request, false), DialogKind::PictureOpen);
    request.title = "Projekt laden";
    EXPECT_EQ(DialogKindOf(request, false), DialogKind::ProjectOpen);
    EXPECT_FALSE(DialogKindOf(request, true).has_value());
    request.title = "Projekt speichern";
    EXPECT_EQ(DialogKindOf(request, true), DialogKind::ProjectSave);
    request.title = "";
    request.filter = "Bitmaps (*.bmp)|*.bmp";
    EXPECT_EQ(DialogKindOf(request, true), DialogKind::PictureSave);
    EXPECT_FALSE(DialogKindOf(request, false).has_value());
    request.title = "Irgendwas";
    EXPECT_FALSE(DialogKindOf(request, true).has_value());
}

TEST(DialogPlaces, TheRememberedFolderStartsADialogThatNamesNoPlace) {
    TempFolder root;
    Settings settings;
    settings.rememberFolder(DialogKind::ProjectOpen, root.path());
    FileDialogRequest request;
    request.title = "Projekt laden";
    EXPECT_EQ(WithRememberedFolder(request, DialogKind::ProjectOpen, settings).initialFolder,
              root.path());
    // A bare file name offered keeps the remembered folder.
    request.fileName = "Angebot.vbk";
    EXPECT_EQ(WithRememberedFolder(request, DialogKind::ProjectOpen, settings).initialFolder,
              root.path());
    // The window's own place wins: a start folder, or a file offered with its folder.
    request.fileName = "/srv/bilder/Haus.jpg";
    EXPECT_EQ(WithRememberedFolder(request, DialogKind::ProjectOpen, settings).initialFolder, "");
    request.fileName.clear();
    request.initialFolder = "/srv/";
    EXPECT_EQ(WithRememberedFolder(request, DialogKind::ProjectOpen, settings).initialFolder,
              "/srv/");
    // Nothing remembered: the request stays as the window made it.
    FileDialogRequest plain;
    EXPECT_EQ(WithRememberedFolder(plain, DialogKind::PictureSave, settings).initialFolder, "");
    EXPECT_EQ(FolderOf("/a/b/c.vbk"), "/a/b/");
    EXPECT_EQ(FolderOf("c.vbk"), "");
}

} // namespace
} // namespace schauplatz

namespace schauplatz {
namespace {

TEST(SettingsAppearance, TheLastChosenSettingsComeBackInTheNextRun) {
    testing::TempFolder root;
    const std::string file = root.path() + "schauplatz.conf";
    TAppearance chosen;
    chosen.Smooth = true;
    chosen.Brightness = -40;
    chosen.Contrast = 12;
    chosen.Temperature = 100;
    chosen.Opacity = 17;
    chosen.ShadowDepth = 200;
    chosen.ShadowDarkness = 3;
    chosen.ShadowSide = TShadowSide::Right;
    {
        Settings first(file);
        EXPECT_EQ(first.appearance(), TAppearance{}) << "neutral at first";
        first.rememberAppearance(chosen);
    }
    const std::string text = readAll(file);
    EXPECT_NE(text.find("darstellung.glaetten=ja\n"), std::string::npos) << text;
    EXPECT_NE(text.find("darstellung.schattenseite=rechts\n"), std::string::npos) << text;
    EXPECT_NE(text.find("darstellung.helligkeit=-40\n"), std::string::npos) << text;
    EXPECT_EQ(Settings(file).appearance(), chosen);
}

TEST(SettingsAppearance, DamagedValuesGiveNeutralOrClampedSettings) {
    testing::TempFolder root;
    const std::string file = root.path() + "schauplatz.conf";
    writeAll(file, "darstellung.glaetten=vielleicht\ndarstellung.helligkeit=12x\n"
                   "darstellung.kontrast=-9999\ndarstellung.deckkraft=99999999999\n"
                   "darstellung.schatten-tiefe=250\ndarstellung.schattenseite=oben\n");
    TAppearance expected;
    expected.Contrast = -100;
    expected.ShadowDepth = 200;
    EXPECT_EQ(Settings(file).appearance(), expected);
}

} // namespace
} // namespace schauplatz
