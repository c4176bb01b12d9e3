#include "store/IniFile.h"

#include <algorithm>

#include "os/FileWrite.h"
#include "store/IniFileAccess.h"

namespace inifile {

IniOpenResult ReadOpened(std::intptr_t file, std::uint64_t size, std::uint64_t maxSize,
                         std::string& text) {
    const std::uint64_t limit = maxSize + 1;  // one byte more tells a file that grew meanwhile
    text.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(size + 1, limit)));
    char buffer[65536];
    while (text.size() < limit) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, limit - text.size()));
        const std::int64_t got = ReadSome(file, buffer, want);
        if (got <= 0) {
            break;  // end of file, or a read error: keep what was read
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    if (text.size() > maxSize) {
        std::string().swap(text);
        return IniOpenResult::TooLarge;
    }
    return IniOpenResult::Opened;
}

bool RewriteInPlace(const std::filesystem::path& target, std::string_view content, int& error) {
    std::intptr_t file = 0;
    error = OpenForRewrite(target, file);
    if (error != 0) {
        return false;
    }
    error = Reserve(file, content.size());
    if (error == 0) {
        error = WriteAllAt(file, content.data(), content.size(), 0);
    }
    if (error == 0) {
        error = EndAt(file, content.size());
    }
    if (const int closed = CloseFile(file); error == 0) {
        error = closed;
    }
    return error == 0;
}

IniSaveResult Settle(Replaced replaced, bool hadOld, const std::filesystem::path& target,
                     std::string_view content, int& error) {
    switch (replaced) {
        case Replaced::Done:
            return IniSaveResult::Written;
        case Replaced::WriteFailed:
            return IniSaveResult::Failed;
        case Replaced::FolderRefused:
            break;
    }
    int inPlaceError = 0;
    if (hadOld && RewriteInPlace(target, content, inPlaceError)) {
        error = 0;
        return IniSaveResult::WrittenInPlace;
    }
    return IniSaveResult::Failed;  // the folder's refusal is the reason worth telling
}

}  // namespace inifile
