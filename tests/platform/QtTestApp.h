#pragma once

// One application object for the whole platform test binary, created on
// first use under the offscreen platform.

#include "platform/SchauplatzApplication.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include <stdlib.h>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace schauplatz::testing {

inline SchauplatzApplication& testApp() {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    static SchauplatzApplication* app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new SchauplatzApplication(argc, argv); // lives until the process ends
    }();
    return *app;
}

// Runs a real event loop for ms milliseconds. Unlike processEvents, the loop
// may block, so the idle pump sees the queue run empty as in the program.
inline void spinEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Processes events until condition holds or timeoutMs passed; true when it
// held. (Qt's QTRY macros report through QTest and would fail silently here.)
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        spinEventLoop(5);
    }
    return true;
}

// A fresh folder under the system's temporary folder, removed at scope end.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "platform-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern + "/";
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace schauplatz::testing
