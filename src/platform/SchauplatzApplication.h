#pragma once

// The application object. Its notify is the backstop of the general error
// handling: an exception that escapes an event handler which runGuarded did
// not wrap reaches the error dialog here, and the loop goes on.

#include <QApplication>

namespace schauplatz {

class SchauplatzApplication : public QApplication {
    Q_OBJECT
public:
    SchauplatzApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace schauplatz
