#pragma once
#include <QDialog>
#include <QString>
#include <QStringList>

#include <array>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimeEdit;

// The chosen path with the extension of the selected filter appended when the file name
// (the last path component) has none. An empty path stays empty.
QString WithDefaultExtension(const QString& path, const QString& extension);

// The modal "Rejestracja do pliku" dialog. The caller fills the public members after
// construction; showing the dialog copies them into the controls, and after OK they hold the
// user's choices.
class CLogFileDlg : public QDialog {
    Q_OBJECT
public:
    explicit CLogFileDlg(QWidget* parent = nullptr);
    ~CLogFileDlg() override;

    void setVisible(bool visible) override;

    // Working copy of the recording settings: filled before exec(), read after OK.
    int textRecording = 0;    // FILE_LOG
    int binaryRecording = 0;  // FILE_LOG_BIN
    QString textFileName;
    QString binaryFileName;
    int interval = 1;        // seconds
    int separator = 0;       // 0 tab, 1 comma, 2 semicolon
    int inputFlags[8] = {};  // inputs 1..8 recorded in the text file
    int addComment = 0;
    QString comment;  // line breaks as typed

public slots:
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Initialise();
    void EnableTextControls();
    void EnableBinaryControls();
    void TakeInterval();
    void TakeTexts();
    // The chosen path, its extension completed from the selected filter (for a filter with an
    // empty extension, from the current file's when it is one of the others); empty on cancel.
    // The chooser opens on the current file.
    QString ChooseFile(const QString& title, const QStringList& filters,
                       const QStringList& extensions, const QString& current);

    bool pickerTouched = false;  // the user changed the picker since it was filled

    QTimeEdit* intervalPicker = nullptr;
    QCheckBox* textRecordingCheck = nullptr;
    QLabel* textFileLabel = nullptr;
    QLineEdit* textFileEdit = nullptr;
    QPushButton* textFileButton = nullptr;
    QLabel* separatorLabel = nullptr;
    QButtonGroup* separatorGroup = nullptr;
    std::array<QRadioButton*, 3> separatorRadios{};
    std::array<QCheckBox*, 8> inputChecks{};
    QCheckBox* commentCheck = nullptr;
    QPlainTextEdit* commentEdit = nullptr;
    QCheckBox* binaryRecordingCheck = nullptr;
    QLabel* binaryFileLabel = nullptr;
    QLineEdit* binaryFileEdit = nullptr;
    QPushButton* binaryFileButton = nullptr;
};
