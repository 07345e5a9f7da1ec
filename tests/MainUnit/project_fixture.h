#pragma once

// A started window over an empty program folder for the project commands: dialogs answered
// by script, a hook into the host's event processing (so a test can act in the middle of an
// archive operation), recorded progress calls, and helpers that read a project file back with
// the zip component alone.

#include "MainUnit/MainUnit.h"
#include "ScriptedHost.h"
#include "elements/PictureFiles.h"
#include "placement_fixture.h"
#include "project/TZipArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>

namespace schauplatz::testing {

class ProjectHost : public ScriptedHost {
public:
    std::function<void()> onProcessMessages;
    std::vector<std::pair<std::string, double>> progress;
    int progressEnds = 0;

    void processMessages() override {
        ScriptedHost::processMessages();
        if (onProcessMessages) onProcessMessages();
    }
    // Set to make the shown progress report "Abbrechen".
    std::function<bool()> cancelProgress;
    std::vector<bool> progressCancellable;

    void progressChanged(const std::string& text, double fraction, bool cancellable) override {
        progress.emplace_back(text, fraction);
        progressCancellable.push_back(cancellable);
    }
    bool progressCancelled() override { return cancelProgress && cancelProgress(); }
    void progressEnded() override { ++progressEnds; }
};

inline std::string readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A UTF-8 text of ASCII and Latin-1 letters in windows-1252 (the letters agree there).
inline std::string cp1252(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            const auto next = static_cast<unsigned char>(utf8[++i]);
            out += static_cast<char>(((c & 0x1F) << 6) | (next & 0x3F));
        }
    }
    return out;
}

// Two quads inside a facade of at least 90 x 70.
inline const std::array<QuadPoint, 4> kQuadA{QuadPoint{10, 10}, QuadPoint{40, 12},
                                             QuadPoint{41, 50}, QuadPoint{9, 48}};
inline const std::array<QuadPoint, 4> kQuadB{QuadPoint{45, 20}, QuadPoint{80, 20},
                                             QuadPoint{80, 60}, QuadPoint{45, 60}};

// The names in a folder, sorted.
inline std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ProjectForm : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "project-form-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern + "/";
        form = startForm(host);
    }
    void TearDown() override {
        for (Other& other : others)
            other.form->FormDestroy();
        others.clear();
        if (form) form->FormDestroy();
        form.reset();
        std::filesystem::remove_all(folder);
    }

    std::unique_ptr<TForm_Schauplatz> startForm(FormHost& formHost) {
        // The program folder is empty: no pattern folder, no default facade.
        auto started = std::make_unique<TForm_Schauplatz>(formHost, folder + "programm/");
        started->FormCreate();
        started->FormShow();
        started->WorkingPlaceImage.Resize(1200, 800);
        return started;
    }
    // Another window of the same program, as a second run would open it.
    TForm_Schauplatz& otherForm() {
        Other other;
        other.host = std::make_unique<ProjectHost>();
        other.form = startForm(*other.host);
        others.push_back(std::move(other));
        return *others.back().form;
    }
    ProjectHost& otherHost() { return *others.back().host; }

    std::string writePicture(const std::string& name, int w, int h,
                             const std::function<TColor32(int, int)>& pixel) {
        TBitmap32 picture;
        fillPicture(picture, w, h, pixel);
        const std::string path = folder + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteBitmapFile(picture, path);
        return path;
    }
    std::string writePattern(const std::string& name, int w, int h, std::uint32_t seed) {
        return writePicture(name, w, h, [seed](int x, int y) { return patternPixel(x, y, seed); });
    }
    // An element whose left and right halves differ, with a transparent top row.
    std::string writeDoor(const std::string& name, int w, int h, std::uint32_t seed) {
        return writePicture(name, w, h, [seed](int x, int y) -> TColor32 {
            if (y == 0) return 0x00000000u;
            return patternPixel(x, y, seed) ^ (x < 3 ? 0x00FF0000u : 0u);
        });
    }

    static void loadFacade(TForm_Schauplatz& target, ScriptedHost& targetHost,
                           const std::string& path) {
        targetHost.openAnswers.push_back(path);
        target.FassadeLaden1Click();
    }
    static void accept(TForm_Schauplatz& target, ScriptedHost& targetHost,
                       const std::string& element, std::array<QuadPoint, 4> quad) {
        targetHost.openAnswers.push_back(element);
        target.BildvomElementladen1Click();
        target.Vertices = quad;
        target.RenderElement();
        target.Elementbernehmen1Click();
    }
    void loadFacade(const std::string& path) { loadFacade(*form, host, path); }
    void accept(const std::string& element, std::array<QuadPoint, 4> quad) {
        accept(*form, host, element, quad);
    }

    // The entry names of a project file, sorted, read with a zip component of its own.
    static std::vector<std::string> entryNames(const std::string& project) {
        TZipArchive zip;
        std::vector<std::string> messages;
        zip.OnMessage = [&](const std::string& text) { messages.push_back(text); };
        EXPECT_TRUE(zip.SetArchive(project)) << (messages.empty() ? "" : messages.front());
        std::vector<std::string> names;
        for (const TZipEntryInfo& entry : zip.Entries())
            names.push_back(entry.Name);
        std::sort(names.begin(), names.end());
        return names;
    }
    // Unpacks a project file into a fresh folder (ending in "/") and returns it.
    std::string unpack(const std::string& project) {
        const std::string target = folder + "entpackt-" + std::to_string(++m_unpacked) + "/";
        std::filesystem::create_directories(target);
        TZipArchive zip;
        zip.OnMessage = [](const std::string& text) { ADD_FAILURE() << text; };
        EXPECT_TRUE(zip.SetArchive(project));
        EXPECT_TRUE(zip.ExtractAll(target));
        return target;
    }

    ProjectHost host;
    std::unique_ptr<TForm_Schauplatz> form;
    // The host outlives its window.
    struct Other {
        std::unique_ptr<ProjectHost> host;
        std::unique_ptr<TForm_Schauplatz> form;
    };
    std::vector<Other> others;
    std::string folder;

private:
    int m_unpacked = 0;
};

} // namespace schauplatz::testing
