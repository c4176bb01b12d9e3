#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/OrvexApp.h"
#include "ui/OrvexDlg.h"

namespace {

// Developer diagnostics, off unless their environment variable is set:
//   ORVEX_STARTUP_TIMING=1   print the time from start to the first painted main window;
//   ORVEX_SCREENSHOT=FILE    save the main window as an image after ORVEX_SCREENSHOT_DELAY
//                            seconds (default 8) and print the file's path.
class CFirstPaintReporter : public QObject {
public:
    explicit CFirstPaintReporter(const QElapsedTimer& sinceStart) : sinceStart(sinceStart) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            std::fprintf(stderr, "orvex: first paint of the main window after %lld ms\n",
                         static_cast<long long>(sinceStart.elapsed()));
            watched->removeEventFilter(this);
        }
        return false;
    }

private:
    const QElapsedTimer& sinceStart;
};

void InstallDiagnostics(COrvexApp& app, CFirstPaintReporter& reporter) {
    const bool timing = qEnvironmentVariableIsSet("ORVEX_STARTUP_TIMING");
    const QString screenshot = qEnvironmentVariable("ORVEX_SCREENSHOT");
    if (!timing && screenshot.isEmpty()) {
        return;
    }
    bool ok = false;
    double delay = qEnvironmentVariable("ORVEX_SCREENSHOT_DELAY").toDouble(&ok);
    if (!ok || delay < 0) {
        delay = 8;
    }
    app.onWindowReady = [timing, screenshot, delay, &reporter](COrvexDlg& window) {
        if (timing) {
            window.installEventFilter(&reporter);
        }
        if (!screenshot.isEmpty()) {
            QTimer::singleShot(static_cast<int>(delay * 1000), &window, [&window, screenshot] {
                const bool saved = window.grab().save(screenshot);
                std::fprintf(
                    stderr, saved ? "orvex: screenshot %s\n" : "orvex: cannot save screenshot %s\n",
                    qPrintable(screenshot));
            });
        }
    };
}

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvex"));
    COrvexApp app;
    CFirstPaintReporter reporter(sinceStart);
    InstallDiagnostics(app, reporter);
    app.InitInstance();
    return EXIT_SUCCESS;
}
