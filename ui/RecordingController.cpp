#include "ui/RecordingController.h"

#include <QFile>
#include <QMessageBox>
#include <QWidget>
#include <algorithm>
#include <climits>

#include "device/OrvexDriver.h"
#include "settings/RecordingPlan.h"
#include "text/FileErrorText.h"
#include "ui/StatusLine.h"
#include "ui/dialogs/LogFileDlg.h"

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

QString Reason(int error) {
    return QString::fromStdString(DescribeFileError(error));
}

QString FileName(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
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

QString RescueText(const std::string& path, std::size_t held, const std::string& rescuePath,
                   int error, const std::filesystem::path& folder) {
    if (!rescuePath.empty()) {
        return QStringLiteral(
                   "Pomiary, których nie udało się zapisać do pliku %1 (%2), "
                   "zapisano w pliku %3.")
            .arg(FileName(path))
            .arg(held)
            .arg(FileName(rescuePath));
    }
    return QStringLiteral(
               "Nie udało się zapisać pomiarów do pliku %1 ani do pliku w folderze %2 "
               "(%3). Utracone pomiary: %4.")
        .arg(FileName(path), FileName(folder.string()), Reason(error))
        .arg(held);
}

}  // namespace

CRecordingController::CRecordingController(QWidget& window, COrvexDriver& driver, LogSettings& log,
                                           std::function<bool()> closed)
    : QObject(&window), window(window), driver(driver), log(log), closed(std::move(closed)) {
    setObjectName(QStringLiteral("recording"));
    core.SetEventSink([this](const RecordingEvent& event) { OnEvent(event); });
    timer.setParent(this);
    timer.setObjectName(QStringLiteral("recordingTimer"));
    timer.setInterval(1000);
    connect(&timer, &QTimer::timeout, this, [this] { Tick(); });
}

CRecordingController::~CRecordingController() = default;

CRecordingCore& CRecordingController::Core() {
    core.SetSettings(RecordingSettingsFor(log, comment.toStdString()));
    core.SetRescueFolder(rescueFolder);
    return core;
}

void CRecordingController::StatusChanged() {
    if (onStatusChanged) {
        onStatusChanged();
    }
}

RecordingSnapshot CRecordingController::Snapshot() const {
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

void CRecordingController::Tick() {
    if (core.AnyOpen()) {
        Core().Tick(Snapshot());
    }
}

void CRecordingController::WriteTextRecord() {
    if (core.IsOpen(RecordingFileKind::Text)) {
        Core().WriteText(Snapshot());
    }
}

void CRecordingController::WriteBinaryRecord() {
    if (core.IsOpen(RecordingFileKind::Binary)) {
        Core().WriteBinary(Snapshot());
    }
}

void CRecordingController::RestartTimer() {
    // A QTimer holds an int of milliseconds: intervals above about 24 days are cut to that.
    const long long ms = 1000LL * log.EffectiveInterval();
    timer.start(static_cast<int>(std::min<long long>(ms, INT_MAX)));
}

void CRecordingController::StopTimer() {
    timer.stop();
}

QString CRecordingController::StatusText() const {
    QString text;
    if (timer.isActive()) {
        text += RecordingStatusText(log.EffectiveInterval());
    }
    return text + FailureText();
}

void CRecordingController::OnEvent(const RecordingEvent& event) {
    switch (event.kind) {
        case RecordingEventKind::SpellStarted:
            StatusChanged();
            ShowNotice(writeFailureBox, "writeFailureBox", WriteFailureText(),
                       QStringLiteral("Program próbuje dalej przy każdym zapisie. Pomiary, "
                                      "których nie udało się zapisać, są przechowywane w "
                                      "pamięci i zostaną dopisane do pliku, gdy zapis znów "
                                      "będzie możliwy."));
            break;
        case RecordingEventKind::MediumAway:
            StatusChanged();
            ShowNotice(mediumAwayBox, "mediumAwayBox", MediumAwayText(),
                       QStringLiteral("Program nie tworzy pliku w innym miejscu: zapisuje dalej "
                                      "do otwartego pliku, a gdy nośnik wróci, dopisuje do pliku "
                                      "na nim. Pomiary, których nie uda się zapisać, są "
                                      "przechowywane w pamięci."));
            break;
        case RecordingEventKind::Rescued:
        case RecordingEventKind::Lost:
            // A failing file closed by the recording command.
            if (!closing) {
                QMessageBox box(QMessageBox::Warning, kTitle,
                                RescueText(event.path, event.count, event.rescuePath, event.error,
                                           rescueFolder),
                                QMessageBox::Ok, &window);
                box.setObjectName(QStringLiteral("recordingRescueBox"));
                box.exec();
            }
            break;
        case RecordingEventKind::SpellEnded:
        case RecordingEventKind::MediumBack:
            StatusChanged();
            break;
        default:
            break;
    }
}

void CRecordingController::ShowNotice(QPointer<QMessageBox>& box, const char* name,
                                      const QString& text, const QString& details) {
    // A second file in the same trouble is added to the message that is open.
    if (box) {
        box->setText(text);
        return;
    }
    // Not modal: the recording timer must go on writing (and queueing) while the user reads it,
    // and a spell that goes on must not pile up boxes.
    box = new QMessageBox(QMessageBox::Warning, kTitle, text, QMessageBox::Ok, &window);
    box->setObjectName(QLatin1String(name));
    box->setInformativeText(details);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

QString CRecordingController::WriteFailureText() const {
    QStringList lines;
    for (const CRecordingFile* file : {TextFile(), BinaryFile()}) {
        if (file != nullptr && file->Failing()) {
            lines << QStringLiteral("Nie można zapisać pomiarów do pliku %1: %2.")
                         .arg(FileName(file->Path()), Reason(file->LastError()));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString CRecordingController::MediumAwayText() const {
    QStringList lines;
    for (const CRecordingFile* file : {TextFile(), BinaryFile()}) {
        if (file != nullptr && file->MediumAway()) {
            lines << QStringLiteral("Nośnik z plikiem %1 jest niedostępny.")
                         .arg(FileName(file->Path()));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString CRecordingController::FailureText() const {
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

QStringList CRecordingController::Close(const std::filesystem::path& folder) {
    timer.stop();
    QStringList texts;
    closing = true;  // the caller tells the user, where a message can still be seen
    for (const CRecordingCore::Closing& c : core.Close(folder)) {
        texts << RescueText(c.path, c.held, c.rescuePath, c.error, folder);
    }
    closing = false;
    return texts;
}

bool CRecordingController::OpenFile(RecordingFileKind kind, bool ask, bool* appended) {
    CRecordingCore::AppendQuestion question;
    if (ask) {
        question = [this](RecordingFileKind k) {
            return QMessageBox::question(
                       &window, kTitle, k == RecordingFileKind::Text ? kTextExists : kBinaryExists,
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
        };
    }
    const CRecordingCore::Opening opening = Core().OpenFile(kind, question);
    *appended = opening.appended;
    if (opening.error != 0) {
        ShowUnavailable(&window, kind, opening.error);
        return false;
    }
    return true;
}

void CRecordingController::Command() {
    RunCommand(false);
}

void CRecordingController::RunCommand(bool binaryUntried) {
    std::optional<Choice> refused;
    while (RunDialog(binaryUntried, refused) == DialogRun::Again) {
    }
    if (closed()) {
        return;
    }
    // With no file left open nothing is recorded: no timer, no recording text.
    if (!core.AnyOpen()) {
        timer.stop();
    }
    StatusChanged();
}

namespace {

void Show(CLogFileDlg& dialog, const LogSettings& log, const QString& comment) {
    dialog.textRecording = log.textOn ? 1 : 0;
    dialog.binaryRecording = log.binaryOn ? 1 : 0;
    dialog.textFileName = QString::fromStdString(log.textPath);
    dialog.binaryFileName = QString::fromStdString(log.binaryPath);
    dialog.interval = log.interval;
    dialog.separator = log.separatorCode;
    std::copy(log.recordInput.begin(), log.recordInput.end(), dialog.inputFlags);
    dialog.addComment = log.writeComment;
    dialog.comment = comment;
}

LogSettings Chosen(const CLogFileDlg& dialog) {
    LogSettings log;
    log.textOn = dialog.textRecording != 0;
    log.binaryOn = dialog.binaryRecording != 0;
    log.textPath = dialog.textFileName.toStdString();
    log.binaryPath = dialog.binaryFileName.toStdString();
    log.interval = dialog.interval;
    log.separatorCode = dialog.separator;
    std::copy(std::begin(dialog.inputFlags), std::end(dialog.inputFlags), log.recordInput.begin());
    log.writeComment = dialog.addComment;
    return log;
}

}  // namespace

CRecordingController::DialogRun CRecordingController::RunDialog(bool binaryUntried,
                                                                std::optional<Choice>& refused) {
    // After a refused comment the dialog shows what the user chose, nothing of it applied yet.
    const Choice shown = refused ? *refused : Choice{log, comment};
    refused.reset();
    CLogFileDlg dialog(&window);
    Show(dialog, shown.log, shown.comment);
    const int result = dialog.exec();
    if (closed()) {
        return DialogRun::Done;
    }
    if (result != QDialog::Accepted) {
        // A recording whose file is not open (a failed opening, say) is switched off; but not
        // the binary file that the start-up step has yet to open after a failed text file.
        if (!core.IsOpen(RecordingFileKind::Text)) {
            log.textOn = false;
        }
        if (!core.IsOpen(RecordingFileKind::Binary) && !binaryUntried) {
            log.binaryOn = false;
        }
        return DialogRun::Done;
    }
    window.repaint();
    const Choice chosen{Chosen(dialog), dialog.comment};
    const RecordingPlan plan =
        PlanRecordingChange(log, chosen.log, core.IsOpen(RecordingFileKind::Text),
                            core.IsOpen(RecordingFileKind::Binary));
    // The comment is checked before anything changes: a refusal leaves the recording as it was.
    if (plan.text == FileStep::Open && chosen.log.writeComment != 0 &&
        !CRecordingCore::CommentFits(chosen.comment.toStdString())) {
        QMessageBox::warning(&window, kTitle,
                             QStringLiteral("Komentarz zawiera znaki, których nie można "
                                            "zapisać w pliku rejestracji (Windows-1250)."));
        refused = chosen;
        return closed() ? DialogRun::Done : DialogRun::Again;
    }
    log = chosen.log;
    comment = chosen.comment;

    if (!log.textOn && !log.binaryOn) {
        timer.stop();
    }
    if (plan.text == FileStep::Close) {
        Core().CloseFile(RecordingFileKind::Text);
    }
    if (plan.binary == FileStep::Close) {
        Core().CloseFile(RecordingFileKind::Binary);
    }
    if (!log.textOn && !log.binaryOn) {
        return DialogRun::Done;
    }
    if (log.textOn) {
        if (plan.text == FileStep::Open) {
            bool appended = false;
            if (!OpenFile(RecordingFileKind::Text, true, &appended)) {
                return closed() ? DialogRun::Done : DialogRun::Again;
            }
            if (closed()) {
                return DialogRun::Done;
            }
            Core().WriteComment(appended);
        }
        WriteTextRecord();
    }
    if (log.binaryOn) {
        if (plan.binary == FileStep::Open) {
            bool appended = false;
            if (!OpenFile(RecordingFileKind::Binary, true, &appended)) {
                return closed() ? DialogRun::Done : DialogRun::Again;
            }
            if (closed()) {
                return DialogRun::Done;
            }
        }
        WriteBinaryRecord();
    }
    RestartTimer();
    return DialogRun::Done;
}

void CRecordingController::OpenAtStartup() {
    bool appended = false;
    if (!log.textPath.empty() && log.textOn && !core.IsOpen(RecordingFileKind::Text)) {
        if (!OpenFile(RecordingFileKind::Text, false, &appended)) {
            if (!closed()) {
                RunCommand(true);
            }
        } else {
            WriteTextRecord();
            RestartTimer();
        }
    }
    // A window closed under the messages above opens nothing more: another program may hold
    // the file by now, or have just let it go.
    if (closed()) {
        return;
    }
    if (!log.binaryPath.empty() && log.binaryOn && !core.IsOpen(RecordingFileKind::Binary)) {
        if (!OpenFile(RecordingFileKind::Binary, false, &appended)) {
            if (!closed()) {
                Command();
            }
        } else {
            WriteBinaryRecord();
            RestartTimer();
        }
    }
    StatusChanged();
}
