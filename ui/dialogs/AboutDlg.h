#pragma once
#include <QDialog>

// "O programie": the icon, the version line, what the program is, and the logo.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
