// The main window's recording: the recording command, the start-up step and what the user is
// told. What a tick writes and how the files are kept is CRecordingCore's.
#include <QAction>
#include <QFile>
#include <QMessageBox>
#include <QStringList>
#include <algorithm>
#include <array>
#include <climits>
#include <optional>

#include "ui/dialogs/LogFileDlg.h"
#include "text/FileErrorText.h"
#include "ui/OrvexDlg.h"

namespace {

const QString kTitle = QStringLiteral("orvex");
const QString kTextUnavailable =
    QStringLiteral("Wybrany plik rejestracji wyników pomiaru jest niedostępny.");
const QString kBinaryUnavailable = QStringLiteral("Wybrany plik binarny jest niedostępny.");
const QString kTextExists = QStringLiteral(
    "Plik rejestracji pomiarów już istnieje.\r\nWybierz Tak aby dopisywać wyniki do "
    "poprzednich,\r\nwybierz Nie aby skasować poprzednią zawartość pliku.");
const QString kBinaryExists = QStringLiteral(
    "Plik binarny już istnieje.\r\nWybierz Tak aby dopisywać wyniki do poprzednich,\r\nwybierz "
    "Nie aby skasować poprzednią zawartość pliku.");

std::string FilePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString Reason(int error) {
    return QString::fromStdString(DescribeFileError(error));
}

void ShowUnavailable(QWidget* parent, RecordingFileKind kind, int error) {
    QMessageBox box(QMessageBox::Warning, kTitle,
                    kind == RecordingFileKind::Text ? kTextUnavailable : kBinaryUnavailable,
                    QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("recordingUnavailableBox"));
    if (error != 0) {
        box.setInformativeText(Reason(error));
    }
    box.exec();
}

}  // namespace

RecordingSettings COrvexDlg::CurrentRecordingSettings() const {
    RecordingSettings settings;
    settings.textOn = textRecordingOn;
    settings.binaryOn = binaryRecordingOn;
    settings.textPath = FilePath(textFilePath);
    settings.binaryPath = FilePath(binaryFilePath);
    settings.interval = recordingInterval;
    settings.separatorCode = separatorCode;
    for (int i = 0; i < 8; ++i) {
        settings.recordInput[i] = recordInput[i] != 0;
    }
    settings.writeComment = writeComment != 0;
    settings.comment = commentText.toStdString();
    return settings;
}

CRecordingCore& COrvexDlg::Recording() {
    // The fields are public and change under the core (the command, tests): hand them over
    // before every step.
    recordingCore.SetSettings(CurrentRecordingSettings());
    recordingCore.SetRescueFolder(rescueFolder);
    return recordingCore;
}

RecordingSnapshot COrvexDlg::CurrentSnapshot() {
    RecordingSnapshot snapshot;
    snapshot.time = LocalRecordTimeNow();
    // The driver's state now, not the one the display copied up to five seconds ago.
    snapshot.responding = driver.IsDeviceResponding();
    if (snapshot.responding) {
        for (int i = 0; i < 8; ++i) {
            driver.GetReading(static_cast<uint8_t>(i), snapshot.readings[i]);
        }
    }
    return snapshot;
}

int COrvexDlg::EffectiveRecordingInterval() const {
    return CRecordingCore::EffectiveInterval(recordingInterval);
}

void COrvexDlg::RestartRecordingTimer() {
    // A QTimer holds an int of milliseconds: intervals above about 24 days are cut to that.
    const long long ms = 1000LL * EffectiveRecordingInterval();
    recordingTimer.start(static_cast<int>(std::min<long long>(ms, INT_MAX)));
}

void COrvexDlg::WriteTextRecord() {
    if (!recordingCore.IsOpen(RecordingFileKind::Text)) {
        return;
    }
    Recording().WriteText(CurrentSnapshot());
}

void COrvexDlg::WriteBinaryRecord() {
    if (!recordingCore.IsOpen(RecordingFileKind::Binary)) {
        return;
    }
    Recording().WriteBinary(CurrentSnapshot());
}

void COrvexDlg::OnRecordingEvent(const RecordingEvent& event) {
    switch (event.kind) {
        case RecordingEventKind::SpellStarted:
            UpdateStatusLine();
            ShowRecordingNotice(
                writeFailureBox, "writeFailureBox", WriteFailureText(),
                QStringLiteral("Program próbuje dalej przy każdym zapisie. Pomiary, których "
                               "nie udało się zapisać, są przechowywane w pamięci i zostaną "
                               "dopisane do pliku, gdy zapis znów będzie możliwy."));
            break;
        case RecordingEventKind::MediumAway:
            UpdateStatusLine();
            ShowRecordingNotice(
                mediumAwayBox, "mediumAwayBox", MediumAwayText(),
                QStringLiteral("Program nie tworzy pliku w innym miejscu: zapisuje dalej do "
                               "otwartego pliku, a gdy nośnik wróci, dopisuje do pliku na nim. "
                               "Pomiary, których nie uda się zapisać, są przechowywane w "
                               "pamięci."));
            break;
        case RecordingEventKind::Rescued:
        case RecordingEventKind::Lost:
            // A failing file closed by the recording command.
            if (!closingRecording) {
                QMessageBox box(QMessageBox::Warning, kTitle,
                                RescueText(event.path, event.count, event.rescuePath, event.error,
                                           rescueFolder),
                                QMessageBox::Ok, this);
                box.setObjectName(QStringLiteral("recordingRescueBox"));
                box.exec();
            }
            break;
        case RecordingEventKind::SpellEnded:
        case RecordingEventKind::MediumBack:
            UpdateStatusLine();
            break;
        default:
            break;
    }
}

void COrvexDlg::ShowRecordingNotice(QPointer<QMessageBox>& box, const char* name,
                                    const QString& text, const QString& details) {
    // A second file in the same trouble is added to the message that is open.
    if (box) {
        box->setText(text);
        return;
    }
    // Not modal: the recording timer must go on writing (and queueing) while the user reads it,
    // and a spell that goes on must not pile up boxes.
    box = new QMessageBox(QMessageBox::Warning, kTitle, text, QMessageBox::Ok, this);
    box->setObjectName(QLatin1String(name));
    box->setInformativeText(details);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

QString COrvexDlg::WriteFailureText() const {
    QStringList lines;
    for (const CRecordingFile* file : {TextFile(), BinaryFile()}) {
        if (file != nullptr && file->Failing()) {
            lines << QStringLiteral("Nie można zapisać pomiarów do pliku %1: %2.")
                         .arg(QFile::decodeName(QByteArray::fromStdString(file->Path())),
                              Reason(file->LastError()));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString COrvexDlg::MediumAwayText() const {
    QStringList lines;
    for (const CRecordingFile* file : {TextFile(), BinaryFile()}) {
        if (file != nullptr && file->MediumAway()) {
            lines << QStringLiteral("Nośnik z plikiem %1 jest niedostępny.")
                         .arg(QFile::decodeName(QByteArray::fromStdString(file->Path())));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString COrvexDlg::RecordingFailureText() const {
    QString text;
    QStringList reasons;
    for (const CRecordingFile* file : {TextFile(), BinaryFile()}) {
        if (file == nullptr) {
            continue;
        }
        if (file->MediumAway() && text.isEmpty()) {
            text = QStringLiteral("Nośnik z plikiem jest niedostępny. ");
        }
        if (file->Failing() && !reasons.contains(Reason(file->LastError()))) {
            reasons << Reason(file->LastError());
        }
    }
    if (!reasons.isEmpty()) {
        text +=
            QStringLiteral("Błąd zapisu do pliku: %1. ").arg(reasons.join(QStringLiteral("; ")));
    }
    return text;
}

QString COrvexDlg::RescueText(const std::string& path, std::size_t held,
                              const std::string& rescuePath, int error,
                              const std::filesystem::path& folder) {
    const QString file = QFile::decodeName(QByteArray::fromStdString(path));
    if (!rescuePath.empty()) {
        return QStringLiteral(
                   "Pomiary, których nie udało się zapisać do pliku %1 (%2), "
                   "zapisano w pliku %3.")
            .arg(file)
            .arg(held)
            .arg(QFile::decodeName(QByteArray::fromStdString(rescuePath)));
    }
    return QStringLiteral(
               "Nie udało się zapisać pomiarów do pliku %1 ani do pliku w folderze %2 "
               "(%3). Utracone pomiary: %4.")
        .arg(file, QFile::decodeName(QByteArray::fromStdString(folder.string())), Reason(error))
        .arg(held);
}

QStringList COrvexDlg::CloseRecording(const std::filesystem::path& rescueFolder) {
    recordingTimer.stop();
    QStringList texts;
    closingRecording = true;  // the caller tells the user, where a message can still be seen
    for (const CRecordingCore::Closing& closing : recordingCore.Close(rescueFolder)) {
        texts << RescueText(closing.path, closing.held, closing.rescuePath, closing.error,
                            rescueFolder);
    }
    closingRecording = false;
    return texts;
}

bool COrvexDlg::OpenRecordingFile(RecordingFileKind kind, bool ask, bool* appended) {
    CRecordingCore::AppendQuestion question;
    if (ask) {
        question = [this](RecordingFileKind k) {
            return QMessageBox::question(
                       this, kTitle, k == RecordingFileKind::Text ? kTextExists : kBinaryExists,
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
        };
    }
    const CRecordingCore::Opening opening = Recording().OpenFile(kind, question);
    *appended = opening.appended;
    if (opening.error != 0) {
        ShowUnavailable(this, kind, opening.error);
        return false;
    }
    return true;
}

bool COrvexDlg::RecordingClosed() const {
    // The window's run has ended under a message or a dialog of the recording (its close box, a
    // termination signal): nothing more may be opened or written, nothing switched.
    return initialised && !isVisible();
}

void COrvexDlg::OnFileRecording() {
    RecordingCommand(false);
}

void COrvexDlg::RecordingCommand(bool binaryUntried) {
    std::optional<RecordingChoice> refused;
    while (RunRecordingDialog(binaryUntried, refused) == DialogRun::Again) {
    }
    if (RecordingClosed()) {
        return;
    }
    // With no file left open nothing is recorded: no timer, no recording text.
    if (!recordingCore.AnyOpen()) {
        recordingTimer.stop();
    }
    UpdateStatusLine();
}

COrvexDlg::RecordingChoice COrvexDlg::CurrentRecordingChoice() const {
    RecordingChoice choice;
    choice.textRecording = textRecordingOn ? 1 : 0;
    choice.binaryRecording = binaryRecordingOn ? 1 : 0;
    choice.textFileName = textFilePath;
    choice.binaryFileName = binaryFilePath;
    choice.interval = recordingInterval;
    choice.separator = separatorCode;
    std::copy(std::begin(recordInput), std::end(recordInput), choice.inputFlags);
    choice.addComment = writeComment;
    choice.comment = commentText;
    return choice;
}

COrvexDlg::DialogRun COrvexDlg::RunRecordingDialog(bool binaryUntried,
                                                   std::optional<RecordingChoice>& refused) {
    // After a refused comment the dialog shows what the user chose, nothing of it applied yet.
    const RecordingChoice shown = refused ? *refused : CurrentRecordingChoice();
    refused.reset();
    CLogFileDlg dialog(this);
    dialog.textRecording = shown.textRecording;
    dialog.binaryRecording = shown.binaryRecording;
    dialog.textFileName = shown.textFileName;
    dialog.binaryFileName = shown.binaryFileName;
    dialog.interval = shown.interval;
    dialog.separator = shown.separator;
    std::copy(std::begin(shown.inputFlags), std::end(shown.inputFlags), dialog.inputFlags);
    dialog.addComment = shown.addComment;
    dialog.comment = shown.comment;
    const int oldSeparator = separatorCode;
    const bool oldTextOn = textRecordingOn;
    const bool oldBinaryOn = binaryRecordingOn;
    const QString oldTextPath = textFilePath;
    const QString oldBinaryPath = binaryFilePath;

    const int result = dialog.exec();
    if (RecordingClosed()) {
        return DialogRun::Done;
    }
    if (result != QDialog::Accepted) {
        // A recording whose file is not open (a failed opening, say) is switched off; but not
        // the binary file that the start-up step has yet to open after a failed text file.
        if (!recordingCore.IsOpen(RecordingFileKind::Text)) {
            textRecordingOn = false;
        }
        if (!recordingCore.IsOpen(RecordingFileKind::Binary) && !binaryUntried) {
            binaryRecordingOn = false;
        }
        return DialogRun::Done;
    }
    repaint();
    // The comment is checked before anything changes: a refusal leaves the recording as it was.
    const bool textReopens =
        dialog.textRecording != 0 &&
        (!recordingCore.IsOpen(RecordingFileKind::Text) || dialog.textFileName != oldTextPath ||
         !oldTextOn || dialog.separator != oldSeparator);
    if (textReopens && dialog.addComment != 0 &&
        !CRecordingCore::CommentFits(dialog.comment.toStdString())) {
        QMessageBox::warning(this, kTitle,
                             QStringLiteral("Komentarz zawiera znaki, których nie można "
                                            "zapisać w pliku rejestracji (Windows-1250)."));
        refused = RecordingChoice{dialog.textRecording,
                                  dialog.binaryRecording,
                                  dialog.textFileName,
                                  dialog.binaryFileName,
                                  dialog.interval,
                                  dialog.separator,
                                  {},
                                  dialog.addComment,
                                  dialog.comment};
        std::copy(std::begin(dialog.inputFlags), std::end(dialog.inputFlags), refused->inputFlags);
        return RecordingClosed() ? DialogRun::Done : DialogRun::Again;
    }
    textRecordingOn = dialog.textRecording != 0;
    binaryRecordingOn = dialog.binaryRecording != 0;
    textFilePath = dialog.textFileName;
    binaryFilePath = dialog.binaryFileName;
    recordingInterval = dialog.interval;
    separatorCode = dialog.separator;
    std::copy(std::begin(dialog.inputFlags), std::end(dialog.inputFlags), recordInput);
    writeComment = dialog.addComment;
    commentText = dialog.comment;

    if (!textRecordingOn || !binaryRecordingOn) {
        if (!textRecordingOn && !binaryRecordingOn) {
            recordingTimer.stop();
        }
        if (!textRecordingOn) {
            Recording().CloseFile(RecordingFileKind::Text);
        }
        if (!binaryRecordingOn) {
            Recording().CloseFile(RecordingFileKind::Binary);
        }
        if (!textRecordingOn && !binaryRecordingOn) {
            return DialogRun::Done;
        }
    }

    if (textRecordingOn) {
        if (textReopens) {
            bool appended = false;
            if (!OpenRecordingFile(RecordingFileKind::Text, true, &appended)) {
                return RecordingClosed() ? DialogRun::Done : DialogRun::Again;
            }
            if (RecordingClosed()) {
                return DialogRun::Done;
            }
            Recording().WriteComment(appended);
        }
        WriteTextRecord();
    }

    if (binaryRecordingOn) {
        if (!recordingCore.IsOpen(RecordingFileKind::Binary) || binaryFilePath != oldBinaryPath ||
            !oldBinaryOn) {
            bool appended = false;
            if (!OpenRecordingFile(RecordingFileKind::Binary, true, &appended)) {
                return RecordingClosed() ? DialogRun::Done : DialogRun::Again;
            }
            if (RecordingClosed()) {
                return DialogRun::Done;
            }
        }
        WriteBinaryRecord();
    }

    RestartRecordingTimer();
    return DialogRun::Done;
}

void COrvexDlg::OpenRecordingFilesAtStartup() {
    startupTimer.stop();
    bool appended = false;
    if (!textFilePath.isEmpty() && textRecordingOn &&
        !recordingCore.IsOpen(RecordingFileKind::Text)) {
        if (!OpenRecordingFile(RecordingFileKind::Text, false, &appended)) {
            if (!RecordingClosed()) {
                RecordingCommand(true);
            }
        } else {
            WriteTextRecord();
            RestartRecordingTimer();
        }
    }
    // A window closed under the messages above opens nothing more: another program may hold
    // the file by now, or have just let it go.
    if (RecordingClosed()) {
        return;
    }
    if (!binaryFilePath.isEmpty() && binaryRecordingOn &&
        !recordingCore.IsOpen(RecordingFileKind::Binary)) {
        if (!OpenRecordingFile(RecordingFileKind::Binary, false, &appended)) {
            if (!RecordingClosed()) {
                OnFileRecording();
            }
        } else {
            WriteBinaryRecord();
            RestartRecordingTimer();
        }
    }
    UpdateStatusLine();
}
