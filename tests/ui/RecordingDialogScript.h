#pragma once
// Scripted answers to the recording dialog and to message boxes, for the window tests that run
// the recording command.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <optional>

#include "ui/dialogs/LogFileDlg.h"
#include "tests/ui/ModalAnswerer.h"

inline QAbstractButton* Button(QWidget* dialog, const QString& text) {
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

// What to set in the recording dialog; unset fields keep what the dialog shows.
struct Choice {
    std::optional<bool> text;
    std::optional<bool> binary;
    std::optional<QString> textPath;
    std::optional<QString> binaryPath;
    std::optional<int> separator;
    std::optional<QString> comment = {};  // switches the comment on with this text
    bool cancel = false;
};

// What the dialog showed when it came up.
struct Shown {
    QString textPath;
    bool commaSeparator = false;
    QString comment;
};

inline Choice CancelChoice() {
    Choice choice;
    choice.cancel = true;
    return choice;
}

inline ModalAnswerer::Handler Recording(const Choice& choice, Shown* shown = nullptr) {
    return [choice, shown](QWidget* widget) {
        auto* dialog = qobject_cast<CLogFileDlg*>(widget);
        if (dialog == nullptr) {
            return false;
        }
        auto* textEdit = dialog->findChild<QLineEdit*>(QStringLiteral("textFileEdit"));
        auto* commentEdit = dialog->findChild<QPlainTextEdit*>(QStringLiteral("commentEdit"));
        if (shown != nullptr) {
            shown->textPath = textEdit->text();
            shown->commaSeparator =
                dialog->findChild<QRadioButton*>(QStringLiteral("separatorComma"))->isChecked();
            shown->comment = commentEdit->toPlainText();
        }
        if (choice.cancel) {
            Button(dialog, QStringLiteral("Anuluj"))->click();
            return true;
        }
        auto check = [dialog](const char* name, bool on) {
            auto* box = dialog->findChild<QCheckBox*>(QLatin1String(name));
            if (box->isChecked() != on) {
                box->click();
            }
        };
        if (choice.text) {
            check("textRecordingCheck", *choice.text);
        }
        if (choice.binary) {
            check("binaryRecordingCheck", *choice.binary);
        }
        if (choice.textPath) {
            textEdit->setText(*choice.textPath);
        }
        if (choice.binaryPath) {
            dialog->findChild<QLineEdit*>(QStringLiteral("binaryFileEdit"))
                ->setText(*choice.binaryPath);
        }
        if (choice.separator) {
            const char* names[] = {"separatorTab", "separatorComma", "separatorSemicolon"};
            dialog->findChild<QRadioButton*>(QLatin1String(names[*choice.separator]))->click();
        }
        if (choice.comment) {
            check("commentCheck", true);
            commentEdit->setPlainText(*choice.comment);
        }
        Button(dialog, QStringLiteral("OK"))->click();
        return true;
    };
}

inline ModalAnswerer::Handler Answer(QMessageBox::StandardButton button) {
    return [button](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr) {
            return false;
        }
        box->button(button)->click();
        return true;
    };
}
