// Shows one dialog by name and saves a picture of it, for the screenshot script and for
// reviewers: orvex_show_dialog <name> <file.png>. Names: alarms, colours, fonts, about,
// settings, information, help, port, portsearch, recording, all (all writes <file>-<name>.png
// for each).
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "ui/dialogs/LogFileDlg.h"

#include "ui/ColorStatic.h"
#include "ui/PolishLocale.h"
#include "ui/dialogs/AboutDlg.h"
#include "ui/dialogs/AlarmsDlg.h"
#include "ui/dialogs/AppIcon.h"
#include "ui/dialogs/ColorDlg.h"
#include "ui/dialogs/ComDlg.h"
#include "ui/dialogs/DialogAdv.h"
#include "ui/dialogs/FontDlg.h"
#include "ui/dialogs/HelpWindow.h"
#include "ui/dialogs/MqttDlg.h"
#include "ui/dialogs/SettingsDlg.h"
#include "ui/dialogs/WaitComDlg.h"

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
    if (name == QLatin1String("mqtt")) {
        auto d = std::make_unique<CMqttDlg>("/etc/orvex");
        d->settings.enabled = true;
        d->settings.host = "broker.zaklad.local";
        d->settings.tls = true;
        d->settings.caFile = "/etc/orvex/ca.pem";
        d->settings.username = "hala1";
        d->settings.passwordFile = "/etc/orvex/mqtt-haslo";
        d->settings.topicPrefix = "zaklad/hala1";
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
    if (name == QLatin1String("port")) {
        // A machine with one USB adapter, whatever this one has.
        CComDlg::SetPortLister([](int& count, std::string& text) {
            count = 2;
            text = "COM1:serial, /dev/ttyS0\nCOM33:USB-RS485 Adapter, /dev/ttyUSB0\n";
            return true;
        });
        auto d = std::make_unique<CComDlg>();
        d->SetCurrent(33, 9600, 'E');
        return d;
    }
    if (name == QLatin1String("portsearch")) {
        // A search slow enough to be seen.
        auto d = std::make_unique<CWaitComDlg>();
        d->SetLister([](int& count, std::string& text) {
            std::this_thread::sleep_for(std::chrono::seconds(2));
            count = 0;
            text.clear();
            return true;
        });
        return d;
    }
    if (name == QLatin1String("recording")) {
        auto d = std::make_unique<CLogFileDlg>();
        d->textRecording = 1;
        d->textFileName = QStringLiteral("/home/user/pomiary/szklarnia.csv");
        d->binaryFileName = QStringLiteral("/home/user/pomiary/szklarnia.qdx");
        d->interval = 60;
        d->separator = 2;
        for (int i = 0; i < 8; ++i) {
            d->inputFlags[i] = i < 5 ? 1 : 0;
        }
        return d;
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
    InstallPolishLocale(app);
    QApplication::setWindowIcon(OrvexIcon());
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: %s alarms|colours|fonts|about|settings|information|help|port|"
                     "portsearch|recording|mqtt|all <file.png>\n",
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
    for (const char* each : {"alarms", "colours", "fonts", "about", "settings", "information",
                             "help", "port", "portsearch", "recording", "mqtt"}) {
        ok = Save(QString::fromLatin1(each),
                  base + QLatin1Char('-') + QLatin1String(each) + QStringLiteral(".png")) &&
             ok;
    }
    return ok ? 0 : 1;
}
