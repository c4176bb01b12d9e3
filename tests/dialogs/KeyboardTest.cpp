// The dialogs without a mouse: Tab reaches the colour swatches and the font previews and
// Space or Enter opens their chooser; F10 opens the menu bar; Tab enters a radio group on its
// checked button.
#include <QAction>
#include <QColorDialog>
#include <QFontDialog>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QSet>
#include <QtTest>

#include "ModalScript.h"
#include "NoPortStart.h"
#include "ui/ColorStatic.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/AlarmsDlg.h"
#include "ui/dialogs/ClickLabel.h"
#include "ui/dialogs/ColorDlg.h"
#include "ui/dialogs/ColorRect.h"
#include "ui/dialogs/FontDlg.h"

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

}  // namespace

class KeyboardTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        ModalStep::Reset();
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
        ModalStep::On<QColorDialog>([](QColorDialog* d) {
            d->setCurrentColor(QColor(1, 2, 3));
            d->accept();
        });
        PressOnFocus(&dialog, Qt::Key_Space);
        QCOMPARE(controls[2].GetBackgroundColour(), Rgb(1, 2, 3));
        QCOMPARE(dialog.BackgroundSwatch(2)->GetColour(), Rgb(1, 2, 3));

        QVERIFY(TabTo(&dialog, dialog.TextSwatch(5)));
        ModalStep::On<QColorDialog>([](QColorDialog* d) {
            d->setCurrentColor(QColor(4, 5, 6));
            d->accept();
        });
        PressOnFocus(&dialog, Qt::Key_Return);
        QCOMPARE(controls[5].GetTextColour(), Rgb(4, 5, 6));
        QVERIFY(dialog.isVisible());  // Enter on a swatch is not the dialog's OK
        QCOMPARE(ModalStep::Unmet(), QStringList());
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
            ModalStep::On<QFontDialog>([&](QFontDialog* d) {
                ++opened;
                d->reject();
            });
            PressOnFocus(&dialog, key);
        }
        QCOMPARE(opened, 2);
        QVERIFY(dialog.isVisible());
        QCOMPARE(ModalStep::Unmet(), QStringList());
    }

    void f10OpensTheMenuBar() {
        COrvexDlg window;
        PassPortDialog(window);
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        PressOnFocus(&window, Qt::Key_F10);
        QAction* active = window.MenuBar()->activeAction();
        QVERIFY(active != nullptr);
        QCOMPARE(active->text(), QStringLiteral("Program"));
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
};

QTEST_MAIN(KeyboardTest)
#include "KeyboardTest.moc"
