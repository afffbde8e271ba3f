#pragma once

// Every file the program takes as input is read here, and only here: a regular file (a pipe, a
// device or a folder is refused before anything is read from it, so none can block or fill the
// memory), no larger than the cap of its kind (read at most one byte past it), and UTF-8 text
// without NUL bytes. TOML text then goes through parseGuardedToml (guardedtoml.h).

#include <QByteArray>
#include <QString>

// The caps: the most a file of each kind may hold.
inline constexpr qint64 kLargestInputsFile = 1 << 20;      // its few keys need a few hundred bytes
inline constexpr qint64 kLargestSubstratesFile = 1 << 20;  // a table of 26 numbers per substrate
inline constexpr qint64 kLargestFeedFile = 64 << 20;       // 100 000 rows of up to 27 columns
inline constexpr qint64 kLargestStateFile = 64 << 20;      // a saved state: a few hundred numbers and its run's inputs

// The bytes of a file, or why it is refused: "is a folder, not a file", "is larger than 1 MiB",
// "is not UTF-8 text (line 2, column 7)", or the system's reason it cannot be opened.
struct GuardedFile {
    QByteArray bytes;  // without a leading byte order mark
    QString refusal;   // empty when read
};
GuardedFile readGuardedFile(const QString &path, qint64 largest);

// File names as the system holds them: bytes that are not UTF-8 survive the trip through a QString
// as lone surrogates U+DC80..U+DCFF, so a name given on the command line is found whatever its
// encoding.
QString fileNameFromBytes(const QByteArray &name);
QByteArray fileNameBytes(const QString &name);
