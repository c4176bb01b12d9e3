#pragma once
#include <QString>
#include <QStringList>

// Opening a web address from the program. The result codes are the ones the link's error
// report knows: greater than 32 means success, the others name the reason.
namespace linkopen {

constexpr int kOpened = 33;
constexpr int kNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kOutOfMemory = 8;
constexpr int kBadExecutable = 11;
constexpr int kSharingViolation = 26;
constexpr int kBadAssociation = 27;
constexpr int kNoAssociation = 31;
// Other start failures are reported as this base plus errno, outside the known codes.
constexpr int kErrnoBase = 1000;

// The desktop's opener (QDesktopServices) first; when it fails, the default text/html
// handler started directly.
int OpenAddress(const QString& address);

// The fallback alone: the default handler's desktop entry, its Exec line with the address,
// started without a shell.
int OpenWithDefaultHandler(const QString& address);

// Starts the program detached and without a shell; kOpened or the code of the reason.
int StartDetached(const QStringList& argv);

int ResultFromErrno(int error);

// "Unable to open hyperlink:\n\n" and the reason for the result code.
QString ErrorReport(int result);

}  // namespace linkopen
