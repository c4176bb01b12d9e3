#pragma once
class QDialog;
class QFrame;
class QPushButton;
class QWidget;

// A dialog's OK and Anuluj buttons: OK is the default and accepts, Anuluj rejects, both named
// for tests (okButton, cancelButton). Each dialog lays them out in its own order.
struct OkCancelButtons {
    QPushButton* ok;
    QPushButton* cancel;
};

OkCancelButtons MakeOkCancel(QDialog* dialog);

// The sunken horizontal line between a dialog's contents and its buttons.
QFrame* MakeSeparator(QWidget* parent);
