#pragma once

// Files written whole or not at all. A SafeFile is written as a hidden temporary file beside its
// target (".<name>.XXXXXX") and moved onto the target's name only by commit(), once complete: the
// name shows the earlier file or the complete new one, never a part. Anything but a successful
// commit removes the temporary file again, and only regular files are ever replaced. While it
// exists, the temporary file is listed in the TempRegistry, so that a signal that ends the
// process removes it too.

#include <QFile>
#include <QString>

struct FileTarget {
    enum class Existing {
        Replace,  // a regular file of that name is replaced
        Keep,     // never replaced: the file takes the first free name of path, path_2, path_3 ...
    };
    QString path;
    Existing existing = Existing::Replace;
};

// What a writer left: the file's final path, or why there is none.
struct WrittenFile {
    QString path;
    QString error;
};

class SafeFile {
public:
    // Creates the temporary file; error() tells why when that failed.
    explicit SafeFile(const FileTarget &target);
    ~SafeFile();
    SafeFile(const SafeFile &) = delete;
    SafeFile &operator=(const SafeFile &) = delete;

    QString error() const { return failure; }
    // The temporary file, open for writing; writers that open files by name use tempPath().
    QFile &file() { return temp; }
    QString tempPath() const { return tempName; }

    // Why the last write to file() failed, with the file's name: in the system's words, as the
    // failed write left errno (Qt has no text for a write the disk cut short), else in Qt's.
    // Call it right after the write that failed.
    QString writeError() const;

    // Flushes the temporary file to the disk and moves it into place. On failure the temporary
    // file is removed and an existing file is left as it was.
    WrittenFile commit();

    // Whether a file may be written at path now: nothing or a regular file has that name (a
    // symbolic link counts as what it points to) and its folder takes new files. Returns an
    // empty string, or why not.
    static QString checkTarget(const QString &path);
    // Whether dir is an existing folder in which a new file can be created (tried with a probe
    // file, removed at once). Returns an empty string, or why not.
    static QString checkFolder(const QString &dir);
    // Whether two names reach one file: the same path once symbolic links and "." and ".." are
    // resolved (for a name not there yet, those of its nearest existing folder), or one file under
    // two hard links.
    static bool sameFile(const QString &a, const QString &b);
    // path with "_n" before its extension; path itself for n = 1.
    static QString numberedName(const QString &path, int n);

private:
    WrittenFile moveIntoPlace();
    void discard();

    FileTarget target;
    QFile temp;
    QString tempName;
    QString failure;
    bool committed = false;
    int registration = -1;  // the temporary file's slot in the TempRegistry
};

// A file given its name later than it is written: a hidden, empty placeholder beside the target
// (".<name>.XXXXXX", with an existing file's permissions) that a writer replaces with the new
// content, and that commit() moves onto the target. Until then a file of the target's name
// stays as it was; anything but a successful commit removes the placeholder, and so does a
// signal that ends the process.
class StagedFile {
public:
    explicit StagedFile(const QString &target);
    ~StagedFile();
    StagedFile(const StagedFile &) = delete;
    StagedFile &operator=(const StagedFile &) = delete;

    // Why the placeholder could not be made, or empty.
    QString error() const { return failure; }
    // The placeholder, for the writer.
    QString path() const { return stagedName; }
    // A writer's message about the placeholder, naming the target instead.
    QString shown(QString text) const { return stagedName.isEmpty() ? text : text.replace(stagedName, targetPath); }
    // Moves what was written at path() onto the target: its final path, or why not.
    WrittenFile commit();

private:
    QString targetPath;
    QString stagedName;
    QString failure;
    int registration = -1;
};
