// The main window's recording: the recording command, the start-up step and what the user is
// told. What a tick writes and how the files are kept is CRecordingCore's.
#include <QAction>
#include <QFile>
#include <QMessageBox>
#include <algorithm>
#include <array>
#include <climits>

#include "recording/dialog/LogFileDlg.h"
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
    return recordingCore;
}

RecordingSnapshot COrvexDlg::CurrentSnapshot() {
    RecordingSnapshot snapshot;
    snapshot.time = LocalRecordTimeNow();
    snapshot.responding = deviceResponding;
    for (int i = 0; i < 8; ++i) {
        driver.GetReading(static_cast<uint8_t>(i), snapshot.readings[i]);
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
    if (!recordingCore.IsOpen(RecordingFileKind::Binary) || !deviceResponding) {
        return;
    }
    Recording().WriteBinary(CurrentSnapshot());
}

void COrvexDlg::OnRecordingEvent(const RecordingEvent& event) {
    switch (event.kind) {
        case RecordingEventKind::SpellStarted:
            UpdateStatusLine();
            ShowWriteFailure(event);
            break;
        case RecordingEventKind::SpellEnded:
            UpdateStatusLine();
            break;
        default:
            break;
    }
}

void COrvexDlg::ShowWriteFailure(const RecordingEvent& event) {
    if (writeFailureBox) {
        return;
    }
    // Not modal: the recording timer must go on writing (and queueing) while the user reads it,
    // and a spell that goes on must not pile up boxes.
    auto* box = new QMessageBox(
        QMessageBox::Warning, kTitle,
        QStringLiteral("Nie można zapisać pomiarów do pliku %1: %2.")
            .arg(QFile::decodeName(QByteArray::fromStdString(event.path)), Reason(event.error)),
        QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("writeFailureBox"));
    box->setInformativeText(
        QStringLiteral("Program próbuje dalej przy każdym zapisie. Pomiary, których nie udało się "
                       "zapisać, są przechowywane w pamięci i zostaną dopisane do pliku, gdy "
                       "zapis znów będzie możliwy."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    writeFailureBox = box;
    box->show();
}

QString COrvexDlg::RecordingFailureText() const {
    for (const CRecordingFile* file : {TextFile(), BinaryFile()}) {
        if (file != nullptr && file->Failing()) {
            return QStringLiteral("Błąd zapisu do pliku: %1. ").arg(Reason(file->LastError()));
        }
    }
    return {};
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

void COrvexDlg::OnFileRecording() {
    RecordingCommand(false);
}

void COrvexDlg::RecordingCommand(bool binaryUntried) {
    while (RunRecordingDialog(binaryUntried) == DialogRun::Again) {
    }
    UpdateStatusLine();
}

COrvexDlg::DialogRun COrvexDlg::RunRecordingDialog(bool binaryUntried) {
    CLogFileDlg dialog(this);
    dialog.textRecording = textRecordingOn ? 1 : 0;
    dialog.binaryRecording = binaryRecordingOn ? 1 : 0;
    dialog.textFileName = textFilePath;
    dialog.binaryFileName = binaryFilePath;
    dialog.interval = recordingInterval;
    dialog.separator = separatorCode;
    std::copy(std::begin(recordInput), std::end(recordInput), dialog.inputFlags);
    dialog.addComment = writeComment;
    dialog.comment = commentText;
    const int oldSeparator = separatorCode;
    const bool oldTextOn = textRecordingOn;
    const bool oldBinaryOn = binaryRecordingOn;
    const QString oldTextPath = textFilePath;
    const QString oldBinaryPath = binaryFilePath;

    if (dialog.exec() != QDialog::Accepted) {
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
        if (!recordingCore.IsOpen(RecordingFileKind::Text) || textFilePath != oldTextPath ||
            !oldTextOn || separatorCode != oldSeparator) {
            if (writeComment && !CRecordingCore::CommentFits(commentText.toStdString())) {
                QMessageBox::warning(this, kTitle,
                                     QStringLiteral("Komentarz zawiera znaki, których nie można "
                                                    "zapisać w pliku rejestracji (Windows-1250)."));
                return DialogRun::Again;
            }
            bool appended = false;
            if (!OpenRecordingFile(RecordingFileKind::Text, true, &appended)) {
                return DialogRun::Again;
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
                return DialogRun::Again;
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
            RecordingCommand(true);
        } else {
            WriteTextRecord();
            RestartRecordingTimer();
        }
    }
    if (!binaryFilePath.isEmpty() && binaryRecordingOn &&
        !recordingCore.IsOpen(RecordingFileKind::Binary)) {
        if (!OpenRecordingFile(RecordingFileKind::Binary, false, &appended)) {
            OnFileRecording();
        } else {
            WriteBinaryRecord();
            RestartRecordingTimer();
        }
    }
    UpdateStatusLine();
}
