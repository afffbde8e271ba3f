#include "safefile.h"

#include "tempregistry.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>  // renameat2
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString lastError() { return QString::fromLocal8Bit(std::strerror(errno)); }

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe (FIFO)");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("a special file");
}

// The file a write to path would replace: path itself, or what a symbolic link there points to.
// Returns an empty string, or why nothing may be written there. *existing tells whether a
// regular file is there, with its mode in *mode.
QString resolveTarget(const QString &path, QString *resolved, bool *existing, mode_t *mode)
{
    *resolved = path;
    *existing = false;
    struct stat st {};
    if (lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};  // nothing there yet; a missing folder shows when the file is created
    if (S_ISLNK(st.st_mode)) {
        *resolved = QFileInfo(path).canonicalFilePath();
        if (resolved->isEmpty() || lstat(QFile::encodeName(*resolved).constData(), &st) != 0)
            return QStringLiteral("%1 is a symbolic link to nothing; it is left as it is").arg(path);
    }
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("%1 is %2, not a regular file; it is left as it is").arg(path, kindOf(st.st_mode));
    *existing = true;
    *mode = st.st_mode & 07777;
    return {};
}

// Creates "." + name + ".XXXXXX" in dir exclusively, with the permissions the umask allows.
// Returns the open descriptor and its path, or -1 with errno set.
int createHidden(const QString &dir, const QString &name, QString *path)
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString suffix;
        for (int i = 0; i < 6; ++i)
            suffix += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters) - 1)]);
        *path = dir + QStringLiteral("/.") + name + QLatin1Char('.') + suffix;
        const int fd = ::open(QFile::encodeName(*path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Gives the complete file at from the name to without ever replacing a file of that name.
// Returns 0, or -1 with errno set (EEXIST when the name is taken).
int renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return -1;
    // A file system without that kind of rename: a hard link fails just as well on a taken name.
    if (link(from.constData(), to.constData()) != 0)
        return -1;
    unlink(from.constData());
    return 0;
}

// Moves the complete file at from onto target, which must be nothing or a regular file (looked at
// again: something may have taken the name since the file was started).
WrittenFile replaceRegular(const QByteArray &from, const QString &target)
{
    QString resolved;
    bool existing = false;
    mode_t mode = 0;
    const QString refusal = resolveTarget(target, &resolved, &existing, &mode);
    if (!refusal.isEmpty())
        return {{}, refusal};
    if (rename(from.constData(), QFile::encodeName(resolved).constData()) != 0)
        return {{}, QStringLiteral("%1: %2").arg(resolved, lastError())};
    return {resolved, {}};
}

}  // namespace

SafeFile::SafeFile(const FileTarget &target_) : target(target_)
{
    QString resolved;
    bool existing = false;
    mode_t mode = 0;
    if (target.existing == FileTarget::Existing::Replace) {
        failure = resolveTarget(target.path, &resolved, &existing, &mode);
        if (!failure.isEmpty())
            return;
        target.path = resolved;
    }
    const QFileInfo info(target.path);
    const int fd = createHidden(info.absolutePath(), info.fileName(), &tempName);
    if (fd < 0) {
        failure = QStringLiteral("%1: cannot create a file in its folder: %2").arg(target.path, lastError());
        tempName.clear();  // names no file of ours
        return;
    }
    registration = TempRegistry::add(QFile::encodeName(tempName).constData());
    if (existing)
        fchmod(fd, mode);  // the new file keeps the permissions of the one it replaces
    temp.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
}

SafeFile::~SafeFile() { discard(); }

void SafeFile::discard()
{
    if (committed || tempPath().isEmpty())
        return;
    temp.close();
    unlink(QFile::encodeName(tempPath()).constData());
    TempRegistry::remove(registration);
    registration = -1;
}

QString SafeFile::writeError() const
{
    const int code = errno;
    return QStringLiteral("%1: %2").arg(target.path, code != 0 ? lastError() : temp.errorString());
}

WrittenFile SafeFile::commit()
{
    WrittenFile written;
    errno = 0;
    if (!failure.isEmpty())
        written.error = failure;
    else if (!temp.flush() || temp.error() != QFileDevice::NoError)
        written.error = writeError();
    else if (fsync(temp.handle()) != 0)
        written.error = QStringLiteral("%1: %2").arg(target.path, lastError());
    else
        written = moveIntoPlace();
    if (written.error.isEmpty()) {
        committed = true;
        TempRegistry::remove(registration);  // only now: the name it had is gone
        registration = -1;
    } else {
        discard();
    }
    return written;
}

WrittenFile SafeFile::moveIntoPlace()
{
    temp.close();
    const QByteArray from = QFile::encodeName(tempPath());
    if (target.existing == FileTarget::Existing::Replace)
        return replaceRegular(from, target.path);
    constexpr int kMostNames = 10000;
    for (int n = 1; n <= kMostNames; ++n) {
        const QString name = numberedName(target.path, n);
        if (renameNoReplace(from, QFile::encodeName(name)) == 0)
            return {name, {}};
        if (errno != EEXIST)
            return {{}, QStringLiteral("%1: %2").arg(name, lastError())};
    }
    return {{}, QStringLiteral("%1: the names up to _%2 are all taken").arg(target.path).arg(kMostNames)};
}

QString SafeFile::numberedName(const QString &path, int n)
{
    if (n == 1)
        return path;
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const QString stem = suffix.isEmpty() ? path : path.chopped(suffix.size() + 1);
    return stem + QStringLiteral("_%1").arg(n) + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}

QString SafeFile::checkTarget(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("no file name given");
    QString resolved;
    bool existing = false;
    mode_t mode = 0;
    const QString refusal = resolveTarget(path, &resolved, &existing, &mode);
    if (!refusal.isEmpty())
        return refusal;
    return checkFolder(QFileInfo(resolved).absolutePath());
}

QString SafeFile::checkFolder(const QString &dir)
{
    struct stat st {};
    if (stat(QFile::encodeName(dir).constData(), &st) != 0)
        return errno == ENOENT ? QStringLiteral("the folder %1 does not exist").arg(dir)
                               : QStringLiteral("%1: %2").arg(dir, lastError());
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("%1 is not a folder").arg(dir);
    QString probe;
    const int fd = createHidden(dir, QStringLiteral("digestra-probe"), &probe);
    if (fd < 0)
        return QStringLiteral("cannot create files in the folder %1: %2").arg(dir, lastError());
    close(fd);
    unlink(QFile::encodeName(probe).constData());
    return {};
}

namespace {

// The path a name reaches: an existing file's canonical path, else its nearest existing folder's
// with the rest of the name after it.
QString reachedPath(const QString &path)
{
    QFileInfo info(QFileInfo(path).absoluteFilePath());
    QString rest;
    while (!info.exists() && !info.isSymLink() && !info.isRoot()) {
        rest = rest.isEmpty() ? info.fileName() : info.fileName() + QLatin1Char('/') + rest;
        info = QFileInfo(info.absolutePath());
    }
    const QString existing = info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath();
    return QDir::cleanPath(rest.isEmpty() ? existing : existing + QLatin1Char('/') + rest);
}

}  // namespace

bool SafeFile::sameFile(const QString &a, const QString &b)
{
    if (reachedPath(a) == reachedPath(b))
        return true;
    struct stat first {}, second {};
    return stat(QFile::encodeName(a).constData(), &first) == 0 && stat(QFile::encodeName(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

StagedFile::StagedFile(const QString &target)
{
    bool existing = false;
    mode_t mode = 0;
    failure = resolveTarget(target, &targetPath, &existing, &mode);
    if (!failure.isEmpty())
        return;
    const QFileInfo info(targetPath);
    targetPath = info.absoluteFilePath();
    const int fd = createHidden(info.absolutePath(), info.fileName(), &stagedName);
    if (fd < 0) {
        failure = QStringLiteral("%1: cannot create a file in its folder: %2").arg(targetPath, lastError());
        stagedName.clear();
        return;
    }
    registration = TempRegistry::add(QFile::encodeName(stagedName).constData());
    if (existing)
        fchmod(fd, mode);
    close(fd);
}

StagedFile::~StagedFile()
{
    if (stagedName.isEmpty())
        return;
    unlink(QFile::encodeName(stagedName).constData());
    TempRegistry::remove(registration);
}

WrittenFile StagedFile::commit()
{
    if (!failure.isEmpty())
        return {{}, failure};
    const WrittenFile written = replaceRegular(QFile::encodeName(stagedName), targetPath);
    if (written.error.isEmpty()) {
        TempRegistry::remove(registration);
        stagedName.clear();  // nothing of ours left to remove
    }
    return written;
}
