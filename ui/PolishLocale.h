#pragma once

class QCoreApplication;

// Installs Qt's own Polish translation (qtbase_pl.qm from Qt's translations folder) into the
// application, whatever the user's locale: the whole interface is Polish, the buttons and
// choosers that Qt draws itself included. The program and its tests call it alike, so the
// tests see the texts the users see. Returns false, after a line on standard error, when the
// translation is not installed; the standard texts then stay English.
bool InstallPolishQtTranslation(QCoreApplication& application);
