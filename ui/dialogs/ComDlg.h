#pragma once
#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;

// The modal "Port szeregowy" dialog: COM port, Modbus address, line speed and parity.
// Showing it first lists the present ports behind CWaitComDlg, then fills the controls from
// the fields; after OK the caller reads portNumber, baud and parity directly.
class CComDlg : public QDialog {
    Q_OBJECT
public:
    // Builds the port list text (the ListPorts form: "COM%u:%s\n" / "COM%u\n" lines).
    // Runs on the search thread of the wait dialog.
    using PortLister = std::function<bool(int& count, std::string& text)>;

    explicit CComDlg(QWidget* parent = nullptr);
    ~CComDlg() override;

    // Before showing; the caller passes these only when it has a port.
    void SetCurrent(int portNumber, int baud, char parity);
    void SetAddress(int address);
    // After OK.
    int GetAddress() const { return address; }
    // One port entry, in ascending port number; called before the controls are filled.
    void AddPortEntry(const QString& entry);

    // Replaces the machine's port search for every dialog created afterwards (tests run the
    // dialog on a fake port tree this way); an empty function restores the real search.
    static void SetPortLister(PortLister lister);

    void setVisible(bool visible) override;

    int portNumber = 0;  // in use on entry, chosen on exit; 0 = none
    int baud = 9600;
    char parity = 'E';  // 'N' or 'E'
    QStringList portEntries;
    int address = 1;

public slots:
    void accept() override;

private:
    void SearchPorts();
    void InitControls();
    void Warn(const QString& text);

    bool initialised = false;
    QLabel* statusText = nullptr;
    QComboBox* portList = nullptr;
    QLineEdit* addressEdit = nullptr;
    QComboBox* speedList = nullptr;
    QComboBox* parityList = nullptr;
};
