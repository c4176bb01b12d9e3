#include "ui/dialogs/LinkOpener.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QFile>
#include <QUrl>
#include <cerrno>
#include <vector>

#include "ui/dialogs/DesktopHandler.h"

namespace linkopen {

namespace {

// The program's path as execve wants it: a name without a slash is looked up in PATH. A file
// found without execute permission is still returned, so that the start reports EACCES.
QByteArray ResolveProgram(const QString& program) {
    if (program.contains(QLatin1Char('/'))) {
        return QFile::encodeName(program);
    }
    QString path = qEnvironmentVariable("PATH");
    if (path.isEmpty()) {
        path = QStringLiteral("/usr/local/bin:/usr/bin:/bin");
    }
    QByteArray notExecutable;
    for (const QString& dir : path.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QByteArray candidate = QFile::encodeName(dir + QLatin1Char('/') + program);
        struct stat st = {};
        if (::stat(candidate.constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
            continue;
        }
        if (::access(candidate.constData(), X_OK) == 0) {
            return candidate;
        }
        if (notExecutable.isEmpty()) {
            notExecutable = candidate;
        }
    }
    return notExecutable;
}

}  // namespace

int ResultFromErrno(int error) {
    switch (error) {
        case ENOENT:
            return kNotFound;
        case ENOTDIR:
            return kPathNotFound;
        case EACCES:
        case EPERM:
            return kAccessDenied;
        case ENOMEM:
            return kOutOfMemory;
        case ENOEXEC:
            return kBadExecutable;
        case ETXTBSY:
            return kSharingViolation;
        default:
            return kErrnoBase + error;
    }
}

int StartDetached(const QStringList& argv) {
    if (argv.isEmpty()) {
        return kBadAssociation;
    }
    const QByteArray program = ResolveProgram(argv.front());
    if (program.isEmpty()) {
        return kNotFound;
    }
    // Everything the children need is prepared here: after fork only async-signal-safe calls.
    std::vector<QByteArray> storage;
    storage.reserve(static_cast<std::size_t>(argv.size()));
    for (const QString& arg : argv) {
        storage.push_back(arg.toLocal8Bit());
    }
    std::vector<char*> args;
    for (QByteArray& arg : storage) {
        args.push_back(arg.data());
    }
    args.push_back(nullptr);

    // The grandchild reports a failed exec through the pipe; a successful exec closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return ResultFromErrno(errno);
    }
    const pid_t middle = ::fork();
    if (middle < 0) {
        const int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return ResultFromErrno(error);
    }
    if (middle == 0) {
        // The middle child ends at once, so the started program is not ours to reap.
        const pid_t child = ::fork();
        if (child == 0) {
            ::setsid();
            ::execv(program.constData(), args.data());
            const int error = errno;
            [[maybe_unused]] const ssize_t n = ::write(report[1], &error, sizeof error);
            ::_exit(127);
        }
        if (child < 0) {
            const int error = errno;
            [[maybe_unused]] const ssize_t n = ::write(report[1], &error, sizeof error);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got = 0;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    return got == static_cast<ssize_t>(sizeof error) ? ResultFromErrno(error) : kOpened;
}

int OpenWithDefaultHandler(const QString& address) {
    const QString entry = DefaultHandlerEntry(QStringLiteral("text/html"));
    if (entry.isEmpty()) {
        return kNoAssociation;
    }
    const QStringList argv = CommandForAddress(ReadExecLine(entry), address);
    if (argv.isEmpty()) {
        return kBadAssociation;
    }
    return StartDetached(argv);
}

int OpenAddress(const QString& address) {
    if (QDesktopServices::openUrl(QUrl(address))) {
        return kOpened;
    }
    return OpenWithDefaultHandler(address);
}

QString ErrorReport(int result) {
    QString reason;
    switch (result) {
        case 0:
            reason = QStringLiteral("The operating system is out\nof memory or resources.");
            break;
        case 2:
            reason = QStringLiteral("The specified file was not found.");
            break;
        case 3:
            reason = QStringLiteral("The specified path was not found.");
            break;
        case 5:
            reason = QStringLiteral("The operating system denied\naccess to the specified file.");
            break;
        case 8:
            reason = QStringLiteral("There was not enough memory to complete the operation.");
            break;
        case 11:
            reason = QStringLiteral(
                "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
            break;
        case 26:
            reason = QStringLiteral("A sharing violation occurred. ");
            break;
        case 27:
            reason = QStringLiteral("The filename association is\nincomplete or invalid.");
            break;
        case 28:
            reason = QStringLiteral(
                "The DDE transaction could not\nbe completed because the request timed out.");
            break;
        case 29:
            reason = QStringLiteral("The DDE transaction failed.");
            break;
        case 30:
            reason = QStringLiteral(
                "The DDE transaction could not\nbe completed because other DDE "
                "transactions\nwere being processed.");
            break;
        case 31:
            reason = QStringLiteral(
                "There is no application associated\nwith the given filename extension.");
            break;
        case 32:
            reason = QStringLiteral("The specified dynamic-link library was not found.");
            break;
        default:
            reason = QString::asprintf("Unknown Error (%d) occurred.", result);
            break;
    }
    return QStringLiteral("Unable to open hyperlink:\n\n") + reason;
}

}  // namespace linkopen
