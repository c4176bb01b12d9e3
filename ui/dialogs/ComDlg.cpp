#include "ui/dialogs/ComDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "ui/dialogs/DialogButtons.h"
#include "ui/dialogs/WaitComDlg.h"

namespace {

CComDlg::PortLister& SharedLister() {
    static CComDlg::PortLister lister;
    return lister;
}

// The decimal number that starts at position 3 ("COM3 (USB)" gives 3); 0 when there is none
// or it is implausibly long.
int NumberAfterCom(const QString& text) {
    if (text.size() <= 3)
        return 0;
    int number = 0;
    for (qsizetype i = 3; i < text.size() && text[i].isDigit(); ++i) {
        if (number > 100000)
            return 0;
        number = number * 10 + text[i].digitValue();
    }
    return number;
}

}  // namespace

CComDlg::CComDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("comDlg");
    setWindowTitle("Port szeregowy");

    addressEdit = new QLineEdit(this);
    addressEdit->setObjectName("addressEdit");
    addressEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]*"), addressEdit));
    portList = new QComboBox(this);
    portList->setObjectName("portList");
    portList->setMinimumContentsLength(18);
    portList->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    speedList = new QComboBox(this);
    speedList->setObjectName("speedList");
    parityList = new QComboBox(this);
    parityList->setObjectName("parityList");
    statusText = new QLabel(this);
    statusText->setObjectName("statusText");
    statusText->setAlignment(Qt::AlignCenter);
    QFrame* line = MakeSeparator(this);
    const OkCancelButtons buttons = MakeOkCancel(this);

    auto* grid = new QGridLayout;
    const struct {
        const char* text;
        QWidget* field;
        int column;
        int span;
    } rows[] = {{"&Adres urządzenia:", addressEdit, 2, 1},
                {"Wybierz &port:", portList, 1, 2},
                {"Wybierz pręd&kość:", speedList, 2, 1},
                {"Wybierz pa&rzystość:", parityList, 2, 1}};
    for (int row = 0; row < 4; ++row) {
        auto* label = new QLabel(rows[row].text, this);
        label->setBuddy(rows[row].field);
        grid->addWidget(label, row, 0);
        grid->addWidget(rows[row].field, row, rows[row].column, 1, rows[row].span);
    }
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addWidget(statusText);
    layout->addWidget(line);
    layout->addWidget(buttons.box);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

CComDlg::~CComDlg() = default;

void CComDlg::SetCurrent(int newPortNumber, int newBaud, char newParity) {
    portNumber = newPortNumber;
    baud = newBaud;
    parity = newParity;
}

void CComDlg::SetAddress(int newAddress) {
    address = newAddress;
}

void CComDlg::AddPortEntry(const QString& entry) {
    portEntries.append(entry);
}

void CComDlg::SetPortLister(PortLister lister) {
    SharedLister() = std::move(lister);
}

void CComDlg::setVisible(bool visible) {
    // The first showing lists the ports behind the wait dialog, then fills the controls.
    if (visible && !initialised) {
        initialised = true;
        SearchPorts();
        InitControls();
    }
    QDialog::setVisible(visible);
}

void CComDlg::SearchPorts() {
    CWaitComDlg wait(parentWidget());
    wait.SetOwner(this);
    wait.SetLister(SharedLister());
    wait.exec();
}

void CComDlg::InitControls() {
    statusText->setText(portNumber != 0 ? QString("Aktualnie używany port: COM%1").arg(portNumber)
                                        : QString("Aktualnie żaden port nie jest używany"));

    portList->clear();
    portList->addItems(portEntries);
    portList->setCurrentIndex(-1);
    if (portNumber != 0) {
        for (qsizetype i = 0; i < portEntries.size(); ++i) {
            if (portEntries[i].startsWith("COM") && NumberAfterCom(portEntries[i]) == portNumber) {
                portList->setCurrentIndex(static_cast<int>(i));
                break;
            }
        }
    }

    addressEdit->setText(QString::number(address));

    speedList->clear();
    speedList->addItems({"9600", "19200"});
    speedList->setCurrentIndex(baud == 9600 ? 0 : baud == 19200 ? 1 : -1);

    parityList->clear();
    parityList->addItems({"brak", "EVEN"});
    parityList->setCurrentIndex(parity == 'N' ? 0 : 1);
}

void CComDlg::accept() {
    const int chosenPort =
        portList->currentIndex() < 0 ? 0 : NumberAfterCom(portList->currentText());
    if (chosenPort <= 0) {
        Warn("Nie wybrano żadnego portu.");
        return;
    }
    portNumber = chosenPort;

    const QString addressText = addressEdit->text().trimmed();
    bool isNumber = true;
    const qlonglong chosenAddress = addressText.isEmpty() ? 0 : addressText.toLongLong(&isNumber);
    if (!isNumber || chosenAddress < 1 || chosenAddress > 255) {
        Warn("Wpisz adres urządzenia z zakresu 1-255");
        return;
    }
    address = static_cast<int>(chosenAddress);
    baud = speedList->currentIndex() < 0 ? 0 : speedList->currentText().toInt();
    parity = parityList->currentIndex() == 0 ? 'N' : 'E';
    QDialog::accept();
}

void CComDlg::Warn(const QString& text) {
    QMessageBox box(QMessageBox::Warning, "orvex", text, QMessageBox::Ok, this);
    box.exec();
}
