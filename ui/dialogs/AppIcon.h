#pragma once
#include <QIcon>

// The program's icon (an embedded SVG), for the main window and, through
// QApplication::setWindowIcon, for every dialog.
QIcon OrvexIcon();

// Makes the dialogs' embedded files (icon, logo, help, information text) available; the
// library is static, so its resources are not registered by themselves.
void InitDialogResources();
