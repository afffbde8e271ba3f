#include "inputentries.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QLocale>
#include <QStringList>

#include <cmath>
#include <memory>
#include <tuple>

namespace {

QString choiceList(const InputInfo &info)
{
    return QString::fromLatin1(info.choices).split(QLatin1Char(' ')).join(QStringLiteral(", "));
}

class EntryReader {
public:
    EntryReader(EntryValues values_, int fallbackMode, const QString &folder_)
        : values(values_), mode(fallbackMode), folder(folder_)
    {
    }

    GivenInputs read(const std::vector<InputEntry> &entries)
    {
        // The configuration and the unit first: they decide what the others mean.
        for (const InputEntry &entry : entries) {
            const InputInfo *info = inputInfoByKey(entry.key);
            if (info && (info->input == Input::Config || info->input == Input::Unit))
                readChoice(*info, entry);
        }
        for (const InputEntry &entry : entries) {
            const InputInfo *info = inputInfoByKey(entry.key);
            if (readModelEntry(entry))
                continue;
            if (!info)
                problem(entry, QStringLiteral("is not an input (see digestra-cli --help)"));
            else if (info->input == Input::Ph)
                readPh(*info, entry);
            else if (info->field)
                readNumber(*info, entry);
        }
        return given;
    }

private:
    void problem(const InputEntry &entry, const QString &reason) { given.problems.append({entry.key, reason, entry.line}); }

    std::optional<QString> text(const QJsonValue &value) const
    {
        return value.isString() ? std::optional<QString>(value.toString().trimmed()) : std::nullopt;
    }

    // The number of a value: a JSON number, or a command line's text of one.
    std::optional<double> number(const QJsonValue &value) const
    {
        if (value.isDouble() && values != EntryValues::Texts)
            return value.toDouble();
        if (!value.isString() || values == EntryValues::Typed)
            return std::nullopt;
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::RejectGroupSeparator);
        bool ok = false;
        const double parsed = c.toDouble(value.toString().trimmed(), &ok);
        return ok ? std::optional<double>(parsed) : std::nullopt;
    }

    QString notANumber(const QJsonValue &value) const
    {
        return value.isString() && values != EntryValues::Typed ? QStringLiteral("'%1'").arg(value.toString())
                                                                : typeName(value);
    }

    void readChoice(const InputInfo &info, const InputEntry &entry)
    {
        const std::optional<QString> word = text(entry.value);
        const QStringList choices = QString::fromLatin1(info.choices).split(QLatin1Char(' '));
        int index = -1;
        for (int i = 0; word && i < choices.size(); ++i)
            if (word->compare(choices[i], Qt::CaseInsensitive) == 0)
                index = i;
        given.lines[info.input] = entry.line;
        if (index < 0) {
            problem(entry, word ? QStringLiteral("must be one of %1, not '%2'").arg(choiceList(info), *word)
                                : QStringLiteral("needs a text (one of %1), not %2").arg(choiceList(info), typeName(entry.value)));
            if (info.input == Input::Config)
                modeKnown = false;
            return;
        }
        if (info.input == Input::Config)
            mode = given.mode = configurationByCode(choices[index])->mode;
        else
            given.celsius = choices[index] == QLatin1String("C");
    }

    void readPh(const InputInfo &info, const InputEntry &entry)
    {
        given.lines[info.input] = entry.line;
        const std::optional<QString> word = text(entry.value);
        if (word && word->compare(QLatin1String(info.choices), Qt::CaseInsensitive) == 0) {
            given.freePh = true;
            return;
        }
        const std::optional<double> value = number(entry.value);
        const QString reason = value ? valueProblem(info, *value, mode) : QString();
        if (!value || !reason.isEmpty()) {
            problem(entry, QStringLiteral("must be \"%1\" or a pH from %2 to %3 with at most %4 decimals, not %5")
                               .arg(QLatin1String(info.choices))
                               .arg(info.lowest)
                               .arg(info.highest)
                               .arg(info.decimals)
                               .arg(value ? QString::number(*value, 'g', 12) : notANumber(entry.value)));
            return;
        }
        given.freePh = false;
        given.numbers[info.input] = *value;
    }

    void readNumber(const InputInfo &info, const InputEntry &entry)
    {
        given.lines[info.input] = entry.line;
        const std::optional<double> value = number(entry.value);
        if (!value) {
            problem(entry, QStringLiteral("needs a number, not %1").arg(notANumber(entry.value)));
            return;
        }
        if (modeKnown && !info.takes(mode)) {
            problem(entry, QStringLiteral("does not apply to config %1 (only to %2)")
                               .arg(QLatin1String(configuration(mode).code), configurationCodes(info.configurations).join(QStringLiteral(", "))));
            return;
        }
        given.numbers[info.input] = *value + (info.temperature && given.celsius ? kCelsiusOffset : 0.0);
    }

    // The feed, the substrates, their lab values and the model constants; false for any other key.
    bool readModelEntry(const InputEntry &entry)
    {
        // The model constants and the lab values set over the substrates file's, each as a table
        // (name = number) or one by one ("parameters.km_ac").
        const std::tuple<const char *, const char *, ParameterValues *> tables[] = {
            {kParametersKey, "model constants (name = number)", &given.parameters},
            {kSubstrateValuesKey, "lab values (\"substrate.key\" = number)", &given.substrateValues}};
        for (const auto &[key, what, into] : tables) {
            const QString prefix = QLatin1String(key) + QLatin1Char('.');
            if (entry.key == QLatin1String(key)) {
                if (!entry.value.isObject()) {
                    problem(entry, QStringLiteral("needs a table of %1, not %2").arg(QLatin1String(what), typeName(entry.value)));
                    return true;
                }
                const QJsonObject table = entry.value.toObject();
                for (auto it = table.begin(); it != table.end(); ++it)
                    readParameter({prefix + it.key(), it.value(), entry.line}, prefix.size(), *into);
                return true;
            }
            if (entry.key.startsWith(prefix)) {
                readParameter(entry, prefix.size(), *into);
                return true;
            }
        }
        if (entry.key == QLatin1String(kEngineKey)) {
            const std::optional<QString> name = text(entry.value);
            for (Engine engine : {Engine::Native, Engine::Scripts, Engine::Compiled})
                if (name && name->compare(QLatin1String(engineName(engine)), Qt::CaseInsensitive) == 0)
                    given.engine = engine;
            if (!given.engine)
                problem(entry, QStringLiteral("must be native, scripts or compiled, not %1").arg(name ? *name : typeName(entry.value)));
            return true;
        }
        if (entry.key == QLatin1String(kPhSolverKey)) {
            const std::optional<QString> name = text(entry.value);
            for (PhSolver solver : {PhSolver::Exact, PhSolver::Damped})
                if (name && name->compare(QLatin1String(phSolverName(solver)), Qt::CaseInsensitive) == 0)
                    given.phSolver = solver;
            if (!given.phSolver)
                problem(entry, QStringLiteral("must be exact or damped, not %1").arg(name ? *name : typeName(entry.value)));
            return true;
        }
        std::optional<QString> *file = entry.key == QLatin1String(kFeedKey)            ? &given.feed
                                       : entry.key == QLatin1String(kSubstratesKey)    ? &given.substrates
                                       : entry.key == QLatin1String(kInitialStateKey) ? &given.initialState
                                       : entry.key == QLatin1String(kFinalStateKey)   ? &given.finalState
                                                                                      : nullptr;
        if (!file)
            return false;
        given.modelLines[entry.key] = entry.line;
        // A file name as given: spaces may begin or end it.
        const std::optional<QString> name = entry.value.isString() ? std::optional<QString>(entry.value.toString()) : std::nullopt;
        const bool word = name && file == &given.initialState
                          && (*name == QLatin1String(kSteadyStart) || *name == QLatin1String(kStartUp));
        if (!name || name->isEmpty())
            problem(entry, QStringLiteral("needs a file name, not %1").arg(name ? QStringLiteral("an empty text") : typeName(entry.value)));
        else
            *file = folder.isEmpty() || word ? *name : QDir(folder).absoluteFilePath(*name);
        return true;
    }

    // A model constant, or a lab value a run sets over its substrates file's.
    void readParameter(const InputEntry &entry, qsizetype prefixLength, ParameterValues &into)
    {
        if (const auto earlier = given.modelLines.find(entry.key); earlier != given.modelLines.end())
            return problem(entry, earlier->second > 0 ? QStringLiteral("is given twice (also on line %1)").arg(earlier->second)
                                                      : QStringLiteral("is given twice"));
        given.modelLines[entry.key] = entry.line;
        const std::optional<double> value = number(entry.value);
        if (!value)
            problem(entry, QStringLiteral("needs a number, not %1").arg(notANumber(entry.value)));
        else
            into[entry.key.mid(prefixLength)] = *value;
    }

    EntryValues values;
    int mode;
    QString folder;
    bool modeKnown = true;
    GivenInputs given;
};

// The schedule of the last source naming one, with its substrates, into the request. The inputs
// it replaces are refused from the source naming it and every later one.
void readFeed(std::initializer_list<const GivenInputs *> sources, ComposedRequest &composed)
{
    int index = -1, feedIndex = -1;
    const GivenInputs *feedSource = nullptr;
    for (const GivenInputs *source : sources) {
        ++index;
        const auto problem = [&](const char *key, const QString &reason) {
            composed.problems.append({index, {QLatin1String(key), reason, source->modelLines.at(QLatin1String(key))}});
        };
        if (source->substrates && !source->feed)
            problem(kSubstratesKey, QStringLiteral("goes with %1").arg(QLatin1String(kFeedKey)));
        if (!source->substrateValues.isEmpty() && !source->substrates)
            composed.problems.append({index, {QLatin1String(kSubstrateValuesKey),
                                              QStringLiteral("goes with %1").arg(QLatin1String(kSubstratesKey)), 0}});
        if (source->feed) {
            feedSource = source;
            feedIndex = index;
        }
        if (!feedSource)
            continue;
        for (const Input replaced : {Input::FeedFlow, Input::BiomassConcentration})
            if (const auto given = source->lines.find(replaced); given != source->lines.end())
                composed.problems.append({index, {QLatin1String(inputInfo(replaced).key),
                                                  QStringLiteral("does not apply with %1: the schedule gives the feed").arg(QLatin1String(kFeedKey)),
                                                  given->second}});
    }
    if (!feedSource)
        return;
    const auto refuse = [&](const char *key, const QStringList &problems) {
        composed.problems.append({feedIndex, {QLatin1String(key), problems.join(QStringLiteral("; ")),
                                              feedSource->modelLines.at(QLatin1String(key))}});
    };
    Substrates substrates;
    if (feedSource->substrates) {
        const FileReading<Substrates> read = readSubstrates(*feedSource->substrates, feedSource->substrateValues);
        if (!read.value)
            return refuse(kSubstratesKey, read.problems);
        substrates = *read.value;
        composed.warnings = read.warnings;
    }
    const FileReading<FeedSchedule> read = readFeedSchedule(*feedSource->feed, substrates);
    if (!read.value)
        return refuse(kFeedKey, read.problems);
    composed.request.feed = std::make_shared<const FeedSchedule>(*read.value);
}

// The start of the last source naming one into the request: a saved state is read for the run's
// configuration.
void readStart(int mode, std::initializer_list<const GivenInputs *> sources, ComposedRequest &composed)
{
    int index = -1, startIndex = -1;
    const GivenInputs *startSource = nullptr;
    for (const GivenInputs *source : sources) {
        ++index;
        if (source->initialState) {
            startSource = source;
            startIndex = index;
        }
        if (source->finalState)
            composed.request.finalStateFile = *source->finalState;
    }
    if (!startSource || *startSource->initialState == QLatin1String(kStartUp))
        return;
    StartState &start = composed.request.start;
    if (*startSource->initialState == QLatin1String(kSteadyStart)) {
        start.kind = StartState::Kind::Steady;
        return;
    }
    const FileReading<SavedState> read = readStateFile(*startSource->initialState, mode);
    if (!read.value) {
        composed.problems.append({startIndex, {QLatin1String(kInitialStateKey), read.problems.join(QStringLiteral("; ")),
                                               startSource->modelLines.at(QLatin1String(kInitialStateKey))}});
        return;
    }
    start.kind = StartState::Kind::Saved;
    start.file = QFileInfo(*startSource->initialState).absoluteFilePath();
    start.saved = read.value->state;
    start.day = read.value->day;
}

}  // namespace

QString typeName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String: return QStringLiteral("a text");
    case QJsonValue::Bool: return QStringLiteral("true or false");
    case QJsonValue::Object: return QStringLiteral("a table");
    case QJsonValue::Array: return QStringLiteral("a list");
    case QJsonValue::Double: return QStringLiteral("a number");
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Undefined: break;
    }
    return QStringLiteral("a date or time");
}

GivenInputs readInputEntries(const std::vector<InputEntry> &entries, EntryValues values, int fallbackMode,
                             const QString &folder)
{
    return EntryReader(values, fallbackMode, folder).read(entries);
}

ComposedRequest composeRequest(int mode, std::initializer_list<const GivenInputs *> sources)
{
    ComposedRequest composed;
    RunRequest &request = composed.request;
    request = defaultRequest(mode);
    for (const GivenInputs *source : sources) {
        for (const auto &[input, value] : source->numbers) {
            const InputInfo &info = inputInfo(input);
            if (!info.takes(mode))
                continue;
            if (info.field)
                request.*info.field = value;
            else
                request.S_h_ion_manual = std::pow(10.0, -value);
        }
        if (source->freePh)
            request.ph_mode = *source->freePh ? 1 : 0;
        if (source->engine)
            request.engine = *source->engine;
        if (source->phSolver)
            request.phSolver = *source->phSolver;
        for (auto it = source->parameters.cbegin(); it != source->parameters.cend(); ++it)
            request.parameters[it.key()] = it.value();
    }
    // Each problem goes to the last source that gave its input (for the sum: any of its three).
    const auto origin = [&sources](const QString &key) -> std::pair<int, int> {
        std::pair<int, int> found{-1, 0};
        int index = 0;
        for (const GivenInputs *source : sources) {
            for (const auto &[input, line] : source->lines) {
                const QLatin1String inputKey(inputInfo(input).key);
                if (key == inputKey || (key == QLatin1String(kFractionSumKey) && key.contains(inputKey)))
                    found = {index, line};
            }
            ++index;
        }
        return found;
    };
    for (InputProblem problem : checkRunRequest(request)) {
        const auto [source, line] = origin(problem.key);
        problem.line = line;
        composed.problems.append({source, problem});
    }
    readFeed(sources, composed);
    readStart(mode, sources, composed);
    for (InputProblem problem : checkModelInputs(request)) {
        // To the last source that gave the feed or changed the constant, at its line.
        const QString givenKey = problem.constant.isEmpty()
                                     ? problem.key
                                     : problem.key + QLatin1Char('.') + problem.constant;
        int index = 0, found = -1;
        for (const GivenInputs *source : sources) {
            if (const auto given = source->modelLines.find(givenKey); given != source->modelLines.end()) {
                found = index;
                problem.line = given->second;
            }
            ++index;
        }
        composed.problems.append({found, problem});
    }
    return composed;
}
