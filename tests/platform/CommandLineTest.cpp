// The command line: options (ours, Qt's, unknown ones) and what the program starts with.

#include "platform/CommandLine.h"
#include "QtTestApp.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;
using Action = CommandLineOptions::Action;
using testing::TempFolder;

Action actionOf(const std::vector<std::string>& arguments) {
    return ScanOptions(arguments).action;
}

TEST(CommandLine, HelpAndVersionWinWhereverTheyStand) {
    EXPECT_EQ(actionOf({}), Action::Start);
    EXPECT_EQ(actionOf({"--help"}), Action::ShowHelp);
    EXPECT_EQ(actionOf({"-h"}), Action::ShowHelp);
    EXPECT_EQ(actionOf({"a.vbk", "--help"}), Action::ShowHelp);
    EXPECT_EQ(actionOf({"--version"}), Action::ShowVersion);
    EXPECT_EQ(actionOf({"-platform", "offscreen", "--version"}), Action::ShowVersion);
    // After "--" only files follow.
    EXPECT_EQ(actionOf({"--", "--help"}), Action::Start);
}

TEST(CommandLine, QtsOwnOptionsPassWithTheirValues) {
    EXPECT_EQ(actionOf({"-platform", "offscreen"}), Action::Start);
    EXPECT_EQ(actionOf({"--platform", "offscreen", "x.vbk"}), Action::Start);
    EXPECT_EQ(actionOf({"-style=Fusion"}), Action::Start);
    EXPECT_EQ(actionOf({"-reverse", "-qwindowtitle", "-x-"}), Action::Start);
    EXPECT_EQ(actionOf({"-qmljsdebugger=port:1234"}), Action::Start);
}

TEST(CommandLine, AnyOtherOptionFailsWithAMessage) {
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--gibts-nicht"},
                                                      {"-x"},
                                                      {"a.vbk", "--open", "b.vbk"},
                                                      {"--versions"},
                                                      {"-help"}}) {
        const CommandLineOptions options = ScanOptions(arguments);
        EXPECT_EQ(options.action, Action::Fail) << arguments.front();
        EXPECT_NE(options.error.find("unbekannte Option"), std::string::npos);
        EXPECT_NE(options.error.find("schauplatz --help"), std::string::npos);
    }
    EXPECT_EQ(ScanOptions({"--gibts-nicht"})
                  .error.rfind("schauplatz: unbekannte Option „--gibts-"
                               "nicht“",
                               0),
              0u);
    EXPECT_EQ(kCommandLineErrorStatus, 2);
    // A single "-" is a file name, not an option.
    EXPECT_EQ(actionOf({"-"}), Action::Start);
}

TEST(CommandLine, OneProjectFileIsOpenedWithItsFullPath) {
    TempFolder folder;
    const StartFiles start = ChooseStartFiles({folder.path() + "Angebot.VBK"});
    EXPECT_EQ(start.project, folder.path() + "Angebot.VBK");
    EXPECT_TRUE(start.notes.empty());
    // A relative name becomes absolute: a load makes the work folder the current folder.
    const StartFiles relative = ChooseStartFiles({"unter/../Angebot.vbk"});
    EXPECT_EQ(relative.project, (fs::current_path() / "Angebot.vbk").string());
    // A missing file is still handed on: the load says what is wrong with it.
    EXPECT_EQ(ChooseStartFiles({"/gibt/es/nicht.vbk"}).project, "/gibt/es/nicht.vbk");
    EXPECT_EQ(ChooseStartFiles({"--", "-a.vbk"}).project, (fs::current_path() / "-a.vbk").string());
    EXPECT_TRUE(ChooseStartFiles({}).project.empty());
    // Qt's options that a platform leaves in place are no files.
    const StartFiles withDisplay = ChooseStartFiles({"-display", ":0", "/p/a.vbk", "-reverse"});
    EXPECT_EQ(withDisplay.project, "/p/a.vbk");
    EXPECT_TRUE(withDisplay.notes.empty());
}

TEST(CommandLine, WhatIsNoProjectFileIsNamedAndTheProgramStartsEmpty) {
    TempFolder folder;
    const std::string picture = folder.path() + "Haus.jpg";
    std::ofstream(picture) << "x";
    fs::create_directories(folder.path() + "Ordner.vbk");
    struct Case {
        std::vector<std::string> arguments;
        std::string note;
    };
    const std::string empty = "; das Programm beginnt mit einem neuen Projekt.";
    const Case cases[] = {
        {{folder.path()},
         "schauplatz: „" + folder.path() + "“ ist ein Ordner, keine Projektdatei (.vbk)" + empty},
        {{folder.path() + "Ordner.vbk"}, "ist ein Ordner"},
        {{picture}, "schauplatz: „" + picture + "“ ist keine Projektdatei (.vbk)" + empty},
        {{"a.vbk", "b.vbk"},
         "schauplatz: es kann nur eine Projektdatei geöffnet werden, nicht „a.vbk“, „b.vbk“" +
             empty},
        {{".vbk"}, "ist keine Projektdatei"},
    };
    for (const Case& c : cases) {
        const StartFiles start = ChooseStartFiles(c.arguments);
        EXPECT_TRUE(start.project.empty()) << c.arguments.front();
        ASSERT_EQ(start.notes.size(), 1u) << c.arguments.front();
        EXPECT_NE(start.notes[0].find(c.note), std::string::npos) << start.notes[0];
    }
}

TEST(CommandLine, UsageAndVersionTexts) {
    EXPECT_EQ(UsageText().rfind("Aufruf: schauplatz [PROJEKT.vbk]\n", 0), 0u);
    EXPECT_NE(UsageText().find("--version"), std::string::npos);
    EXPECT_EQ(VersionText(), "Velora Bildkomposition 2021 (Schauplatz) " SCHAUPLATZ_VERSION "\n");
}

} // namespace
} // namespace schauplatz
