#include "ui/dialogs/LogFileDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTime>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kLongestInterval = 23 * 3600 + 59 * 60 + 59;

QLabel* NamedLabel(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

// One Tab leaves the field: the hours, minutes and seconds are reached with the arrow keys or
// by typing, not by Tab as the time editor does by itself.
class CIntervalEdit : public QTimeEdit {
public:
    using QTimeEdit::QTimeEdit;

protected:
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};

}  // namespace

QString WithDefaultExtension(const QString& path, const QString& extension) {
    if (path.isEmpty() || extension.isEmpty())
        return path;
    // Any dot in the file name counts as an extension, as the chooser itself judges it.
    const qsizetype nameStart = path.lastIndexOf('/') + 1;
    if (path.indexOf('.', nameStart) >= 0)
        return path;
    return path + '.' + extension;
}

CLogFileDlg::CLogFileDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("logFileDlg");
    setWindowTitle("Rejestracja do pliku");

    intervalPicker = new CIntervalEdit(this);
    intervalPicker->setObjectName("intervalPicker");
    intervalPicker->setDisplayFormat("HH:mm:ss");
    // Zero stays reachable so that typing can pass through it (02:00:00 to 00:02:03); taking
    // the time turns it into 00:00:01. Text that is no time at all is corrected to zero first.
    intervalPicker->setTimeRange(QTime(0, 0), QTime(23, 59, 59));
    intervalPicker->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);

    auto* textGroup = new QGroupBox(this);
    textGroup->setObjectName("textGroup");
    textRecordingCheck = new QCheckBox("&Rejestruj wyniki pomiarów", textGroup);
    textRecordingCheck->setObjectName("textRecordingCheck");
    textFileLabel = NamedLabel("W &pliku", "textFileLabel", textGroup);
    textFileEdit = new QLineEdit(textGroup);
    textFileEdit->setObjectName("textFileEdit");
    textFileEdit->setMinimumWidth(320);
    textFileButton = new QPushButton("...", textGroup);
    textFileButton->setObjectName("textFileButton");
    separatorLabel = NamedLabel("Separator kolumn:", "separatorLabel", textGroup);
    separatorGroup = new QButtonGroup(this);
    const char* separatorTexts[] = {"&Tabulator", "Prze&cinek", "Śre&dnik"};
    const char* separatorNames[] = {"separatorTab", "separatorComma", "separatorSemicolon"};
    for (int i = 0; i < 3; ++i) {
        separatorRadios[i] = new QRadioButton(separatorTexts[i], textGroup);
        separatorRadios[i]->setObjectName(separatorNames[i]);
        separatorGroup->addButton(separatorRadios[i], i);
    }
    for (int i = 0; i < 8; ++i) {
        inputChecks[i] = new QCheckBox(QString("Wejście &%1").arg(i + 1), textGroup);
        inputChecks[i]->setObjectName(QString("input%1").arg(i + 1));
    }
    commentCheck = new QCheckBox("Dodaj &komentarz przy rozpoczęciu rejestracji:", textGroup);
    commentCheck->setObjectName("commentCheck");
    commentEdit = new QPlainTextEdit(textGroup);
    commentEdit->setObjectName("commentEdit");
    commentEdit->setTabChangesFocus(true);
    commentEdit->setFixedHeight(commentEdit->fontMetrics().lineSpacing() * 4 + 12);

    auto* binaryGroup = new QGroupBox(this);
    binaryGroup->setObjectName("binaryGroup");
    binaryRecordingCheck =
        new QCheckBox("Rejestruj do pliku &binarnego (używany przez program Lumeo)", binaryGroup);
    binaryRecordingCheck->setObjectName("binaryRecordingCheck");
    binaryFileLabel = NamedLabel("W p&liku", "binaryFileLabel", binaryGroup);
    binaryFileEdit = new QLineEdit(binaryGroup);
    binaryFileEdit->setObjectName("binaryFileEdit");
    binaryFileButton = new QPushButton("...", binaryGroup);
    binaryFileButton->setObjectName("binaryFileButton");
    for (QPushButton* button : {textFileButton, binaryFileButton}) {
        button->setAutoDefault(false);
        button->setFixedWidth(button->fontMetrics().horizontalAdvance("...") + 24);
    }

    textFileLabel->setBuddy(textFileEdit);
    binaryFileLabel->setBuddy(binaryFileEdit);

    // The platform's order, as in the program's other dialogs; Enter and Escape serve them.
    auto* buttons = new QDialogButtonBox(this);
    buttons->setObjectName("buttonBox");
    auto* okButton = new QPushButton("OK", buttons);
    okButton->setObjectName("okButton");
    auto* cancelButton = new QPushButton("Anuluj", buttons);
    cancelButton->setObjectName("cancelButton");
    buttons->addButton(okButton, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancelButton, QDialogButtonBox::RejectRole);
    okButton->setDefault(true);
    cancelButton->setAutoDefault(false);

    auto* intervalLabel = NamedLabel("&Interwał rejestracji", "intervalLabel", this);
    intervalLabel->setBuddy(intervalPicker);
    auto* intervalRow = new QHBoxLayout;
    intervalRow->addWidget(intervalLabel);
    intervalRow->addWidget(intervalPicker);
    intervalRow->addStretch();

    auto* textFileRow = new QHBoxLayout;
    textFileRow->addWidget(textFileLabel);
    textFileRow->addWidget(textFileEdit, 1);
    textFileRow->addWidget(textFileButton);
    auto* separatorRow = new QHBoxLayout;
    separatorRow->addWidget(separatorLabel);
    for (QRadioButton* radio : separatorRadios)
        separatorRow->addWidget(radio);
    separatorRow->addStretch();
    auto* inputGrid = new QGridLayout;
    for (int i = 0; i < 8; ++i)
        inputGrid->addWidget(inputChecks[i], i / 4, i % 4);
    auto* textLayout = new QVBoxLayout(textGroup);
    textLayout->addWidget(textRecordingCheck);
    textLayout->addLayout(textFileRow);
    textLayout->addLayout(separatorRow);
    textLayout->addLayout(inputGrid);
    textLayout->addWidget(commentCheck);
    textLayout->addWidget(commentEdit);

    auto* binaryFileRow = new QHBoxLayout;
    binaryFileRow->addWidget(binaryFileLabel);
    binaryFileRow->addWidget(binaryFileEdit, 1);
    binaryFileRow->addWidget(binaryFileButton);
    auto* binaryLayout = new QVBoxLayout(binaryGroup);
    binaryLayout->addWidget(binaryRecordingCheck);
    binaryLayout->addLayout(binaryFileRow);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(intervalRow);
    layout->addWidget(textGroup);
    layout->addWidget(binaryGroup);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(buttons, &QDialogButtonBox::accepted, this, &CLogFileDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CLogFileDlg::reject);
    connect(textRecordingCheck, &QCheckBox::clicked, this, [this](bool checked) {
        textRecording = checked ? 1 : 0;
        EnableTextControls();
    });
    connect(binaryRecordingCheck, &QCheckBox::clicked, this, [this](bool checked) {
        binaryRecording = checked ? 1 : 0;
        EnableBinaryControls();
    });
    connect(commentCheck, &QCheckBox::clicked, this, [this](bool checked) {
        addComment = checked ? 1 : 0;
        commentEdit->setEnabled(checked);
    });
    connect(separatorGroup, &QButtonGroup::idClicked, this, [this](int id) { separator = id; });
    for (int i = 0; i < 8; ++i) {
        connect(inputChecks[i], &QCheckBox::clicked, this,
                [this, i](bool checked) { inputFlags[i] = checked ? 1 : 0; });
    }
    connect(textFileButton, &QPushButton::clicked, this, [this] {
        const QString path = ChooseFile(
            "Wybierz plik raportu",
            {"Plik tekstowy lub CSV (*.txt *.csv)", "Plik tekstowy (*.txt)", "Lista CSV (*.csv)"},
            {"", "txt", "csv"}, textFileEdit->text());
        if (!path.isEmpty()) {
            textFileName = path;
            textFileEdit->setText(path);
        }
    });
    connect(binaryFileButton, &QPushButton::clicked, this, [this] {
        const QString path = ChooseFile("Wybierz plik binarny", {"Plik binarny (*.qdx)"}, {"qdx"},
                                        binaryFileEdit->text());
        if (!path.isEmpty()) {
            binaryFileName = path;
            binaryFileEdit->setText(path);
        }
    });

    // The stored interval stays as it is until the user edits the picker, since the picker
    // may show it clamped. Typing and the spin buttons both count as an edit.
    connect(intervalPicker, &QTimeEdit::timeChanged, this, [this] { pickerTouched = true; });
    if (auto* pickerText = intervalPicker->findChild<QLineEdit*>())
        connect(pickerText, &QLineEdit::textEdited, this, [this] { pickerTouched = true; });
    // Emitted on focus loss and on Enter.
    connect(intervalPicker, &QTimeEdit::editingFinished, this, &CLogFileDlg::TakeInterval);
    textFileEdit->installEventFilter(this);
    binaryFileEdit->installEventFilter(this);
    commentEdit->installEventFilter(this);
}

CLogFileDlg::~CLogFileDlg() = default;

void CLogFileDlg::setVisible(bool visible) {
    // Every showing starts from the members, which the caller fills after construction.
    if (visible && !isVisible())
        Initialise();
    QDialog::setVisible(visible);
}

void CLogFileDlg::Initialise() {
    textRecordingCheck->setChecked(textRecording != 0);
    binaryRecordingCheck->setChecked(binaryRecording != 0);
    for (int i = 0; i < 8; ++i)
        inputChecks[i]->setChecked(inputFlags[i] != 0);
    commentCheck->setChecked(addComment != 0);
    commentEdit->setPlainText(comment);
    EnableTextControls();
    EnableBinaryControls();

    {
        const QSignalBlocker blocker(intervalPicker);
        const int shown = std::clamp(interval, 1, kLongestInterval);
        intervalPicker->setTime(QTime(shown / 3600, shown / 60 % 60, shown % 60));
    }
    pickerTouched = false;

    // A separator code outside 0..2 leaves every radio clear.
    separatorGroup->setExclusive(false);
    for (int i = 0; i < 3; ++i)
        separatorRadios[i]->setChecked(i == separator);
    separatorGroup->setExclusive(true);

    textFileEdit->setText(textFileName);
    binaryFileEdit->setText(binaryFileName);
}

void CLogFileDlg::EnableTextControls() {
    const bool on = textRecording != 0;
    for (QWidget* widget : std::initializer_list<QWidget*>{
             textFileLabel, textFileEdit, textFileButton, separatorLabel, commentCheck})
        widget->setEnabled(on);
    for (QRadioButton* radio : separatorRadios)
        radio->setEnabled(on);
    for (QCheckBox* input : inputChecks)
        input->setEnabled(on);
    commentEdit->setEnabled(on && addComment != 0);
}

void CLogFileDlg::EnableBinaryControls() {
    const bool on = binaryRecording != 0;
    binaryFileLabel->setEnabled(on);
    binaryFileEdit->setEnabled(on);
    binaryFileButton->setEnabled(on);
}

void CLogFileDlg::TakeInterval() {
    intervalPicker->interpretText();
    if (!pickerTouched)
        return;
    interval = static_cast<int>(QTime(0, 0).secsTo(intervalPicker->time()));
    if (interval <= 0) {
        const QSignalBlocker blocker(intervalPicker);
        intervalPicker->setTime(QTime(0, 0, 1));
        interval = 1;
    }
}

void CLogFileDlg::TakeTexts() {
    textFileName = textFileEdit->text();
    binaryFileName = binaryFileEdit->text();
    comment = commentEdit->toPlainText();
}

bool CLogFileDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == textFileEdit)
            textFileName = textFileEdit->text();
        else if (watched == binaryFileEdit)
            binaryFileName = binaryFileEdit->text();
        else if (watched == commentEdit)
            comment = commentEdit->toPlainText();
    }
    return QDialog::eventFilter(watched, event);
}

void CLogFileDlg::accept() {
    TakeInterval();
    TakeTexts();
    if (std::none_of(std::begin(inputFlags), std::end(inputFlags),
                     [](int flag) { return flag != 0; })) {
        QMessageBox box(QMessageBox::Information, "orvex",
                        "Wybierz przynajmniej jedną wielkość do zapisu", QMessageBox::Ok, this);
        box.exec();
        return;
    }
    QDialog::accept();
}

QString CLogFileDlg::ChooseFile(const QString& title, const QStringList& filters,
                                const QStringList& extensions, const QString& current) {
    // Qt's own chooser, so that it behaves the same under Xvfb and in tests. An open-style
    // chooser accepts a new name and asks nothing about an existing one: the main window asks
    // whether to append. No default suffix is set on it, since it would be added whatever
    // filter is selected; the extension follows the selected filter instead.
    QFileDialog chooser(this, title);
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::AnyFile);
    chooser.setNameFilters(filters);
    chooser.selectNameFilter(filters.first());
    // Opens on the current file: its folder, and its name in the name field and selected.
    const QFileInfo currentFile(current);
    if (current.contains('/'))
        chooser.setDirectory(currentFile.absolutePath());
    if (!current.isEmpty())
        chooser.selectFile(currentFile.fileName());
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return {};
    const qsizetype filter = std::max<qsizetype>(0, filters.indexOf(chooser.selectedNameFilter()));
    QString extension = extensions.value(filter);
    if (extension.isEmpty()) {
        // A filter of several kinds: the current file's kind, else the first one listed.
        const QString suffix = currentFile.suffix().toLower();
        extension = !suffix.isEmpty() && extensions.contains(suffix) ? suffix
                                                                     : extensions.value(filter + 1);
    }
    return WithDefaultExtension(chooser.selectedFiles().first(), extension);
}
