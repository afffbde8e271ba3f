#include "inputsfile.h"

#include "guardedfile.h"
#include "guardedtoml.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>
#include <sstream>

#include <toml++/toml.h>

namespace {

// A TOML value as the declaration reads it: numbers, texts, and the others by their type.
QJsonValue jsonOf(const toml::node &node)
{
    if (const auto whole = node.as_integer())
        return double(whole->get());
    if (const auto real = node.as_floating_point())
        return real->get();
    if (const auto text = node.as_string())
        return QString::fromStdString(text->get());
    if (const auto flag = node.as_boolean())
        return flag->get();
    if (node.is_table())
        return QJsonObject();
    if (node.is_array())
        return QJsonArray();
    return QJsonValue(QJsonValue::Undefined);  // a date or time
}

// A number of the file as a field would hold it: no exponent, no trailing zeros.
QString fieldText(double value) { return QString::number(value, 'f', QLocale::FloatingPointShortest); }

// One "key = value" line, formatted by toml++: numbers in the C notation whatever the locale, an
// integer where the field holds one, floats as short as they read back.
template <class Value>
std::string tomlLine(const char *key, Value value)
{
    std::ostringstream line;
    line << toml::toml_formatter{toml::table{{key, value}},
                                 toml::toml_formatter::default_flags | toml::format_flags::relaxed_float_precision}
         << '\n';
    return line.str();
}

std::string numberLine(const char *key, const QString &text)
{
    bool whole = false;
    const qlonglong integer = text.toLongLong(&whole);
    if (whole)
        return tomlLine(key, int64_t(integer));
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? tomlLine(key, value) : std::string();
}

InputsFileRead readTable(const toml::table &table, const QString &folder)
{
    std::vector<InputEntry> entries;
    const auto entry = [](const QString &key, const toml::node &node) {
        return InputEntry{key, jsonOf(node), int(node.source().begin.line)};
    };
    for (auto &&[key, node] : table) {
        const QString name = QString::fromStdString(std::string(key.str()));
        const bool named = name == QLatin1String(kParametersKey) || name == QLatin1String(kSubstrateValuesKey);
        if (const toml::table *constants = node.as_table(); constants && named) {
            // Each constant or lab value with its own line.
            for (auto &&[constant, value] : *constants)
                entries.push_back(entry(name + QLatin1Char('.') + QString::fromStdString(std::string(constant.str())), value));
        } else {
            entries.push_back(entry(name, node));
        }
    }

    InputsFileRead read;
    GivenInputs &given = read.given;
    given = readInputEntries(entries, EntryValues::Typed, 1, folder);
    InputValues &values = read.values;
    values.mode = given.mode ? given.mode : 1;
    values.celsius = given.celsius;
    values.freePh = given.freePh.value_or(false);
    for (const InputEntry &entry : entries) {
        const InputInfo *info = inputInfoByKey(entry.key);
        if (info && info->isNumber() && entry.value.isDouble())
            (info->field ? values.texts[info->input] : values.manualPh) = fieldText(entry.value.toDouble());
    }
    values.feed = given.feed.value_or(QString());
    values.substrates = given.substrates.value_or(QString());
    if (given.initialState != QLatin1String(kStartUp))
        values.initialState = given.initialState.value_or(QString());
    values.parameters = given.parameters;
    values.substrateValues = given.substrateValues;

    read.problems = given.problems;
    for (const auto &[source, problem] : composeRequest(values.mode, {&given}).problems)
        read.problems.append(problem);
    std::stable_sort(read.problems.begin(), read.problems.end(),
                     [](const InputProblem &a, const InputProblem &b) { return a.line < b.line; });
    return read;
}

}  // namespace

QString fileProblemText(const InputProblem &problem)
{
    QString where = problem.line > 0 ? QStringLiteral("line %1").arg(problem.line) : QString();
    if (!problem.key.isEmpty())
        where += (where.isEmpty() ? QString() : QStringLiteral(", ")) + problem.key;
    return where.isEmpty() ? problem.reason : where + QStringLiteral(": ") + problem.reason;
}

QString InputsFileRead::describe() const
{
    QStringList lines;
    for (const InputProblem &problem : problems)
        lines << fileProblemText(problem);
    return lines.join(QLatin1Char('\n'));
}

QByteArray inputsFileText(const InputValues &values)
{
    std::string text = "# Digestra inputs\n";
    bool temperature = false;
    for (const InputInfo &info : inputInfos()) {
        if (info.input == Input::Config) {
            text += tomlLine(info.key, configuration(values.mode).code);
        } else if (info.input == Input::Ph) {
            text += values.freePh ? tomlLine(info.key, info.choices) : numberLine(info.key, values.manualPh);
        } else if (info.field && info.takes(values.mode)) {
            const auto given = values.texts.find(info.input);
            const bool scheduled = !values.feed.isEmpty() && (info.input == Input::FeedFlow || info.input == Input::BiomassConcentration);
            if (given == values.texts.end() || scheduled)
                continue;
            const std::string line = numberLine(info.key, given->second);
            text += line;
            temperature = temperature || (info.temperature && !line.empty());
        }
    }
    if (temperature)
        text += tomlLine(inputInfo(Input::Unit).key, values.celsius ? "C" : "K");
    if (!values.feed.isEmpty())
        text += tomlLine(kFeedKey, values.feed.toStdString());
    if (!values.feed.isEmpty() && !values.substrates.isEmpty())
        text += tomlLine(kSubstratesKey, values.substrates.toStdString());
    if (!values.initialState.isEmpty())
        text += tomlLine(kInitialStateKey, values.initialState.toStdString());
    if (values.phSolver != PhSolver::Exact)
        text += tomlLine(kPhSolverKey, phSolverName(values.phSolver));
    if (!values.feed.isEmpty() && !values.substrates.isEmpty() && !values.substrateValues.isEmpty()) {
        text += std::string("\n[") + kSubstrateValuesKey + "]\n";
        for (auto it = values.substrateValues.cbegin(); it != values.substrateValues.cend(); ++it)
            text += tomlLine(it.key().toStdString().c_str(), it.value());
    }
    if (!values.parameters.isEmpty()) {
        text += std::string("\n[") + kParametersKey + "]\n";
        for (auto it = values.parameters.cbegin(); it != values.parameters.cend(); ++it)
            text += tomlLine(it.key().toStdString().c_str(), it.value());
    }
    return QByteArray::fromStdString(text);
}

InputsFileRead parseInputsText(const QByteArray &text, const QString &folder)
{
    const GuardedToml parsed = parseGuardedToml(text);
    if (parsed.refusal) {
        InputsFileRead refused;
        refused.problems.append({QString(), parsed.refusal->reason, parsed.refusal->line});
        return refused;
    }
    return readTable(parsed.table, folder);
}

InputsFileRead readInputsFile(const QString &path)
{
    const GuardedFile file = readGuardedFile(path, kLargestInputsFile);
    if (!file.refusal.isEmpty()) {
        InputsFileRead failed;
        failed.problems.append({QString(), QStringLiteral("%1: %2").arg(path, file.refusal)});
        return failed;
    }
    return parseInputsText(file.bytes, QFileInfo(path).absolutePath());
}
