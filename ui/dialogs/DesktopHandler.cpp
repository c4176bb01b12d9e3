#include "ui/dialogs/DesktopHandler.h"

#include <QDir>
#include <QFile>
#include <optional>

namespace linkopen {

namespace {

// Desktop files and MIME lists are small; anything larger is not one of them.
constexpr qint64 kMaxConfigFileSize = 1 << 20;

QStringList DirsFromEnv(const char* name, const QString& fallback) {
    QString value = qEnvironmentVariable(name);
    if (value.isEmpty()) {
        value = fallback;
    }
    QStringList dirs;
    for (const QString& dir : value.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        // Relative entries are invalid in these variables and are ignored.
        if (dir.startsWith(QLatin1Char('/'))) {
            dirs << dir;
        }
    }
    return dirs;
}

QString HomeDirFromEnv(const char* name, const QString& relative) {
    const QString value = qEnvironmentVariable(name);
    if (value.startsWith(QLatin1Char('/'))) {
        return value;
    }
    return QDir::homePath() + QLatin1Char('/') + relative;
}

QStringList ConfigDirs() {
    return QStringList{HomeDirFromEnv("XDG_CONFIG_HOME", QStringLiteral(".config"))} +
           DirsFromEnv("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
}

QStringList ApplicationDirs() {
    QStringList dirs{HomeDirFromEnv("XDG_DATA_HOME", QStringLiteral(".local/share"))};
    dirs += DirsFromEnv("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    for (QString& dir : dirs) {
        dir += QStringLiteral("/applications");
    }
    return dirs;
}

// The value of key in [group] of an INI-style file (first occurrence), if any.
std::optional<QString> ReadValue(const QString& path, const QString& group, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QString text = QString::fromUtf8(file.read(kMaxConfigFileSize));
    bool inGroup = false;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QString(QLatin1Char('[') + group + QLatin1Char(']'));
            continue;
        }
        if (!inGroup || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.first(eq).trimmed() == key) {
            return line.sliced(eq + 1).trimmed().toString();
        }
    }
    return std::nullopt;
}

// The first listed desktop entry that exists and can be started.
QString FirstUsableEntry(const QString& list, const QStringList& appDirs) {
    for (const QString& id : list.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (id.contains(QLatin1Char('/')) || !id.endsWith(QStringLiteral(".desktop"))) {
            continue;
        }
        for (const QString& dir : appDirs) {
            const QString path = dir + QLatin1Char('/') + id;
            if (QFile::exists(path) && !ReadExecLine(path).isEmpty()) {
                return path;
            }
        }
    }
    return {};
}

// Value-level escapes of desktop entries.
QString Unescape(const QString& value) {
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
            case 's':
                out += QLatin1Char(' ');
                break;
            case 'n':
                out += QLatin1Char('\n');
                break;
            case 't':
                out += QLatin1Char('\t');
                break;
            case 'r':
                out += QLatin1Char('\r');
                break;
            default:  // "\\" and the exec-level escapes, which the splitter handles
                if (next != QLatin1Char('\\')) {
                    out += QLatin1Char('\\');
                }
                out += next;
                break;
        }
    }
    return out;
}

std::optional<QStringList> SplitExec(const QString& exec) {
    QStringList args;
    QString current;
    bool inToken = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                current += exec[++i];
            } else {
                current += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            inToken = true;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inToken) {
                args << current;
                current.clear();
                inToken = false;
            }
        } else {
            current += c;
            inToken = true;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    if (inToken) {
        args << current;
    }
    return args;
}

bool IsAddressCode(QChar c) {
    return c == QLatin1Char('u') || c == QLatin1Char('U') || c == QLatin1Char('f') ||
           c == QLatin1Char('F');
}

}  // namespace

QString ReadExecLine(const QString& desktopFile) {
    const QString group = QStringLiteral("Desktop Entry");
    if (ReadValue(desktopFile, group, QStringLiteral("Hidden")) == QStringLiteral("true")) {
        return {};
    }
    return ReadValue(desktopFile, group, QStringLiteral("Exec")).value_or(QString());
}

QString DefaultHandlerEntry(const QString& mimeType) {
    const QStringList appDirs = ApplicationDirs();
    QStringList desktops;
    for (const QString& name : qEnvironmentVariable("XDG_CURRENT_DESKTOP")
                                   .toLower()
                                   .split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        desktops << name + QStringLiteral("-mimeapps.list");
    }
    desktops << QStringLiteral("mimeapps.list");

    QStringList mimeApps;
    for (const QString& dir : ConfigDirs() + appDirs) {
        for (const QString& name : desktops) {
            mimeApps << dir + QLatin1Char('/') + name;
        }
    }
    // Explicit defaults first, then the system's defaults, then any application that says it
    // can show the type.
    const auto search = [&](const QStringList& files, const QString& group) -> QString {
        for (const QString& file : files) {
            if (const auto list = ReadValue(file, group, mimeType)) {
                if (QString entry = FirstUsableEntry(*list, appDirs); !entry.isEmpty()) {
                    return entry;
                }
            }
        }
        return {};
    };
    QStringList defaultsLists;
    QStringList caches;
    for (const QString& dir : appDirs) {
        defaultsLists << dir + QStringLiteral("/defaults.list");
        caches << dir + QStringLiteral("/mimeinfo.cache");
    }
    for (const auto& [files, group] :
         {std::pair{mimeApps, QStringLiteral("Default Applications")},
          std::pair{defaultsLists, QStringLiteral("Default Applications")},
          std::pair{mimeApps, QStringLiteral("Added Associations")},
          std::pair{caches, QStringLiteral("MIME Cache")}}) {
        if (QString entry = search(files, group); !entry.isEmpty()) {
            return entry;
        }
    }
    return {};
}

QStringList CommandForAddress(const QString& exec, const QString& address) {
    const auto tokens = SplitExec(Unescape(exec));
    // The first word must name the program.
    if (!tokens || tokens->isEmpty() || tokens->front().startsWith(QLatin1Char('%'))) {
        return {};
    }
    QStringList argv;
    bool placed = false;
    for (const QString& token : *tokens) {
        if (token.size() == 2 && token[0] == QLatin1Char('%') && token[1] != QLatin1Char('%')) {
            // A field code on its own: the address once, everything else dropped.
            if (IsAddressCode(token[1]) && !placed) {
                argv << address;
                placed = true;
            }
            continue;
        }
        QString arg;
        for (qsizetype i = 0; i < token.size(); ++i) {
            if (token[i] != QLatin1Char('%') || i + 1 == token.size()) {
                arg += token[i];
                continue;
            }
            const QChar code = token[++i];
            if (code == QLatin1Char('%')) {
                arg += code;
            } else if (IsAddressCode(code) && !placed) {
                arg += address;
                placed = true;
            }
        }
        argv << arg;
    }
    if (argv.isEmpty() || argv.front().isEmpty()) {
        return {};
    }
    if (!placed) {
        argv << address;
    }
    return argv;
}

}  // namespace linkopen
