#include "ui/PolishLocale.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QCoreApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontDialog>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QStyledItemDelegate>
#include <QTranslator>
#include <cstdio>

#include "ui/FontStyleName.h"

namespace {

const char* const kLocalised = "orvexLocalised";

class CPolishStyleNames : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QString displayText(const QVariant& value, const QLocale& locale) const override {
        return PolishFontStyle(QStyledItemDelegate::displayText(value, locale));
    }
};

// Localises each of Qt's choosers as it is first shown.
class CChooserLocaliser : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && !watched->property(kLocalised).toBool()) {
            if (auto* files = qobject_cast<QFileDialog*>(watched)) {
                LocaliseFileChooser(*files);
            } else if (auto* fonts = qobject_cast<QFontDialog*>(watched)) {
                LocaliseFontChooser(*fonts);
            }
        }
        return false;
    }
};

}  // namespace

QString CFileColumns::ShownText(const QModelIndex& index) {
    const QModelIndex source = SourceIndex(index);
    const auto* files = qobject_cast<const QFileSystemModel*>(source.model());
    if (files == nullptr) {
        return index.data().toString();
    }
    switch (index.column()) {
        case 1:
            if (!files->isDir(source)) {
                return QLocale().formattedDataSize(files->size(source));
            }
            break;
        case 3:
            return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        default:
            break;
    }
    return index.data().toString();
}

QModelIndex CFileColumns::SourceIndex(const QModelIndex& index) {
    QModelIndex source = index;
    while (const auto* proxy = qobject_cast<const QAbstractProxyModel*>(source.model())) {
        source = proxy->mapToSource(source);
    }
    return source;
}

void CFileColumns::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    option->text = ShownText(index);
}

void LocaliseFileChooser(QFileDialog& chooser) {
    chooser.setProperty(kLocalised, true);
    // The file system model formats its size and date columns with the environment's locale:
    // the detail view draws them again with the default one. Only the drawing changes.
    if (auto* details = chooser.findChild<QAbstractItemView*>(QStringLiteral("treeView"))) {
        auto* columns = new CFileColumns(details);
        details->setItemDelegateForColumn(1, columns);
        details->setItemDelegateForColumn(3, columns);
    }
}

void LocaliseFontChooser(QFontDialog& chooser) {
    chooser.setProperty(kLocalised, true);
    // The family, style and size lists in this order, each style list behind its read-only
    // line. Only the shown texts change: the chooser looks fonts up by the English names.
    const QList<QListView*> lists = chooser.findChildren<QListView*>(Qt::FindDirectChildrenOnly);
    const QList<QLineEdit*> lines = chooser.findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly);
    if (lists.size() < 2 || lines.size() < 2 || lines[1]->focusProxy() != lists[1]) {
        return;
    }
    QListView* styles = lists[1];
    QLineEdit* style = lines[1];
    styles->setItemDelegate(new CPolishStyleNames(styles));
    const auto polish = [style] {
        const QString shown = PolishFontStyle(style->text());
        if (shown != style->text()) {
            style->setText(shown);
        }
    };
    QObject::connect(style, &QLineEdit::textChanged, style, polish);
    polish();
}

bool InstallPolishLocale(QCoreApplication& application) {
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    application.installEventFilter(new CChooserLocaliser(&application));

    auto* translator = new QTranslator(&application);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_pl"), folder) ||
        !QCoreApplication::installTranslator(translator)) {
        std::fprintf(stderr,
                     "orvex: Qt's Polish translation (qtbase_pl.qm in %s, package "
                     "qt6-translations-l10n) cannot be loaded; standard buttons stay in English\n",
                     qPrintable(folder));
        delete translator;
        return false;
    }
    return true;
}
