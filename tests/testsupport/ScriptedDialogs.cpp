#include "testsupport/ScriptedDialogs.h"

#include <utility>

namespace schauplatz::testing {

ScriptedDialogs::ScriptedDialogs() : m_script(std::make_shared<Script>()) {}

ScriptedDialogs& ScriptedDialogs::forTitle(const std::string& title, std::string answer) {
    m_script->byTitle[title] = std::move(answer);
    return *this;
}

ScriptedDialogs& ScriptedDialogs::inTurn(std::vector<std::string> answers) {
    m_script->inTurn.assign(std::make_move_iterator(answers.begin()),
                            std::make_move_iterator(answers.end()));
    return *this;
}

ScriptedDialogs& ScriptedDialogs::otherwise(std::string answer) {
    m_script->otherwise = std::move(answer);
    return *this;
}

ScriptedDialogs& ScriptedDialogs::forget() {
    m_script->byTitle.clear();
    m_script->inTurn.clear();
    m_script->otherwise.clear();
    return *this;
}

std::string ScriptedDialogs::answer(Script& script, const std::string& title) {
    script.titles.push_back(title);
    if (const auto kept = script.byTitle.find(title); kept != script.byTitle.end())
        return kept->second;
    if (!script.inTurn.empty()) {
        std::string next = std::move(script.inTurn.front());
        script.inTurn.pop_front();
        return next;
    }
    return script.otherwise;
}

std::string ScriptedDialogs::ask(const std::string& title) {
    return answer(*m_script, title);
}

ScriptedDialogs::Answerer ScriptedDialogs::answerer() const {
    return [script = m_script](const std::string& title) { return answer(*script, title); };
}

const std::vector<std::string>& ScriptedDialogs::titles() const {
    return m_script->titles;
}

std::size_t ScriptedDialogs::pendingInTurn() const {
    return m_script->inTurn.size();
}

} // namespace schauplatz::testing
