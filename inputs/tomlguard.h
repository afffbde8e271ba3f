#pragma once

// A cheap look at TOML text before it is parsed. The TOML library parses a dotted key part by
// part recursively, without a limit, so one key of tens of thousands of parts overflows the
// stack; a text too large or nested too deep is refused here instead, without parsing it.

#include <QByteArray>
#include <QString>

#include <optional>

// The most an input file may hold: its few keys need a few hundred bytes and no nesting.
inline constexpr qsizetype kLargestToml = 1024 * 1024;  // bytes
inline constexpr int kDeepestToml = 32;  // tables and lists within each other plus a key's dotted parts

struct TomlRefusal {
    int line = 0;  // where the text goes too deep; 0 for its size
    QString reason;
};

// Why text must not be parsed, or nothing. Strings and comments are skipped, so dots and
// brackets in them do not count.
std::optional<TomlRefusal> refuseUnsafeToml(const QByteArray &text);
