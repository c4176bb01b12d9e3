#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <optional>

#include <unistd.h>

#include "app/OrvexApp.h"
#include "app/SettingsQuery.h"
#include "ui/OrvexDlg.h"
#include "ui/PolishLocale.h"
#include "ui/dialogs/AppIcon.h"
#include "ui/trend/TrendWnd.h"

namespace {

// From the start time in /proc/self/stat (clock ticks since boot, so 10 ms steps); -1 if unknown.
long long MsSinceProcessStart() {
    std::FILE* file = std::fopen("/proc/self/stat", "r");
    if (file == nullptr) {
        return -1;
    }
    char buffer[1024] = {};
    const std::size_t length = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    // Field 22; the fields after the command name's closing parenthesis start with field 3.
    const char* p = std::strrchr(buffer, ')');
    if (p == nullptr || length == 0) {
        return -1;
    }
    unsigned long long startTicks = 0;
    int field = 2;
    for (const char* token = p + 1; *token != '\0' && field < 22; ++token) {
        if (*token == ' ') {
            ++field;
            if (field == 22) {
                startTicks = std::strtoull(token + 1, nullptr, 10);
            }
        }
    }
    timespec now = {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    const long long nowMs = now.tv_sec * 1000LL + now.tv_nsec / 1000000;
    return nowMs - static_cast<long long>(startTicks * 1000 / ticksPerSecond);
}

// Developer diagnostics, off unless their environment variable is set:
//   ORVEX_STARTUP_TIMING=1   print the time from start to the first painted main window;
//   ORVEX_SCREENSHOT=FILE    save the main window as an image after ORVEX_SCREENSHOT_DELAY
//                            seconds (default 8) and print the file's path.
//   ORVEX_TREND_SCREENSHOT=FILE  open the trend window at start and save it likewise.
class CFirstPaintReporter : public QObject {
public:
    explicit CFirstPaintReporter(const QElapsedTimer& sinceStart) : sinceStart(sinceStart) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            std::fprintf(stderr,
                         "orvex: first paint of the main window after %lld ms "
                         "(%lld ms since the process started)\n",
                         static_cast<long long>(sinceStart.elapsed()), MsSinceProcessStart());
            watched->removeEventFilter(this);
        }
        return false;
    }

private:
    const QElapsedTimer& sinceStart;
};

// After ms milliseconds, saves a picture of the widget `which` names and says where.
void SaveScreenshotLater(QWidget& context, int ms, const QString& file,
                         std::function<QWidget*()> which) {
    QTimer::singleShot(ms, &context, [which = std::move(which), file] {
        const bool saved = which()->grab().save(file);
        std::fprintf(stderr,
                     saved ? "orvex: screenshot %s\n" : "orvex: cannot save screenshot %s\n",
                     qPrintable(file));
    });
}

void InstallDiagnostics(COrvexApp& app, CFirstPaintReporter& reporter) {
    const bool timing = qEnvironmentVariableIsSet("ORVEX_STARTUP_TIMING");
    const QString screenshot = qEnvironmentVariable("ORVEX_SCREENSHOT");
    const QString trendShot = qEnvironmentVariable("ORVEX_TREND_SCREENSHOT");
    if (!timing && screenshot.isEmpty() && trendShot.isEmpty()) {
        return;
    }
    bool ok = false;
    double delay = qEnvironmentVariable("ORVEX_SCREENSHOT_DELAY").toDouble(&ok);
    if (!ok || delay < 0) {
        delay = 8;
    }
    const int delayMs = static_cast<int>(delay * 1000);
    // The viewer (--view) has no main window: its own window is the trend window.
    app.onViewerReady = [trendShot, delayMs](QWidget& window) {
        if (!trendShot.isEmpty()) {
            SaveScreenshotLater(window, delayMs, trendShot, [&window] { return &window; });
        }
    };
    app.onWindowReady = [timing, screenshot, trendShot, delayMs, &reporter](COrvexDlg& window) {
        if (!trendShot.isEmpty()) {
            window.ShowTrendWindow();
            SaveScreenshotLater(window, delayMs, trendShot,
                                [&window]() -> QWidget* { return window.ShowTrendWindow(); });
        }
        if (timing) {
            window.installEventFilter(&reporter);
        }
        if (!screenshot.isEmpty()) {
            SaveScreenshotLater(window, delayMs, screenshot,
                                [&window]() -> QWidget* { return &window; });
        }
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = AnswerSettingsQuery(argc, argv, stdout)) {
        return *status;
    }
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvex"));
    InstallPolishLocale(application);
    QApplication::setWindowIcon(OrvexIcon());  // every dialog carries it
    COrvexApp app;
    CFirstPaintReporter reporter(sinceStart);
    InstallDiagnostics(app, reporter);
    // orvex --view FILE: the recording in the trend window, without the monitor.
    const QStringList arguments = QApplication::arguments();
    const qsizetype view = arguments.indexOf(QStringLiteral("--view"));
    if (view >= 0) {
        if (view + 1 >= arguments.size()) {
            std::fprintf(stderr, "orvex: --view wymaga nazwy pliku\n");
            return 2;
        }
        app.RunViewer(arguments[view + 1]);
        return EXIT_SUCCESS;
    }
    app.InitInstance();
    return EXIT_SUCCESS;
}
