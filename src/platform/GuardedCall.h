#pragma once

// Every call from the Qt layer into the window's handlers (menus, mouse,
// paint, idle, drops) goes through runGuarded: an exception that escapes the
// handler is reported in the error dialog and the event loop goes on.

#include <functional>

class QWidget;

namespace schauplatz {

// Runs call; on an escaped exception shows the error dialog (parented to the
// widget set with setErrorDialogParent) and returns false.
bool runGuarded(const std::function<void()>& call);

// Reports the exception being handled (call only inside a catch block).
void reportCurrentException();

// How many guarded calls are running right now (0 between events).
int guardedCallDepth();

// Whether the error dialog is open right now.
bool errorDialogShowing();

// How many exceptions reached the error handling so far.
int reportedErrorCount();

void setErrorDialogParent(QWidget* parent);

} // namespace schauplatz
