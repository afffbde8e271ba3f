#pragma once

// A feed schedule: what flows into the first reactor or section, row by row from day 0, read
// from a CSV or TOML file and checked before a run. Each row gives its day (d, from 0, strictly
// increasing) or its date (YYYY-MM-DD; day 0 the first row's, or a TOML file's `start`, rows before
// it giving way to the one in force on it), and the feed in one of three forms per file:
//   - composites: Q_in (m3/d) and X_c_in (kgCOD/m3), disintegrating with the run's fractions;
//   - components: Q_in and any of the 24 liquid species, S_cat and S_an by state name (0 where
//     not given);
//   - substrates: the flow (m3/d, or t/d of fresh mass through the substrate's density) of each
//     named substrate of a substrate file; the feed is their flow-weighted mix and Q_in their sum.
// The row in force at time t is the last whose day is before t (row 0 at t = 0); the last row
// holds after its day.

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "labsubstrate.h"

#include <optional>
#include <vector>

struct FeedSchedule {
    QString file;  // the file read, absolute
    // The table as read, for the record: titles with units ("Q_in [m3/d]") and rows of numbers.
    QStringList titles;
    QList<QList<double>> rows;
    // What the model takes, column by column: "day", "Q_in", then "X_c_in" or components by
    // state name (all 26 for a substrate mix).
    QStringList columns;
    QList<QList<double>> values;
    // For a mix of substrates, row by row: the fresh mass, dry matter (TS) and organic dry matter
    // (VS) fed (t/d), and the methane the substrates could give at their BMP (Nm3/d); all but the
    // fresh mass not a number where a substrate does not give its lab values.
    QList<double> freshMass, totalSolids, volatileSolids, methanePotential;

    int rowAt(double t) const;
    double flowAt(double t) const;  // m3/d
    double codAt(double t) const;   // kgCOD/m3 of organic matter flowing in
    double codOfRow(int row) const; // the same, of one row of values
    // What a quantity given per day row by row (freshMass ...) adds up to from day 0 to t.
    double fedBy(const QList<double> &perDay, double t) const;
};

// A component a feed may give, with its unit; cod: it counts as organic matter (kgCOD/m3).
struct FeedComponent {
    const char *name;
    const char *unit;
    bool cod;
};
// The 24 liquid species, cations and anions, in the order of the model's state.
const std::vector<FeedComponent> &feedComponents();

// Substrates by name, each its components per m3 (component name -> value; others 0).
using Substrates = QMap<QString, QMap<QString, double>>;

// What reading a file gave: the value, or the problems, each "file:line:column: text".
template <class T>
struct FileReading {
    std::optional<T> value;
    QStringList problems;
    QStringList warnings;  // what was read but looks doubtful, each "file:line:column: text"
};

inline constexpr int kMostFeedRows = 100000;

// A TOML file of substrates: a table per substrate, its components as keys, or lab values
// (labsubstrate.h) converted into components, with the values a run sets over them. Each
// substrate also holds its density, and with lab values its solids and nitrogen (kg/m3).
FileReading<Substrates> readSubstrates(const QString &path, const SubstrateValues &set = {});

// A schedule from a CSV file (a header row naming the columns, "#" comment lines, units in
// brackets: "Q_in [m3/d]") or, when the name ends in ".toml", a TOML file ([[feed]] rows or the
// same columns as arrays). substrates are the ones a schedule of substrates may name. Refused:
// unknown columns, units or substrates, more than one form, non-numbers, negative flows or
// concentrations, days that do not start at 0 or do not increase, no rows, more than
// kMostFeedRows rows, a column given twice. The file goes through readGuardedFile (at most
// kLargestFeedFile bytes; substrates kLargestSubstratesFile).
FileReading<FeedSchedule> readFeedSchedule(const QString &path, const Substrates &substrates = {});
