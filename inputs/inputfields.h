#pragma once

// What the input fields take: the patterns of their validators, shared with the reader of input
// files so that a file never puts into a field what could not be typed there.

#include <QString>

enum class Input;

enum class FieldKind {
    Decimal,   // digits with one decimal point: feed, concentration, timespan, every reactor field
    Fraction,  // "0." and digits, below 1: the fractioning factors
    Ph,        // 1 to 12 with at most two decimals: the manual pH
};

FieldKind fieldKind(Input input);
// The whole text must match.
QString fieldPattern(FieldKind kind);
// Whether a field of that kind holds text that its validator would not refuse: a match, or the
// start of one (a plain "50" is still being typed towards "50.0").
bool fieldTakes(FieldKind kind, const QString &text);
