#pragma once
#include <QString>
#include <QStringList>

// The desktop's default application for a MIME type, and the command that opens an address
// with it, from the XDG desktop entry and MIME association files.
namespace linkopen {

// Path of the desktop entry of the default handler for a MIME type, following the XDG
// mimeapps.list, defaults.list and mimeinfo.cache files; empty when there is none.
QString DefaultHandlerEntry(const QString& mimeType);

// The Exec value of a desktop entry's [Desktop Entry] group; empty when the file cannot be
// read, has no Exec line or is hidden.
QString ReadExecLine(const QString& desktopFile);

// The argument vector of an Exec value with the address in place of its first %u, %U, %f or
// %F (appended when there is none); other field codes are dropped. Empty when the value
// cannot be parsed (an unterminated quote).
QStringList CommandForAddress(const QString& exec, const QString& address);

}  // namespace linkopen
