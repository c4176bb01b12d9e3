#pragma once
class QDialog;
class QFrame;
class QLayout;
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

// Lays the dialog out as contents over a separator and a row with OK at the left and Anuluj at
// the right.
void LayOutOverOkCancel(QDialog* dialog, QLayout* contents);
