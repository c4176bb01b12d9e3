// Shows one dialog by name and saves a picture of it, for the screenshot script and for
// reviewers: orvex_show_dialog <name> <file.png>. Names: alarms, colours, fonts, about,
// settings, information, help, all (all writes <file>-<name>.png for each).
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>

#include "ui/ColorStatic.h"
#include "ui/dialogs/AboutDlg.h"
#include "ui/dialogs/AlarmsDlg.h"
#include "ui/dialogs/AppIcon.h"
#include "ui/dialogs/ColorDlg.h"
#include "ui/dialogs/DialogAdv.h"
#include "ui/dialogs/FontDlg.h"
#include "ui/dialogs/HelpWindow.h"
#include "ui/dialogs/SettingsDlg.h"

namespace {

// Eight value controls with the main window's default colours, for the colours and fonts
// dialogs.
struct Inputs {
    CColorStatic controls[8];
    Inputs() {
        for (int i = 0; i < 8; ++i) {
            controls[i].SetBackgroundColour(Rgb(202 + 5 * i, 228 + 2 * i, 255));
            controls[i].SetTextColour(Rgb(5 * i, 64 + 5 * i, 128));
            controls[i].CreateValueFont();
        }
    }
};

std::unique_ptr<QDialog> Make(const QString& name, Inputs& inputs) {
    if (name == QLatin1String("alarms")) {
        auto d = std::make_unique<CAlarmsDlg>();
        d->internalOn = 1;
        return d;
    }
    if (name == QLatin1String("colours")) {
        auto d = std::make_unique<CColorDlg>();
        for (int i = 0; i < 8; ++i) {
            d->valueControls[i] = &inputs.controls[i];
        }
        return d;
    }
    if (name == QLatin1String("fonts")) {
        auto d = std::make_unique<CFontDlg>();
        for (int i = 0; i < 8; ++i) {
            d->valueControls[i] = &inputs.controls[i];
        }
        return d;
    }
    if (name == QLatin1String("about")) {
        return std::make_unique<CAboutDlg>();
    }
    if (name == QLatin1String("settings")) {
        return std::make_unique<CSettingsDlg>();
    }
    if (name == QLatin1String("information")) {
        return std::make_unique<CDialogAdv>();
    }
    if (name == QLatin1String("help")) {
        return std::make_unique<CHelpWindow>();
    }
    return nullptr;
}

bool Save(const QString& name, const QString& file) {
    Inputs inputs;
    std::unique_ptr<QDialog> dialog = Make(name, inputs);
    if (!dialog) {
        std::fprintf(stderr, "unknown dialog %s\n", qPrintable(name));
        return false;
    }
    dialog->show();
    // Let the window system map and paint it.
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    const bool saved = dialog->grab().save(file);
    std::fprintf(stderr, saved ? "%s\n" : "cannot save %s\n", qPrintable(file));
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(OrvexIcon());
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: %s alarms|colours|fonts|about|settings|information|help|all "
                     "<file.png>\n",
                     argv[0]);
        return 2;
    }
    const QString name = QString::fromLocal8Bit(argv[1]);
    const QString file = QString::fromLocal8Bit(argv[2]);
    if (name != QLatin1String("all")) {
        return Save(name, file) ? 0 : 1;
    }
    QString base = file;
    if (base.endsWith(QLatin1String(".png"))) {
        base.chop(4);
    }
    bool ok = true;
    for (const char* each :
         {"alarms", "colours", "fonts", "about", "settings", "information", "help"}) {
        ok = Save(QString::fromLatin1(each),
                  base + QLatin1Char('-') + QLatin1String(each) + QStringLiteral(".png")) &&
             ok;
    }
    return ok ? 0 : 1;
}
