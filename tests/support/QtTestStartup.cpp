// Linked into every QtTest program: the application starts as the program's does, with Qt's
// Polish translation and locale installed, so the tests see the standard texts the users see.
#include <QCoreApplication>

#include "ui/PolishLocale.h"

namespace {

void InstallAtStart() {
    InstallPolishLocale(*QCoreApplication::instance());
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallAtStart)
