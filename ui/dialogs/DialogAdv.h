#pragma once
#include <QDialog>

class CHyperLink;
class QTextBrowser;

// "Promocja Zelvio": formatted text about the maker's other program and a link to its page.
// Clicks into the text place no caret and select nothing.
class CDialogAdv : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kLinkText = "Kliknij, aby uzyskać więcej informacji w internecie";

    explicit CDialogAdv(QWidget* parent = nullptr);

    QTextBrowser* Text() const { return text; }
    CHyperLink* Link() const { return link; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTextBrowser* text = nullptr;
    CHyperLink* link = nullptr;
};
