#include "ui/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>

bool InstallPolishQtTranslation(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_pl"), folder) ||
        !QCoreApplication::installTranslator(translator)) {
        std::fprintf(stderr,
                     "orvex: Qt's Polish translation (qtbase_pl.qm in %s, package "
                     "qt6-translations-l10n) cannot be loaded; standard buttons stay in English\n",
                     qPrintable(folder));
        delete translator;
        return false;
    }
    return true;
}
