#include "guardedtoml.h"

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

// Why text must not be parsed, or nothing. Strings and comments are skipped, so dots and
// brackets in them do not count.
std::optional<TomlRefusal> refuseDeepToml(const QByteArray &text)
{
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
            return TomlRefusal{line, 1, QStringLiteral("keys, tables and lists nested more than %1 deep").arg(kDeepestToml)};
        ++i;
    }
    return std::nullopt;
}

}  // namespace

GuardedToml parseGuardedToml(const QByteArray &text)
{
    GuardedToml parsed;
    parsed.refusal = refuseDeepToml(text);
    if (parsed.refusal)
        return parsed;
    try {
        parsed.table = toml::parse(std::string_view(text.constData(), size_t(text.size())));
    } catch (const toml::parse_error &error) {
        parsed.refusal = TomlRefusal{int(error.source().begin.line), int(error.source().begin.column),
                                     QStringLiteral("not TOML: ") +
                                         QString::fromUtf8(error.description().data(), qsizetype(error.description().size()))};
    }
    return parsed;
}
