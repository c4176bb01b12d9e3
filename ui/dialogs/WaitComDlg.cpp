#include "ui/dialogs/WaitComDlg.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/PortDiscovery.h"
#include "ui/dialogs/ComDlg.h"

namespace {

// A serial connector under a magnifying glass.
QPixmap SearchPicture() {
    QPixmap picture(48, 48);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    QPainterPath shell;
    shell.moveTo(3, 10);
    shell.lineTo(33, 10);
    shell.lineTo(29, 28);
    shell.lineTo(7, 28);
    shell.closeSubpath();
    p.setPen(QPen(QColor(60, 70, 90), 1.5));
    p.setBrush(QColor(170, 185, 205));
    p.drawPath(shell);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 45, 60));
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(QPointF(8.5 + 4.75 * i, 16), 1.4, 1.4);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QPointF(10.9 + 4.75 * i, 22), 1.4, 1.4);

    p.setBrush(QColor(255, 255, 255, 120));
    p.setPen(QPen(QColor(30, 90, 170), 3));
    p.drawEllipse(QPointF(30, 27), 9, 9);
    p.setPen(QPen(QColor(30, 90, 170), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(37, 34), QPointF(44, 41));
    return picture;
}

}  // namespace

CWaitComDlg::CWaitComDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      lister([](int& count, std::string& text) { return portdiscovery::ListPorts(count, text); }) {
    setObjectName("waitComDlg");
    setModal(true);

    // Without a caption the dialog draws its own frame.
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Raised);
    frame->setLineWidth(2);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);

    auto* picture = new QLabel(frame);
    picture->setObjectName("picture");
    picture->setPixmap(SearchPicture());
    auto* text = new QLabel("Proszę czekać", frame);
    text->setObjectName("waitText");
    text->setAlignment(Qt::AlignCenter);
    cancelButton = new QPushButton("Anuluj", frame);
    cancelButton->setObjectName("cancelButton");
    cancelButton->setAutoDefault(false);
    connect(cancelButton, &QPushButton::clicked, this, &CWaitComDlg::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(text, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(cancelButton);
    bottom->addStretch();
    auto* inner = new QVBoxLayout(frame);
    inner->setContentsMargins(16, 12, 16, 12);
    inner->addLayout(top);
    inner->addLayout(bottom);
}

CWaitComDlg::~CWaitComDlg() {
    // The worker posts to this object; it must be gone before the object is.
    Complete();
}

void CWaitComDlg::SetLister(PortLister newLister) {
    if (newLister)
        lister = std::move(newLister);
}

void CWaitComDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (handedOver) {
        // Single use: shown again, it has nothing more to wait for.
        QMetaObject::invokeMethod(
            this, [this] { done(Accepted); }, Qt::QueuedConnection);
    } else if (!worker.joinable()) {
        cancelRequested = false;
        worker = std::thread(&CWaitComDlg::Search, this);
    }
}

void CWaitComDlg::Search() {
    std::vector<std::string> entries;
    try {
        int count = 0;
        std::string text;
        if (lister(count, text))
            entries = portdiscovery::EntriesFromText(text);
    } catch (...) {
        // A failed search lists nothing; the dialog must close all the same.
        entries.clear();
    }
    found = std::move(entries);
    QMetaObject::invokeMethod(this, &CWaitComDlg::SearchFinished, Qt::QueuedConnection);
}

void CWaitComDlg::SearchFinished() {
    if (handedOver)
        return;
    Complete();
    done(cancelRequested ? Rejected : Accepted);
}

void CWaitComDlg::reject() {
    if (worker.joinable()) {
        cancelRequested = true;
        cancelButton->setEnabled(false);
        return;
    }
    Complete();
    QDialog::reject();
}

void CWaitComDlg::Complete() {
    if (worker.joinable())
        worker.join();
    if (handedOver)
        return;
    handedOver = true;
    if (!owner)
        return;
    for (const std::string& entry : found)
        owner->AddPortEntry(QString::fromStdString(entry));
}
