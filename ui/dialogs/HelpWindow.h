#pragma once
#include <QDialog>

class QTextBrowser;

// The user guide, built into the program: a window beside the main window (not modal), with
// a table of contents whose links lead to its sections.
class CHelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    QTextBrowser* Browser() const { return browser; }

private:
    QTextBrowser* browser = nullptr;
};
