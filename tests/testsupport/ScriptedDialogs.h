#pragma once

// Scripted answers for the window's dialogs, handed to it through its dialog seam
// (MainWindow::setDialogAnswer). The dialogs are asked by title; the answer is the chosen
// path, or a button's text for a question ("" cancels, or takes the safe button):
//
//   1. the answer given for that title, every time it is asked;
//   2. else the next of the answers given in turn;
//   3. else the answer for any other dialog ("" unless given).
//
// Every title asked is recorded. The function from answerer() shares the script, so the
// test may change the script after handing the function over, and the function stays valid
// after this object is gone.

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace schauplatz::testing {

class ScriptedDialogs {
public:
    using Answerer = std::function<std::string(const std::string& title)>;

    ScriptedDialogs();

    // Every dialog of this title is answered with answer.
    ScriptedDialogs& forTitle(const std::string& title, std::string answer);
    // The next dialogs without an answer of their own get these, one each, in turn; replaces
    // those of an earlier call not asked for yet.
    ScriptedDialogs& inTurn(std::vector<std::string> answers);
    // The answer when neither of the above gives one.
    ScriptedDialogs& otherwise(std::string answer);
    // Forgets every answer (the titles asked stay recorded): every dialog is cancelled.
    ScriptedDialogs& forget();

    // Answers one dialog as the window would ask it.
    std::string ask(const std::string& title);
    // The function to hand to the window.
    Answerer answerer() const;

    // The titles of the dialogs asked so far, in order.
    const std::vector<std::string>& titles() const;
    // The answers given in turn that no dialog has asked for yet.
    std::size_t pendingInTurn() const;

private:
    struct Script {
        std::map<std::string, std::string> byTitle;
        std::deque<std::string> inTurn;
        std::string otherwise;
        std::vector<std::string> titles;
    };
    static std::string answer(Script& script, const std::string& title);

    std::shared_ptr<Script> m_script;
};

} // namespace schauplatz::testing
