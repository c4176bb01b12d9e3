#include "app/SettingsMessages.h"

#include <cerrno>

#include "text/FileErrorText.h"

namespace {

QString Name(const std::filesystem::path& file) {
    return QString::fromStdString(file.string());
}

// The reasons as the settings file meets them; the other file errors as recording tells them.
QString Reason(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return QStringLiteral("brak uprawnień do zapisu");
        case EROFS:
            return QStringLiteral("system plików jest tylko do odczytu");
        case EFBIG:
            return QStringLiteral("plik byłby większy niż %1 MB").arg(CIniEx::kMaxFileSize >> 20);
        default:
            return QString::fromStdString(DescribeFileError(error));
    }
}

}  // namespace

QString RefusedSettingsText(const std::filesystem::path& file, IniOpenResult result) {
    const QString consequence = QStringLiteral(
        " Program działa na ustawieniach wbudowanych i nie zapisze ich do tego pliku.");
    switch (result) {
        case IniOpenResult::NotRegularFile:
            return QStringLiteral(
                       "Plik ustawień %1 nie jest zwykłym plikiem, więc nie został "
                       "odczytany.")
                       .arg(Name(file)) +
                   consequence;
        case IniOpenResult::TooLarge:
            return QStringLiteral(
                       "Plik ustawień %1 jest większy niż %2 MB, więc nie został "
                       "odczytany.")
                       .arg(Name(file))
                       .arg(CIniEx::kMaxFileSize >> 20) +
                   consequence;
        case IniOpenResult::Unreadable:
            return QStringLiteral("Pliku ustawień %1 nie można odczytać.").arg(Name(file)) +
                   consequence;
        case IniOpenResult::Opened:
        case IniOpenResult::CannotOpen:
            break;
    }
    return {};
}

QString UnsavedSettingsText(const std::filesystem::path& file, IniSaveResult result, int error) {
    switch (result) {
        case IniSaveResult::ReadOnly:
            return QStringLiteral("Nie zapisano ustawień: plik %1 jest tylko do odczytu.")
                .arg(Name(file));
        case IniSaveResult::Failed:
            return QStringLiteral("Nie zapisano ustawień w pliku %1 (%2).")
                .arg(Name(file), Reason(error));
        case IniSaveResult::Written:
        case IniSaveResult::WrittenInPlace:
        case IniSaveResult::NoFile:
            break;
    }
    return {};
}
