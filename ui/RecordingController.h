#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <optional>

#include "recording/RecordingCore.h"
#include "settings/LogSettings.h"

class QMessageBox;
class QWidget;
class COrvexDriver;

// The main window's recording over the recording core: the start-up step, the recording command
// and its dialog, the recording timer, and what the user is told. The files follow `log`, the
// window's [LOG] settings, which the command changes; what a tick writes and how the files are
// kept is the core's.
class CRecordingController : public QObject {
    Q_OBJECT
public:
    // Messages and dialogs go over window; whether its run has ended is asked of closed.
    CRecordingController(QWidget& window, COrvexDriver& driver, LogSettings& log,
                         std::function<bool()> closed);
    ~CRecordingController() override;

    // Called when the status line's recording part may have changed.
    std::function<void()> onStatusChanged;
    // Where a failing file's held records go when the command closes it (empty: given up).
    std::filesystem::path rescueFolder;
    // The text file's comment, kept for the run only.
    QString comment;

    // Opens the files named in the settings for appending; a failure brings the command up.
    void OpenAtStartup();
    // "Rejestracja do pliku": the dialog, then the files and the timer.
    void Command();
    // One snapshot of the driver to both open files, so that they agree on what the tick saw.
    void Tick();
    // One record to each open file; nothing when the file is not open.
    void WriteTextRecord();
    void WriteBinaryRecord();
    // At the end of the run: one last attempt, then records still held go to a rescue file in
    // folder. Gives the texts that tell the user where they went (or how many were lost).
    QStringList Close(const std::filesystem::path& folder);
    void StopTimer();

    bool IsRecording() const { return timer.isActive(); }
    const QTimer& Timer() const { return timer; }
    const CRecordingFile* TextFile() const { return core.File(RecordingFileKind::Text); }
    const CRecordingFile* BinaryFile() const { return core.File(RecordingFileKind::Binary); }
    // The status line's part: the recording period while recording, and the failures.
    QString StatusText() const;

private:
    enum class DialogRun { Done, Again };
    // What the dialog shows and gives back.
    struct Choice {
        LogSettings log;
        QString comment;
    };
    // binaryUntried keeps a binary recording whose file the start-up step has not tried yet
    // when the dialog is cancelled.
    void RunCommand(bool binaryUntried);
    // One run of the dialog and the steps after OK; Again after a failed opening, or after a
    // refused comment (refused then holds the dialog's values, none of them applied).
    DialogRun RunDialog(bool binaryUntried, std::optional<Choice>& refused);
    bool OpenFile(RecordingFileKind kind, bool ask, bool* appended);
    void RestartTimer();
    // The core with the current settings: log changes under it (the command, tests).
    CRecordingCore& Core();
    RecordingSnapshot Snapshot() const;
    void OnEvent(const RecordingEvent& event);
    void ShowNotice(QPointer<QMessageBox>& box, const char* name, const QString& text,
                    const QString& details);
    void StatusChanged();
    QString WriteFailureText() const;
    QString MediumAwayText() const;
    QString FailureText() const;

    QWidget& window;
    COrvexDriver& driver;
    LogSettings& log;
    std::function<bool()> closed;
    CRecordingCore core;
    QTimer timer;
    QPointer<QMessageBox> writeFailureBox;  // the one message of a failure spell, while shown
    QPointer<QMessageBox> mediumAwayBox;    // the one message of a medium gone, while shown
    bool closing = false;                   // Close runs: its caller tells the user
};
