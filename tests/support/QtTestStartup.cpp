// Linked into every QtTest program: the application starts as the program's does, with Qt's
// Polish translation installed, so the tests see the standard texts the users see.
#include <QCoreApplication>

#include "ui/QtTranslation.h"

namespace {

void InstallAtStart() {
    InstallPolishQtTranslation(*QCoreApplication::instance());
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallAtStart)
