// The dialogs without a mouse: Tab reaches the colour swatches and the font previews and
// Space or Enter opens their chooser; F10 and Alt with a letter open the menus; Alt with a
// letter reaches a dialog's fields; Tab enters a radio group on its checked button; a dialog
// shows its focus as it opens.
#include <QAction>
#include <QColorDialog>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QtTest>

#include "NoPortStart.h"
#include "tests/ui/ModalAnswerer.h"
#include "tests/ui/WindowParts.h"
#include "ui/ColorStatic.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/AlarmsDlg.h"
#include "ui/dialogs/ClickLabel.h"
#include "ui/dialogs/ColorDlg.h"
#include "ui/dialogs/ColorRect.h"
#include "ui/dialogs/FontDlg.h"
#include "ui/dialogs/LogFileDlg.h"
#include "ui/dialogs/SettingsDlg.h"

namespace {

void PressOnFocus(QWidget* window, Qt::Key key) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr ? focus : window, key);
}

// Tabs until the target has the focus; false when a whole round of the dialog did not reach it.
bool TabTo(QWidget* dialog, QWidget* target) {
    // A chooser that just closed hands the activation back a little later.
    dialog->activateWindow();
    if (!QTest::qWaitForWindowActive(dialog)) {
        return false;
    }
    for (int i = 0; i < 40 && QApplication::focusWidget() != target; ++i) {
        PressOnFocus(dialog, Qt::Key_Tab);
    }
    return QApplication::focusWidget() == target;
}

// The letter a text's mnemonic marker stands before, in upper case; null when there is none.
QChar MnemonicOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == u'&') {
            if (text[i + 1] != u'&') {
                return text[i + 1].toUpper();
            }
            ++i;
        }
    }
    return {};
}

// Every mnemonic of a dialog with the widget it leads to: a label's buddy, the button itself,
// a group box (which passes the focus to its checked button).
QMultiMap<QChar, QWidget*> Mnemonics(QWidget* dialog, QStringList& faults) {
    QMultiMap<QChar, QWidget*> found;
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (const QChar key = MnemonicOf(label->text()); !key.isNull()) {
            if (label->buddy() == nullptr) {
                faults << label->text() + " has no buddy";
            }
            found.insert(key, label->buddy());
        }
    }
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
        if (const QChar key = MnemonicOf(button->text()); !key.isNull()) {
            found.insert(key, button);
        }
    }
    for (QGroupBox* group : dialog->findChildren<QGroupBox*>()) {
        if (const QChar key = MnemonicOf(group->title()); !key.isNull()) {
            found.insert(key, group);
        }
    }
    return found;
}

// The controls that Enter, Escape or Tab from a neighbour serve well enough.
bool NeedsNoMnemonic(QWidget* w) {
    const QString name = w->objectName();
    auto* button = qobject_cast<QPushButton*>(w);
    return name == "okButton" || name == "cancelButton" || (button && button->text() == "...") ||
           (name.startsWith("text") && qobject_cast<CColorRect*>(w) != nullptr) ||
           qobject_cast<QPlainTextEdit*>(w) != nullptr;  // the comment, under its check box
}

// The faults of a dialog's mnemonics: clashes, labels without a buddy, and fields that no
// mnemonic reaches.
QStringList MnemonicFaults(QWidget* dialog) {
    QStringList faults;
    const QMultiMap<QChar, QWidget*> mnemonics = Mnemonics(dialog, faults);
    for (const QChar key : mnemonics.uniqueKeys()) {
        if (mnemonics.count(key) > 1) {
            faults << QStringLiteral("Alt+%1 used %2 times").arg(key).arg(mnemonics.count(key));
        }
    }
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(dialog) || !w->isEnabled() ||
            NeedsNoMnemonic(w)) {
            continue;
        }
        const bool reached = std::any_of(mnemonics.begin(), mnemonics.end(), [w](QWidget* t) {
            return t != nullptr && (t == w || t->isAncestorOf(w) || t->focusProxy() == w);
        });
        if (!reached) {
            faults << w->metaObject()->className() + QStringLiteral(" ") + w->objectName() +
                          " has no mnemonic";
        }
    }
    return faults;
}

// The look of a widget with its focus, and without.
std::pair<QImage, QImage> WithAndWithoutFocus(QWidget* w) {
    const QImage with = w->grab().toImage();
    w->clearFocus();
    return {with, w->grab().toImage()};
}

}  // namespace

class KeyboardTest : public QObject {
    Q_OBJECT
    ModalAnswerer answerer;
private slots:
    void init() {
        answerer.Reset();
        ListNoPorts();
    }

    void swatchesOpenTheColourChooserBySpaceAndEnter() {
        CColorStatic controls[8];
        CColorDlg dialog;
        for (int i = 0; i < 8; ++i) {
            dialog.valueControls[i] = &controls[i];
        }
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));

        QVERIFY(TabTo(&dialog, dialog.BackgroundSwatch(2)));
        answerer.On<QColorDialog>([](QColorDialog* d) {
            d->setCurrentColor(QColor(1, 2, 3));
            d->accept();
        });
        PressOnFocus(&dialog, Qt::Key_Space);
        QCOMPARE(controls[2].GetBackgroundColour(), Rgb(1, 2, 3));
        QCOMPARE(dialog.BackgroundSwatch(2)->GetColour(), Rgb(1, 2, 3));

        QVERIFY(TabTo(&dialog, dialog.TextSwatch(5)));
        answerer.On<QColorDialog>([](QColorDialog* d) {
            d->setCurrentColor(QColor(4, 5, 6));
            d->accept();
        });
        PressOnFocus(&dialog, Qt::Key_Return);
        QCOMPARE(controls[5].GetTextColour(), Rgb(4, 5, 6));
        QVERIFY(dialog.isVisible());  // Enter on a swatch is not the dialog's OK
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    void previewsOpenTheFontChooserByEnterAndSpace() {
        CColorStatic controls[8];
        CFontDlg dialog;
        for (int i = 0; i < 8; ++i) {
            controls[i].CreateValueFont();
            dialog.valueControls[i] = &controls[i];
        }
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        int opened = 0;
        for (const auto& [input, key] :
             {std::pair{4, Qt::Key_Enter}, std::pair{6, Qt::Key_Space}}) {
            QVERIFY(TabTo(&dialog, dialog.Preview(input)));
            answerer.On<QFontDialog>([&](QFontDialog* d) {
                ++opened;
                d->reject();
            });
            PressOnFocus(&dialog, key);
        }
        QCOMPARE(opened, 2);
        QVERIFY(dialog.isVisible());
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    void f10OpensTheMenuBar() {
        COrvexDlg window;
        PassPortDialog(answerer, window);
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        PressOnFocus(&window, Qt::Key_F10);
        QAction* active = ChildOf<QMenuBar>(window, "menuBar")->activeAction();
        QVERIFY(active != nullptr);
        QCOMPARE(QString(active->text()).remove(QLatin1Char('&')), QStringLiteral("Program"));
        QTRY_VERIFY(active->menu()->isVisible());
        active->menu()->close();
    }

    void tabEntersARadioGroupOnItsCheckedButton() {
        CAlarmsDlg dialog;
        dialog.internalOn = 0;
        dialog.externalOn = 1;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        const auto reachedByTab = [&] {
            QSet<QWidget*> reached;
            for (int i = 0; i < 12; ++i) {
                PressOnFocus(&dialog, Qt::Key_Tab);
                reached.insert(QApplication::focusWidget());
            }
            return reached;
        };
        QSet<QWidget*> reached = reachedByTab();
        QVERIFY(reached.contains(dialog.InternalOffButton()));
        QVERIFY(reached.contains(dialog.ExternalOnButton()));
        QVERIFY(!reached.contains(dialog.InternalOnButton()));
        QVERIFY(!reached.contains(dialog.ExternalOffButton()));

        // The arrow keys move within the group and check the button they reach, which then
        // is the group's Tab stop.
        QVERIFY(TabTo(&dialog, dialog.InternalOffButton()));
        PressOnFocus(&dialog, Qt::Key_Up);
        QVERIFY(dialog.InternalOnButton()->isChecked());
        QCOMPARE(QApplication::focusWidget(), dialog.InternalOnButton());
        reached = reachedByTab();
        QVERIFY(reached.contains(dialog.InternalOnButton()));
        QVERIFY(!reached.contains(dialog.InternalOffButton()));
    }

    // Each menu and item has its letter, none twice on the bar or in one menu; Alt+W opens
    // "Widok".
    void menusOpenByAltAndTheirLetter() {
        COrvexDlg window;
        PassPortDialog(answerer, window);
        QStringList faults;
        const auto check = [&faults](const QList<QAction*>& actions, const QString& where) {
            QMap<QChar, QString> taken;
            for (QAction* action : actions) {
                const QChar key = MnemonicOf(action->text());
                if (action->isSeparator()) {
                    continue;
                }
                if (key.isNull() || !key.isLetterOrNumber()) {
                    faults << where + ": " + action->text() + " has no letter";
                } else if (taken.contains(key)) {
                    faults << where + ": " + action->text() + " and " + taken[key];
                }
                taken[key] = action->text();
            }
        };
        check(ChildOf<QMenuBar>(window, "menuBar")->actions(), "menu bar");
        for (QAction* menu : ChildOf<QMenuBar>(window, "menuBar")->actions()) {
            check(menu->menu()->actions(), menu->text());
        }
        QCOMPARE(faults, QStringList());

        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_W, Qt::AltModifier);
        QAction* active = ChildOf<QMenuBar>(window, "menuBar")->activeAction();
        QVERIFY(active != nullptr);
        QCOMPARE(QString(active->text()).remove(QLatin1Char('&')), QStringLiteral("Widok"));
        QTRY_VERIFY(active->menu()->isVisible());
        active->menu()->close();
    }

    void dialogMnemonicsAreUniqueAndReachEveryField() {
        CColorStatic controls[8];
        for (CColorStatic& control : controls) {
            control.CreateValueFont();
        }
        auto colours = std::make_unique<CColorDlg>();
        auto fonts = std::make_unique<CFontDlg>();
        for (int i = 0; i < 8; ++i) {
            colours->valueControls[i] = &controls[i];
            fonts->valueControls[i] = &controls[i];
        }
        auto recording = std::make_unique<CLogFileDlg>();
        // Every field enabled, so that every one must be reachable.
        recording->textRecording = 1;
        recording->binaryRecording = 1;
        recording->addComment = 1;
        std::unique_ptr<QDialog> dialogs[] = {std::move(colours),
                                              std::move(fonts),
                                              std::make_unique<CAlarmsDlg>(),
                                              std::move(recording),
                                              std::make_unique<CSettingsDlg>(),
                                              std::make_unique<CComDlg>()};
        for (auto& dialog : dialogs) {
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
            QCOMPARE(MnemonicFaults(dialog.get()), QStringList());
            dialog->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
            // Alt with the letter of a label or a group box moves the focus there.
            QStringList missed;
            for (QLabel* label : dialog->findChildren<QLabel*>()) {
                const QChar key = MnemonicOf(label->text());
                if (key.isNull() || label->buddy() == nullptr) {
                    continue;
                }
                QTest::keyClick(dialog.get(), key.toLatin1(), Qt::AltModifier);
                if (QApplication::focusWidget() != label->buddy()) {
                    missed << label->text();
                }
            }
            for (QGroupBox* group : dialog->findChildren<QGroupBox*>()) {
                const QChar key = MnemonicOf(group->title());
                if (key.isNull()) {
                    continue;
                }
                QTest::keyClick(dialog.get(), key.toLatin1(), Qt::AltModifier);
                if (!group->isAncestorOf(QApplication::focusWidget())) {
                    missed << group->title();
                }
            }
            QCOMPARE(missed, QStringList());
            dialog->reject();
        }
    }

    // The focused control is drawn as focused as soon as the dialog opens, before any key.
    void dialogsShowTheirFocusAsTheyOpen() {
        CColorStatic controls[8];
        for (CColorStatic& control : controls) {
            control.CreateValueFont();
        }
        auto colours = std::make_unique<CColorDlg>();
        auto fonts = std::make_unique<CFontDlg>();
        for (int i = 0; i < 8; ++i) {
            colours->valueControls[i] = &controls[i];
            fonts->valueControls[i] = &controls[i];
        }
        std::unique_ptr<QDialog> dialogs[] = {std::move(colours), std::move(fonts),
                                              std::make_unique<CAlarmsDlg>()};
        for (auto& dialog : dialogs) {
            dialog->show();
            QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus != nullptr && dialog->isAncestorOf(focus));
            const auto [with, without] = WithAndWithoutFocus(focus);
            QVERIFY2(with != without, dialog->metaObject()->className());
            dialog->reject();
        }
    }
};

QTEST_MAIN(KeyboardTest)
#include "KeyboardTest.moc"
