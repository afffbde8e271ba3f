#include "modelparameters.h"

#include "guardedtoml.h"

#include <QFile>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

constexpr std::pair<ModelParameter::Kind, const char *> kKindNames[] = {
    {ModelParameter::Kind::Rate, "rate"},         {ModelParameter::Kind::Constant, "constant"},
    {ModelParameter::Kind::Yield, "yield"},       {ModelParameter::Kind::Fraction, "fraction"},
    {ModelParameter::Kind::Share, "share"},       {ModelParameter::Kind::Ph, "pH"},
    {ModelParameter::Kind::Enthalpy, "enthalpy"},
};

// The declaration is part of the program: a fault in it is the program's, not the user's.
[[noreturn]] void declarationFault(const std::string &what)
{
    throw std::logic_error("modelparameters.toml: " + what);
}

std::vector<ModelParameter> readDeclaration()
{
    QFile file(QStringLiteral(":/inputs/modelparameters.toml"));
    if (!file.open(QIODevice::ReadOnly))
        declarationFault("missing from the program's resources");
    const QByteArray text = file.readAll();
    const GuardedToml parsed = parseGuardedToml(text);
    if (parsed.refusal)
        declarationFault(parsed.refusal->reason.toStdString());
    const toml::table &root = parsed.table;
    std::vector<ModelParameter> parameters;
    const toml::array *entries = root["parameter"].as_array();
    if (!entries)
        declarationFault("no [[parameter]] entries");
    for (const toml::node &node : *entries) {
        const toml::table &entry = *node.as_table();
        ModelParameter p;
        p.name = QString::fromStdString(entry["name"].value_or(std::string()));
        const std::optional<double> value = entry["default"].value<double>();
        if (p.name.isEmpty() || !value)
            declarationFault("an entry without name or default");
        p.defaultValue = *value;
        p.unit = QString::fromStdString(entry["unit"].value_or(std::string()));
        p.meaning = QString::fromStdString(entry["meaning"].value_or(std::string()));
        const std::string kind = entry["kind"].value_or(std::string());
        const auto known = std::find_if(std::begin(kKindNames), std::end(kKindNames),
                                        [&](const auto &k) { return kind == k.second; });
        if (known == std::end(kKindNames))
            declarationFault(p.name.toStdString() + ": unknown kind '" + kind + "'");
        p.kind = known->first;
        p.uptake = QString::fromStdString(entry["uptake"].value_or(std::string()));
        p.lowest = entry["min"].value_or(p.lowest);
        p.highest = entry["max"].value_or(p.highest);
        if (const toml::array *codes = entry["fixed_in"].as_array())
            for (const toml::node &code : *codes)
                p.fixedIn << QString::fromStdString(code.value_or(std::string()));
        parameters.push_back(p);
    }
    return parameters;
}

int editDistance(const QString &a, const QString &b)
{
    std::vector<int> row(size_t(b.size()) + 1);
    for (int j = 0; j <= b.size(); ++j)
        row[size_t(j)] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int above = row[size_t(j)];
            const bool same = a[i - 1].toLower() == b[j - 1].toLower();
            row[size_t(j)] = std::min({above + 1, row[size_t(j) - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[size_t(b.size())];
}

QString number(double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); }

// Why one value does not suit its constant's kind; empty when it does.
QString rangeProblem(const ModelParameter &p, double v)
{
    switch (p.kind) {
    case ModelParameter::Kind::Rate:
    case ModelParameter::Kind::Constant:
        return std::isfinite(v) && v > 0 ? QString() : QStringLiteral("must be positive and finite");
    case ModelParameter::Kind::Yield:
    case ModelParameter::Kind::Fraction:
        return v >= 0 && v <= 1 ? QString() : QStringLiteral("must be from 0 to 1");
    case ModelParameter::Kind::Share:
        return v > 0 && v < 1 ? QString() : QStringLiteral("must be greater than 0 and less than 1");
    case ModelParameter::Kind::Ph:
        return v >= 0 && v <= 14 ? QString() : QStringLiteral("must be a pH from 0 to 14");
    case ModelParameter::Kind::Enthalpy:
        return std::isfinite(v) ? QString() : QStringLiteral("must be a finite number");
    }
    return {};
}

}  // namespace

QString ModelParameter::kindText() const
{
    for (const auto &[k, text] : kKindNames)
        if (k == kind)
            return QString::fromLatin1(text);
    return {};
}

const std::vector<ModelParameter> &modelParameters()
{
    static const std::vector<ModelParameter> parameters = readDeclaration();
    return parameters;
}

const ModelParameter *modelParameter(const QString &name)
{
    for (const ModelParameter &p : modelParameters())
        if (p.name == name)
            return &p;
    return nullptr;
}

std::vector<std::pair<const ModelParameter *, double>> parameterValues(const ParameterValues &overrides)
{
    std::vector<std::pair<const ModelParameter *, double>> values;
    for (const ModelParameter &p : modelParameters())
        values.emplace_back(&p, overrides.value(p.name, p.defaultValue));
    return values;
}

QString nearestParameterName(const QString &name)
{
    const ModelParameter *nearest = nullptr;
    int best = 0;
    for (const ModelParameter &p : modelParameters()) {
        const int d = editDistance(name, p.name);
        if (!nearest || d < best) {
            nearest = &p;
            best = d;
        }
    }
    return nearest ? nearest->name : QString();
}

std::vector<ParameterProblem> parameterProblems(const ParameterValues &values)
{
    std::vector<ParameterProblem> problems;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const ModelParameter *p = modelParameter(it.key());
        if (!p) {
            problems.push_back({it.key(), QStringLiteral("unknown model parameter '%1' (did you mean %2?)")
                                              .arg(it.key(), nearestParameterName(it.key()))});
            continue;
        }
        QString problem = rangeProblem(*p, it.value());
        if (problem.isEmpty() && !(it.value() >= p->lowest && it.value() <= p->highest))
            problem = std::isfinite(p->lowest)
                          ? QStringLiteral("must be from %1 to %2").arg(p->lowest, 0, 'g', 6).arg(p->highest, 0, 'g', 6)
                          : QStringLiteral("must be at most %1").arg(p->highest, 0, 'g', 6);
        if (!problem.isEmpty())
            problems.push_back({p->name, QStringLiteral("model parameter %1 = %2 %3").arg(p->name, number(it.value()), problem)});
    }
    if (!problems.empty())
        return problems;

    // Relations between constants, on the values the run would take.
    const auto all = parameterValues(values);
    QMap<QString, QStringList> uptakeNames;
    QMap<QString, double> uptakeSums;
    for (const auto &[p, v] : all) {
        if (!p->uptake.isEmpty()) {
            uptakeNames[p->uptake] << p->name;
            uptakeSums[p->uptake] += v;
        }
        if (p->kind == ModelParameter::Kind::Ph && p->name.endsWith(QLatin1String("_ll"))) {
            const QString upper = p->name.chopped(3) + QStringLiteral("_ul");
            const double ul = values.value(upper, modelParameter(upper)->defaultValue);
            if (!(v < ul))
                problems.push_back({values.contains(p->name) ? p->name : upper,
                                    QStringLiteral("model parameter %1 = %2 must be below %3 = %4")
                                        .arg(p->name, number(v), upper, number(ul))});
        }
    }
    constexpr double roundingTolerance = 1e-12;
    for (auto it = uptakeSums.cbegin(); it != uptakeSums.cend(); ++it) {
        if (!(it.value() > 1.0 + roundingTolerance))
            continue;
        const QStringList &names = uptakeNames[it.key()];
        const auto changed = std::find_if(names.cbegin(), names.cend(), [&](const QString &n) { return values.contains(n); });
        problems.push_back({changed != names.cend() ? *changed : names.first(),
                            QStringLiteral("model parameters %1 add up to %2, more than 1")
                                .arg(names.join(QLatin1String(" + ")), number(it.value()))});
    }
    return problems;
}

QStringList checkParameters(const ParameterValues &values)
{
    QStringList texts;
    for (const ParameterProblem &problem : parameterProblems(values))
        texts << problem.text;
    return texts;
}
