#pragma once

// A FormHost with scripted dialog answers that records every request.

#include "testsupport/NullFormHost.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace schauplatz::testing {

class ScriptedHost : public NullFormHost {
public:
    std::deque<std::string> openAnswers; // "" = cancelled when empty
    std::deque<std::string> saveAnswers;
    std::deque<std::string> folderAnswers;

    std::vector<FileDialogRequest> openRequests;
    std::vector<FileDialogRequest> saveRequests;
    std::vector<std::string> captions;
    std::vector<FormComponent> repainted;
    std::vector<std::string> messages;
    int processMessagesCalls = 0;
    int menuStateChanges = 0;
    int idleInstalls = 0;
    std::vector<bool> dropRegistrations;
    std::vector<ClipboardPicture> clipboard;
    // Answers to the unsaved-changes question, in order ("Verwerfen" when none is left).
    std::deque<SaveChangesAnswer> saveChangesAnswers;
    std::vector<std::string> questions;
    // Answers to the question whether work a crash left is restored ("Verwerfen" when none).
    std::deque<RestoreAnswer> restoreAnswers;

    // Answers to "Darstellung": the settings the user moves through (each one a preview), then
    // optionally "Automatisch an Fassade anpassen", then OK or "Abbrechen". None left: the
    // dialog is cancelled at once.
    struct AppearanceAnswer {
        std::vector<TAppearance> steps;
        bool autoMatch = false;
        bool ok = true;
    };
    std::deque<AppearanceAnswer> appearanceAnswers;
    std::vector<TAppearance> appearanceShown;   // the settings each dialog started with
    std::vector<TAppearance> appearanceChoices; // told by appearanceChosen
    TAppearance keptAppearance;                 // startAppearance: kept from an earlier run

    std::optional<TAppearance> editAppearance(const AppearanceDialogRequest& request) override {
        appearanceShown.push_back(request.initial);
        if (appearanceAnswers.empty()) return std::nullopt;
        const AppearanceAnswer answer = appearanceAnswers.front();
        appearanceAnswers.pop_front();
        TAppearance shown = request.initial;
        for (const TAppearance& step : answer.steps) {
            shown = step;
            request.preview(shown);
        }
        if (answer.autoMatch) {
            shown = request.autoMatch(shown);
            request.preview(shown);
        }
        if (!answer.ok) return std::nullopt;
        return shown;
    }
    TAppearance startAppearance() override { return keptAppearance; }
    void appearanceChosen(const TAppearance& settings) override {
        appearanceChoices.push_back(settings);
    }

    std::string openFileDialog(const FileDialogRequest& request) override {
        openRequests.push_back(request);
        return next(openAnswers);
    }
    std::string saveFileDialog(const FileDialogRequest& request) override {
        saveRequests.push_back(request);
        return next(saveAnswers);
    }
    std::string selectFolderDialog(const std::string&, const std::string&) override {
        return next(folderAnswers);
    }
    void setClipboardPicture(const ClipboardPicture& picture) override {
        clipboard.push_back(picture);
    }
    void processMessages() override { ++processMessagesCalls; }
    void showMessage(const std::string& title, const std::string& text) override {
        messages.push_back(title + ": " + text);
    }
    void repaint(FormComponent component) override { repainted.push_back(component); }
    void captionChanged(const std::string& caption) override { captions.push_back(caption); }
    void menuStateChanged() override { ++menuStateChanges; }
    void installIdleHandler() override { ++idleInstalls; }
    void acceptDroppedFiles(bool accept) override { dropRegistrations.push_back(accept); }
    RestoreAnswer askRestore(const std::string& question) override {
        questions.push_back(question);
        if (restoreAnswers.empty()) return RestoreAnswer::Discard;
        const RestoreAnswer answer = restoreAnswers.front();
        restoreAnswers.pop_front();
        return answer;
    }
    SaveChangesAnswer askSaveChanges(const std::string& question) override {
        questions.push_back(question);
        if (saveChangesAnswers.empty()) return SaveChangesAnswer::Discard;
        const SaveChangesAnswer answer = saveChangesAnswers.front();
        saveChangesAnswers.pop_front();
        return answer;
    }

private:
    static std::string next(std::deque<std::string>& answers) {
        if (answers.empty()) return {};
        std::string answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace schauplatz::testing
