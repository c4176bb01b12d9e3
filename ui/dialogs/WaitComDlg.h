#pragma once
#include <QDialog>

#include <functional>
#include <string>
#include <thread>
#include <vector>

class CComDlg;
class QPushButton;

// The small "Proszę czekać" popup shown while the present ports are listed. The search runs
// on a thread of its own so the user interface keeps repainting; when the modal run
// returns, the owner has received every entry through AddPortEntry.
class CWaitComDlg : public QDialog {
    Q_OBJECT
public:
    using PortLister = std::function<bool(int& count, std::string& text)>;

    explicit CWaitComDlg(QWidget* parent = nullptr);
    ~CWaitComDlg() override;

    void SetOwner(CComDlg* owner) { this->owner = owner; }
    // The search to run; by default the machine's ports (ListPorts).
    void SetLister(PortLister lister);

public slots:
    // "Anuluj" and Escape: the search cannot be interrupted, so the dialog closes as soon
    // as it ends, without losing its entries.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Search();
    void SearchFinished();
    // Waits for the search thread and hands its entries to the owner, once.
    void Complete();

    CComDlg* owner = nullptr;
    PortLister lister;
    QPushButton* cancelButton = nullptr;
    std::thread worker;
    // Written by the worker, read only after it has been joined.
    std::vector<std::string> found;
    bool handedOver = false;
    bool cancelRequested = false;
};
