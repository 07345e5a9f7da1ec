#include "platform/GuardedCall.h"

#include "platform/ErrorDialog.h"
#include "support/CrashReport.h"

#include <QPointer>
#include <QWidget>

#include <cstdio>

namespace schauplatz {

namespace {

int g_depth = 0;
int g_reported = 0;
bool g_dialogOpen = false;
QPointer<QWidget> g_parent;

struct DepthScope {
    DepthScope() { ++g_depth; }
    ~DepthScope() { --g_depth; }
    DepthScope(const DepthScope&) = delete;
    DepthScope& operator=(const DepthScope&) = delete;
};

void report(std::exception_ptr error) {
    ++g_reported;
    CrashReport crash = MakeCrashReport(error);
    // A handler that fails again while the dialog is open (a paint under the
    // dialog, say) must not stack dialogs on top of each other.
    if (g_dialogOpen) {
        std::fprintf(stderr, "%s\n", crash.text().c_str());
        return;
    }
    g_dialogOpen = true;
    try {
        ErrorDialog::present(crash, g_parent.data());
    } catch (...) {
        std::fprintf(stderr, "%s\n", crash.text().c_str());
    }
    g_dialogOpen = false;
}

} // namespace

bool runGuarded(const std::function<void()>& call) {
    try {
        DepthScope scope;
        call();
        return true;
    } catch (...) {
        report(std::current_exception());
        return false;
    }
}

void reportCurrentException() {
    report(std::current_exception());
}

int guardedCallDepth() {
    return g_depth;
}

bool errorDialogShowing() {
    return g_dialogOpen;
}

int reportedErrorCount() {
    return g_reported;
}

void setErrorDialogParent(QWidget* parent) {
    g_parent = parent;
}

} // namespace schauplatz
