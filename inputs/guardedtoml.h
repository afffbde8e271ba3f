#pragma once

// TOML text parsed after a cheap look at it: the TOML library parses a dotted key part by part
// recursively, without a limit, so one key of tens of thousands of parts would overflow the
// stack; text nested too deep is refused here instead, without parsing it. Every TOML read of
// the program goes through parseGuardedToml.

#include <QByteArray>
#include <QString>

#include <toml++/toml.h>

#include <optional>

inline constexpr int kDeepestToml = 32;  // tables and lists within each other plus a key's dotted parts

struct TomlRefusal {
    int line = 0, column = 0;  // where the text goes too deep or stops being TOML
    QString reason;
};

// The table, or why the text is not one (nested too deep, or not TOML: the library's words).
struct GuardedToml {
    toml::table table;
    std::optional<TomlRefusal> refusal;
};
GuardedToml parseGuardedToml(const QByteArray &text);
