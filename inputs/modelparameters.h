#pragma once

// The model's named constants (kinetic and stoichiometric parameters, carbon and nitrogen
// contents, acid-base and Henry constants, the water vapour pressure law, the headspace share),
// declared once in modelparameters.toml, which is compiled in and which the model tests read
// too. A run takes every constant at its default unless it overrides it by name.

#include <QMap>
#include <QString>
#include <QStringList>

#include <limits>
#include <optional>
#include <utility>
#include <vector>

struct ModelParameter {
    enum class Kind { Rate, Constant, Yield, Fraction, Share, Ph, Enthalpy };
    QString name;          // as the model scripts use it: "km_ac"
    double defaultValue;
    QString unit;          // "1/d"
    QString meaning;       // "maximum specific uptake rate of acetate (...)"
    Kind kind;
    QString uptake;        // the product fractions of one uptake share it ("su", "aa"); else empty
    // Codes of the configurations whose own law or regression replaces it: a value cannot
    // change their runs.
    QStringList fixedIn;
    // Where the kind allows values that cannot be meant, the plausible range; else infinite.
    double lowest = -std::numeric_limits<double>::infinity();
    double highest = std::numeric_limits<double>::infinity();

    QString kindText() const;  // "rate", "constant", ... as in the declaration
};

// A run's values that differ from the defaults, by name.
using ParameterValues = QMap<QString, double>;

// Every constant, in the order of the declaration.
const std::vector<ModelParameter> &modelParameters();
// The constant of that name (exact case); null when there is none.
const ModelParameter *modelParameter(const QString &name);
// Every constant with its value for a run: the override where given, else the default.
std::vector<std::pair<const ModelParameter *, double>> parameterValues(const ParameterValues &overrides);

// One reason a run cannot take its constants, and the constant it concerns (for a relation
// between constants, the first of them the run changes).
struct ParameterProblem {
    QString name;
    QString text;
};

// Why a run cannot take these values, one sentence per problem (empty when it can): unknown
// names (with the nearest known name), rates and constants that are not positive and finite,
// yields and fractions outside [0, 1], the headspace share outside (0, 1), pH limits outside
// [0, 14] or a lower limit not below its upper, product fractions of one uptake adding up to
// more than 1, enthalpies that are not finite, values outside a declared plausible range.
std::vector<ParameterProblem> parameterProblems(const ParameterValues &values);
// The same sentences alone.
QStringList checkParameters(const ParameterValues &values);

// The known name closest to name (edit distance, ignoring case).
QString nearestParameterName(const QString &name);
