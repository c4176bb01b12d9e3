#include "ui/dialogs/DialogAdv.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/dialogs/AppIcon.h"
#include "ui/dialogs/HyperLink.h"
#include "ui/dialogs/ZelvioUrl.h"

CDialogAdv::CDialogAdv(QWidget* parent) : QDialog(parent) {
    InitDialogResources();
    setObjectName(QStringLiteral("dialogAdv"));
    setWindowTitle(QStringLiteral("Promocja Zelvio"));

    text = new QTextBrowser(this);
    text->setObjectName(QStringLiteral("zelvioText"));
    text->setSource(QUrl(QStringLiteral("qrc:/orvex/zelvio.html")));
    text->setTextInteractionFlags(Qt::NoTextInteraction);
    text->setFocusPolicy(Qt::NoFocus);
    text->viewport()->installEventFilter(this);
    text->setMinimumSize(460, 300);

    link = new CHyperLink(QString::fromUtf8(kLinkText), this);
    link->setObjectName(QStringLiteral("zelvioLink"));
    link->SetURL(QString::fromLatin1(kZelvioUrl));

    auto* close = new QPushButton(QStringLiteral("Zamknij"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(link, 0, Qt::AlignLeft | Qt::AlignVCenter);
    bottom->addStretch(1);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text, 1);
    layout->addLayout(bottom);
}

bool CDialogAdv::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text->viewport()) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->button() == Qt::LeftButton || mouse->button() == Qt::RightButton) {
                    setFocus(Qt::MouseFocusReason);
                    return true;
                }
                break;
            }
            default:
                break;
        }
    }
    return QDialog::eventFilter(watched, event);
}
