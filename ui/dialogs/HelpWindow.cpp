#include "ui/dialogs/HelpWindow.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/dialogs/AppIcon.h"

CHelpWindow::CHelpWindow(QWidget* parent) : QDialog(parent) {
    InitDialogResources();
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("orvex - Pomoc"));
    // A window of its own, with the usual frame buttons.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);

    browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("helpBrowser"));
    browser->setOpenExternalLinks(true);
    browser->setSource(QUrl(QStringLiteral("qrc:/orvex/pomoc.html")));

    auto* back = new QPushButton(QStringLiteral("Wstecz"), this);
    back->setObjectName(QStringLiteral("backButton"));
    back->setEnabled(false);
    connect(browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(back, &QPushButton::clicked, browser, &QTextBrowser::backward);
    auto* contents = new QPushButton(QStringLiteral("Spis treści"), this);
    contents->setObjectName(QStringLiteral("contentsButton"));
    connect(contents, &QPushButton::clicked, browser, &QTextBrowser::home);
    auto* close = new QPushButton(QStringLiteral("Zamknij"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(contents);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser, 1);
    layout->addLayout(buttons);
    resize(640, 560);
}
