#pragma once
#include <QStyledItemDelegate>

class QCoreApplication;
class QFileDialog;
class QFontDialog;

// The whole interface is Polish whatever the user's locale: installs Qt's own Polish
// translation (qtbase_pl.qm from Qt's translations folder) for the buttons and choosers that Qt
// draws itself, makes Polish the default locale (numbers, dates, month names), and has Qt's
// file and font choosers show dates, sizes and font styles in Polish too, which they would
// otherwise take from the environment or from the fonts. The program and its tests call it
// alike, so the tests see what the users see. Returns false, after a line on standard error,
// when the translation is not installed; the standard texts then stay English.
bool InstallPolishLocale(QCoreApplication& application);

// What InstallPolishLocale does to each chooser as it is shown; done once per chooser.
void LocaliseFileChooser(QFileDialog& chooser);
void LocaliseFontChooser(QFontDialog& chooser);

// Draws the size and date columns of Qt's file chooser in the default locale.
class CFileColumns : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The text the column shows for the index.
    static QString ShownText(const QModelIndex& index);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    static QModelIndex SourceIndex(const QModelIndex& index);
};
