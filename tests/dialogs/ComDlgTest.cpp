#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <functional>
#include <future>
#include <stdexcept>

#include "tests/ui/ModalAnswerer.h"
#include "ui/dialogs/ComDlg.h"
#include "ui/dialogs/WaitComDlg.h"

namespace {

CComDlg::PortLister Text(std::string text) {
    return [text](int& count, std::string& out) {
        out = text;
        count = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
        return true;
    };
}

// The port dialog's controls, found by name.
struct Controls {
    explicit Controls(CComDlg& dlg)
        : status(dlg.findChild<QLabel*>("statusText")),
          ports(dlg.findChild<QComboBox*>("portList")),
          address(dlg.findChild<QLineEdit*>("addressEdit")),
          speed(dlg.findChild<QComboBox*>("speedList")),
          parity(dlg.findChild<QComboBox*>("parityList")),
          ok(dlg.findChild<QPushButton*>("okButton")) {}
    QLabel* status;
    QComboBox* ports;
    QLineEdit* address;
    QComboBox* speed;
    QComboBox* parity;
    QPushButton* ok;
};

}  // namespace

class ComDlgTest : public QObject {
    Q_OBJECT
    ModalAnswerer answerer;
private slots:
    void init() { answerer.Reset(); }

    void cleanup() { CComDlg::SetPortLister({}); }

    void entriesArriveBeforeTheControlsAreFilled_data() {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("selected");
        QTest::newRow("COM1") << 1 << 0;
        QTest::newRow("COM10") << 10 << 1;
        QTest::newRow("absent COM2") << 2 << -1;
    }
    void entriesArriveBeforeTheControlsAreFilled() {
        QFETCH(int, current);
        QFETCH(int, selected);
        CComDlg::SetPortLister(Text("COM1:Communications Port\nCOM10:USB Serial Port\n"));
        CComDlg dlg;
        dlg.SetCurrent(current, 19200, 'N');
        Controls c(dlg);
        QStringList items;
        int index = -2;
        QString status, speed, parity;
        answerer.On<CComDlg>([&](CComDlg*) {
            for (int i = 0; i < c.ports->count(); ++i)
                items << c.ports->itemText(i);
            index = c.ports->currentIndex();
            status = c.status->text();
            speed = c.speed->currentText();
            parity = c.parity->currentText();
            dlg.reject();
        });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QCOMPARE(answerer.Unmet(), QStringList());
        const QStringList expected{"COM1 (Communications Port)", "COM10 (USB Serial Port)"};
        QCOMPARE(dlg.portEntries, expected);
        QCOMPARE(items, expected);
        QCOMPARE(index, selected);
        QCOMPARE(status, QString("Aktualnie używany port: COM%1").arg(current));
        QCOMPARE(speed, QString("19200"));
        QCOMPARE(parity, QString("brak"));
    }

    void withoutAPortNothingIsSelectedAndOkIsRefused() {
        CComDlg::SetPortLister(Text("COM3:x\nCOM7\n"));
        CComDlg dlg;
        dlg.SetAddress(7);
        Controls c(dlg);
        QString status, speed, parity, address, message, title;
        int index = -2;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool stayedOpen = false;
        answerer.On<CComDlg>([&](CComDlg*) {
            index = c.ports->currentIndex();
            status = c.status->text();
            speed = c.speed->currentText();
            parity = c.parity->currentText();
            address = c.address->text();
            answerer.On<QMessageBox>([&](QMessageBox* box) {
                message = box->text();
                title = box->windowTitle();
                icon = box->icon();
                box->button(QMessageBox::Ok)->click();
            });
            c.ok->click();
            stayedOpen = dlg.isVisible();
            dlg.reject();
        });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QCOMPARE(answerer.Unmet(), QStringList());
        QCOMPARE(index, -1);
        QCOMPARE(status, QString("Aktualnie żaden port nie jest używany"));
        QCOMPARE(speed, QString("9600"));
        QCOMPARE(parity, QString("EVEN"));
        QCOMPARE(address, QString("7"));
        QCOMPARE(message, QString("Nie wybrano żadnego portu."));
        QCOMPARE(title, QString("orvex"));
        QCOMPARE(icon, QMessageBox::Warning);
        QVERIFY(stayedOpen);
        QCOMPARE(dlg.portNumber, 0);
    }

    void addressOutsideTheRangeIsRefused() {
        CComDlg::SetPortLister(Text("COM1:Communications Port\nCOM3:USB\n"));
        CComDlg dlg;
        dlg.SetCurrent(1, 9600, 'E');
        Controls c(dlg);
        QStringList messages;
        int stillOpen = 0;
        auto answerBox = [&] {
            answerer.On<QMessageBox>([&](QMessageBox* box) {
                messages << box->text();
                box->button(QMessageBox::Ok)->click();
            });
        };
        answerer.On<CComDlg>([&](CComDlg*) {
            c.ports->setCurrentIndex(1);
            c.parity->setCurrentIndex(0);
            for (const char* refused : {"0", "256", "", "99999999999999999999"}) {
                c.address->setText(refused);
                answerBox();
                c.ok->click();
                stillOpen += dlg.isVisible() ? 1 : 0;
            }
            c.address->setText("255");
            c.ok->click();
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QCOMPARE(answerer.Unmet(), QStringList());
        QCOMPARE(messages, QStringList(4, "Wpisz adres urządzenia z zakresu 1-255"));
        QCOMPARE(stillOpen, 4);
        QCOMPARE(dlg.GetAddress(), 255);
        QCOMPARE(dlg.portNumber, 3);
        QCOMPARE(dlg.baud, 9600);
        QCOMPARE(dlg.parity, 'N');
    }

    void unknownSpeedLeavesNoSelectionAndStoresZero() {
        CComDlg::SetPortLister(Text("COM1:Communications Port\n"));
        CComDlg dlg;
        dlg.SetCurrent(1, 14400, 'E');
        dlg.SetAddress(12);
        Controls c(dlg);
        int speedIndex = -2;
        answerer.On<CComDlg>([&](CComDlg*) {
            speedIndex = c.speed->currentIndex();
            c.ok->click();
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QCOMPARE(answerer.Unmet(), QStringList());
        QCOMPARE(speedIndex, -1);
        QCOMPARE(dlg.baud, 0);
        QCOMPARE(dlg.portNumber, 1);
        QCOMPARE(dlg.parity, 'E');
        QCOMPARE(dlg.GetAddress(), 12);
    }

    void escapeDuringTheSearchKeepsEveryEntry() {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::atomic<bool> searching{false};
        CComDlg owner;
        CWaitComDlg wait;
        wait.SetOwner(&owner);
        wait.SetLister([&](int& count, std::string& text) {
            searching = true;
            released.wait();
            text = "COM1:Communications Port\n\nCOM5:Port: A\nCOM9\n";
            count = 3;
            return true;
        });
        bool texts = false;
        // Answered once the search runs, not merely when the dialog shows.
        answerer.Expect(
            [&](QWidget* widget) {
                if (!searching || widget != &wait)
                    return false;
                texts = wait.findChild<QLabel*>("waitText")->text() == "Proszę czekać" &&
                        wait.findChild<QPushButton*>("cancelButton")->text() == "Anuluj" &&
                        !wait.findChild<QLabel*>("picture")->pixmap().isNull();
                QTest::keyClick(&wait, Qt::Key_Escape);
                release.set_value();
                return true;
            },
            20000);
        QCOMPARE(wait.exec(), int(QDialog::Rejected));
        QCOMPARE(answerer.Unmet(), QStringList());
        QVERIFY(texts);
        QCOMPARE(owner.portEntries,
                 (QStringList{"COM1 (Communications Port)", "COM5 (Port: A)", "COM9"}));
    }

    void failedOrEmptySearchClosesWithoutEntries_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("empty") << 0;
        QTest::newRow("failed") << 1;
        QTest::newRow("threw") << 2;
    }
    void failedOrEmptySearchClosesWithoutEntries() {
        QFETCH(int, mode);
        CComDlg owner;
        CWaitComDlg wait;
        wait.SetOwner(&owner);
        wait.SetLister([mode](int& count, std::string& text) -> bool {
            if (mode == 2)
                throw std::runtime_error("sysfs gone");
            text = mode == 0 ? "" : "COM1\n";
            count = mode == 0 ? 0 : 1;
            return mode == 0;
        });
        // A watchdog for a dialog that never closes: it takes nothing, and closes it in time.
        answerer.Expect([](QWidget*) { return false; }, 20000);
        QCOMPARE(wait.exec(), int(QDialog::Accepted));
        QVERIFY(owner.portEntries.isEmpty());
    }
};

QTEST_MAIN(ComDlgTest)
#include "ComDlgTest.moc"
