// The main window's recording: when to open the files, when to write a record, and what the
// user is told. The file work itself is CRecordingFile's.
#include <QAction>
#include <QFile>
#include <QMessageBox>
#include <algorithm>
#include <array>
#include <climits>
#include <ctime>

#include "recording/dialog/LogFileDlg.h"
#include "recording/format/BinaryRecordFormat.h"
#include "recording/format/FileText.h"
#include "recording/format/TextRecordFormat.h"
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

RecordTime Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return RecordTimeFromTm(local);
}

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

int COrvexDlg::EffectiveRecordingInterval() const {
    return std::max(recordingInterval, 1);
}

void COrvexDlg::RestartRecordingTimer() {
    // A QTimer holds an int of milliseconds: intervals above about 24 days are cut to that.
    const long long ms = 1000LL * EffectiveRecordingInterval();
    recordingTimer.start(static_cast<int>(std::min<long long>(ms, INT_MAX)));
}

void COrvexDlg::WriteTextRecord() {
    if (!textFile) {
        return;
    }
    std::array<InputReading, 8> readings{};
    std::array<bool, 8> selected{};
    for (int i = 0; i < 8; ++i) {
        selected[i] = recordInput[i] != 0;
        if (selected[i]) {
            driver.GetReading(static_cast<uint8_t>(i), readings[i]);
        }
    }
    TextRecord record = BuildTextRecord(readings, selected, TextSeparator(separatorCode),
                                        deviceResponding, Now(), lastHeader);
    const std::string header = FileText(record.header);
    lastHeader = std::move(record.header);
    ReportAppend(*textFile, textFile->Append({std::move(record.bytes), header}));
}

void COrvexDlg::WriteBinaryRecord() {
    if (!binaryFile || !deviceResponding) {
        return;
    }
    std::array<InputReading, 8> readings{};
    for (int i = 0; i < 8; ++i) {
        driver.GetReading(static_cast<uint8_t>(i), readings[i]);
    }
    ReportAppend(*binaryFile, binaryFile->Append({BuildBinaryRecord(readings, Now()), {}}));
}

void COrvexDlg::ReportAppend(const CRecordingFile& file, const AppendOutcome& outcome) {
    if (outcome.spellStarted || outcome.spellEnded) {
        UpdateStatusLine();
    }
    if (!outcome.spellStarted || writeFailureBox) {
        return;
    }
    // Not modal: the recording timer must go on writing (and queueing) while the user reads it,
    // and a spell that goes on must not pile up boxes.
    auto* box = new QMessageBox(
        QMessageBox::Warning, kTitle,
        QStringLiteral("Nie można zapisać pomiarów do pliku %1: %2.")
            .arg(QFile::decodeName(QByteArray::fromStdString(file.Path())), Reason(outcome.error)),
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
    for (const CRecordingFile* file : {textFile.get(), binaryFile.get()}) {
        if (file != nullptr && file->Failing()) {
            return QStringLiteral("Błąd zapisu do pliku: %1. ").arg(Reason(file->LastError()));
        }
    }
    return {};
}

std::unique_ptr<CRecordingFile> COrvexDlg::OpenRecordingFile(RecordingFileKind kind,
                                                             const QString& path, bool ask,
                                                             bool* appended) {
    auto file = std::make_unique<CRecordingFile>(kind);
    const OpenOutcome opened =
        path.isEmpty() ? OpenOutcome{ENOENT, false} : file->Open(FilePath(path));
    int error = opened.error;
    *appended = false;
    if (error == 0) {
        bool append = true;
        if (opened.existed && ask) {
            const QMessageBox::StandardButton answer = QMessageBox::question(
                this, kTitle, kind == RecordingFileKind::Text ? kTextExists : kBinaryExists,
                QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
            append = answer == QMessageBox::Yes;
        }
        error = append ? file->PrepareAppend() : file->Truncate();
        *appended = append && opened.existed;
    }
    if (error != 0) {
        file.reset();
        ShowUnavailable(this, kind, error);
    }
    return file;
}

void COrvexDlg::WriteCommentBlock(CRecordingFile& file, bool appended) {
    // Checked before the file was opened: the comment fits the file's code page.
    if (const std::optional<std::string> block =
            TextCommentBlock(commentText.toStdString(), appended)) {
        ReportAppend(file, file.Append({*block, {}}));
    }
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
        if (!textFile) {
            textRecordingOn = false;
        }
        if (!binaryFile && !binaryUntried) {
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
            textFile.reset();
        }
        if (!binaryRecordingOn) {
            binaryFile.reset();
        }
        if (!textRecordingOn && !binaryRecordingOn) {
            return DialogRun::Done;
        }
    }

    if (textRecordingOn) {
        if (!textFile || textFilePath != oldTextPath || !oldTextOn ||
            separatorCode != oldSeparator) {
            if (writeComment && !TextCommentBlock(commentText.toStdString(), false)) {
                QMessageBox::warning(this, kTitle,
                                     QStringLiteral("Komentarz zawiera znaki, których nie można "
                                                    "zapisać w pliku rejestracji (Windows-1250)."));
                return DialogRun::Again;
            }
            // The old file is released first: the new one may be the same path.
            textFile.reset();
            bool appended = false;
            std::unique_ptr<CRecordingFile> file =
                OpenRecordingFile(RecordingFileKind::Text, textFilePath, true, &appended);
            if (!file) {
                return DialogRun::Again;
            }
            if (writeComment) {
                WriteCommentBlock(*file, appended);
            }
            textFile = std::move(file);
        }
        WriteTextRecord();
    }

    if (binaryRecordingOn) {
        if (!binaryFile || binaryFilePath != oldBinaryPath || !oldBinaryOn) {
            binaryFile.reset();
            bool appended = false;
            std::unique_ptr<CRecordingFile> file =
                OpenRecordingFile(RecordingFileKind::Binary, binaryFilePath, true, &appended);
            if (!file) {
                return DialogRun::Again;
            }
            binaryFile = std::move(file);
        }
        WriteBinaryRecord();
    }

    RestartRecordingTimer();
    return DialogRun::Done;
}

void COrvexDlg::OpenRecordingFilesAtStartup() {
    startupTimer.stop();
    bool appended = false;
    if (!textFilePath.isEmpty() && textRecordingOn && !textFile) {
        textFile = OpenRecordingFile(RecordingFileKind::Text, textFilePath, false, &appended);
        if (!textFile) {
            RecordingCommand(true);
        } else {
            WriteTextRecord();
            RestartRecordingTimer();
        }
    }
    if (!binaryFilePath.isEmpty() && binaryRecordingOn && !binaryFile) {
        binaryFile = OpenRecordingFile(RecordingFileKind::Binary, binaryFilePath, false, &appended);
        if (!binaryFile) {
            OnFileRecording();
        } else {
            WriteBinaryRecord();
            RestartRecordingTimer();
        }
    }
    UpdateStatusLine();
}
