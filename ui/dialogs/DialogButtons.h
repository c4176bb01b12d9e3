#pragma once
class QDialog;
class QDialogButtonBox;
class QFrame;
class QLayout;
class QPushButton;
class QWidget;

// A dialog's OK and Anuluj buttons in a button box that orders them as the platform does:
// OK is the default and accepts, Anuluj rejects, all named for tests (buttonBox, okButton,
// cancelButton).
struct OkCancelButtons {
    QDialogButtonBox* box;
    QPushButton* ok;
    QPushButton* cancel;
};

OkCancelButtons MakeOkCancel(QDialog* dialog);

// The sunken horizontal line between a dialog's contents and its buttons.
QFrame* MakeSeparator(QWidget* parent);

// Lays the dialog out as contents over a separator and the OK and Anuluj button box.
void LayOutOverOkCancel(QDialog* dialog, QLayout* contents);
