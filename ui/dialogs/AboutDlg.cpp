#include "ui/dialogs/AboutDlg.h"

#include <OrvexVersion.h>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialogs/AppIcon.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    InitDialogResources();
    setObjectName(QStringLiteral("aboutDlg"));
    setWindowTitle(QStringLiteral("O programie"));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(OrvexIcon().pixmap(48, 48));
    auto* version =
        new QLabel(QStringLiteral("ORVEX Wersja %1").arg(QLatin1String(kOrvexVersion)), this);
    version->setObjectName(QStringLiteral("versionText"));
    auto* author = new QLabel(QStringLiteral("Autor: zespół projektu orvex"), this);
    author->setObjectName(QStringLiteral("authorText"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("logo"));
    logo->setPixmap(QIcon(QStringLiteral(":/orvex/logo.svg")).pixmap(200, 56));
    auto* description =
        new QLabel(QStringLiteral("Program do monitorowania koncentratora pomiarowego ORVEX\n"
                                  "Odczyt ośmiu wejść przez łącze szeregowe (Modbus RTU)\n"
                                  "Rejestracja wyników do pliku tekstowego i binarnego\n"
                                  "Ustawienia alarmów, kolorów i czcionek\n"
                                  "Wersja dla systemu Linux"),
                   this);
    description->setObjectName(QStringLiteral("descriptionText"));
    auto* contact = new QLabel(QStringLiteral("Instrukcja obsługi: menu Pomoc, klawisz F1"), this);
    contact->setObjectName(QStringLiteral("contactText"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(version, 0, 1);
    grid->addWidget(author, 1, 1);
    grid->addWidget(ok, 0, 2, Qt::AlignTop | Qt::AlignRight);
    grid->addWidget(logo, 2, 0, 1, 3, Qt::AlignLeft);
    grid->addWidget(description, 3, 0, 1, 3);
    grid->addWidget(contact, 4, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    setLayout(grid);
}
