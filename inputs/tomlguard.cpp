#include "tomlguard.h"

namespace {

// Skips a string that starts at text[i] (its quote) and returns the index past its end; counts
// the line breaks of a multi-line string into *line. Basic strings (") have escapes.
qsizetype skipString(const QByteArray &text, qsizetype i, int *line)
{
    const char quote = text[i];
    const bool multiLine = text.mid(i, 3) == QByteArray(3, quote);
    i += multiLine ? 3 : 1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && quote == '"')
            ++i;  // an escaped character, also an escaped quote
        else if (c == '\n' && !multiLine)
            return i;  // an unterminated string: the parser names it
        else if (c == '\n')
            ++*line;
        else if (c == quote && (!multiLine || text.mid(i, 3) == QByteArray(3, quote)))
            return i + (multiLine ? 3 : 1);
    }
    return i;
}

}  // namespace

std::optional<TomlRefusal> refuseUnsafeToml(const QByteArray &text)
{
    if (text.size() > kLargestToml)
        return TomlRefusal{0, QStringLiteral("larger than %1 KiB; an input file is a few lines").arg(kLargestToml / 1024)};
    int line = 1;
    int brackets = 0;  // tables and lists open around this point
    int dots = 0;      // dotted parts of the key (or number) at this point
    for (qsizetype i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '"' || c == '\'') {
            i = skipString(text, i, &line);
            continue;
        }
        if (c == '#') {
            while (i < text.size() && text[i] != '\n')
                ++i;
            continue;
        }
        if (c == '[' || c == '{')
            ++brackets;
        else if ((c == ']' || c == '}') && brackets > 0)
            --brackets;
        else if (c == '.')
            ++dots;
        if (c == '[' || c == '{' || c == ']' || c == '}' || c == '=' || c == ',' || c == '\n')
            dots = 0;
        if (c == '\n')
            ++line;
        if (brackets + dots > kDeepestToml)
            return TomlRefusal{line, QStringLiteral("keys, tables and lists nested more than %1 deep; an input file "
                                                    "needs no nesting")
                                         .arg(kDeepestToml)};
        ++i;
    }
    return std::nullopt;
}
