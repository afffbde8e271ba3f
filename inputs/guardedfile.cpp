#include "guardedfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The length of the UTF-8 sequence at text[i], or 0 where it is not one.
int utf8Length(const QByteArray &text, qsizetype i)
{
    const auto byte = [&](qsizetype k) { return k < text.size() ? uchar(text[k]) : 0u; };
    const uchar lead = byte(i);
    int length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                 : lead >= 0xF0 && lead <= 0xF4                  ? 4
                                                                 : 0;
    for (int k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    // Neither overlong, nor a surrogate, nor beyond U+10FFFF.
    const uchar second = byte(i + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

// Why bytes are not text a reader can take, with the place, or nothing.
QString textProblem(const QByteArray &text)
{
    if (text.startsWith("\xFF\xFE") || text.startsWith("\xFE\xFF"))
        return QStringLiteral("is UTF-16 text: save it as UTF-8");
    int line = 1, column = 1;
    for (qsizetype i = 0; i < text.size(); ++column) {
        const int length = utf8Length(text, i);
        if (length == 0)
            return QStringLiteral("is not UTF-8 text (line %1, column %2)").arg(line).arg(column);
        if (text[i] == '\0')
            return QStringLiteral("holds a NUL byte at line %1, column %2").arg(line).arg(column);
        if (text[i] == '\n') {
            ++line;
            column = 0;
        }
        i += length;
    }
    return {};
}

QString sizeText(qint64 bytes)
{
    return bytes >= (1 << 20) ? QStringLiteral("%1 MiB").arg(bytes >> 20) : QStringLiteral("%1 KiB").arg(bytes >> 10);
}

}  // namespace

GuardedFile readGuardedFile(const QString &path, qint64 largest)
{
    GuardedFile file;
    if (path.contains(QChar(0))) {
        file.refusal = QStringLiteral("a file name cannot hold a NUL character");
        return file;
    }
    // Opened without waiting, so a pipe with no writer cannot block; looked at before reading.
    const int fd = ::open(fileNameBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        file.refusal = QString::fromLocal8Bit(std::strerror(errno));
        return file;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        file.refusal = S_ISDIR(status.st_mode) ? QStringLiteral("is a folder, not a file")
                                               : QStringLiteral("is not a regular file (a pipe, a device or a socket)");
    } else if (status.st_size > largest) {
        file.refusal = QStringLiteral("is larger than %1").arg(sizeText(largest));
    } else {
        // At most one byte past the cap, should the file grow meanwhile.
        file.bytes.reserve(qsizetype(std::min<qint64>(status.st_size, largest) + 1));
        char chunk[1 << 16];
        while (file.bytes.size() <= largest) {
            const ssize_t got = ::read(fd, chunk, size_t(std::min<qint64>(sizeof chunk, largest + 1 - file.bytes.size())));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                file.refusal = QString::fromLocal8Bit(std::strerror(errno));
            if (got <= 0)
                break;
            file.bytes.append(chunk, got);
        }
        if (file.bytes.size() > largest)
            file.refusal = QStringLiteral("is larger than %1").arg(sizeText(largest));
    }
    ::close(fd);
    if (file.refusal.isEmpty())
        file.refusal = textProblem(file.bytes);
    if (!file.refusal.isEmpty())
        file.bytes.clear();
    else if (file.bytes.startsWith("\xEF\xBB\xBF"))
        file.bytes.remove(0, 3);  // the mark some editors put before UTF-8 text
    return file;
}

QString fileNameFromBytes(const QByteArray &name)
{
    QString text;
    for (qsizetype i = 0; i < name.size();) {
        const int length = utf8Length(name, i);
        text += length > 0 ? QString::fromUtf8(name.constData() + i, length) : QChar(char16_t(0xDC00 + uchar(name[i])));
        i += std::max(length, 1);
    }
    return text;
}

QByteArray fileNameBytes(const QString &name)
{
    QByteArray bytes;
    qsizetype run = 0;  // where the characters not yet encoded start
    for (qsizetype i = 0; i <= name.size(); ++i) {
        const char16_t c = i < name.size() ? name[i].unicode() : 0;
        const bool escaped = c >= 0xDC80 && c <= 0xDCFF && !(i > 0 && name[i - 1].isHighSurrogate());
        if (i == name.size() || escaped) {
            bytes += QStringView(name).mid(run, i - run).toUtf8();
            if (escaped)
                bytes += char(c - 0xDC00);
            run = i + 1;
        }
    }
    return bytes;
}
