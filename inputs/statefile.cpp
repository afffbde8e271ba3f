#include "statefile.h"

#include "configuration.h"
#include "guardedfile.h"
#include "runrequest.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

const char *const kSteadyStart = "steady";

namespace {

QJsonObject inputsOf(const RunRequest &request)
{
    QJsonObject inputs;
    for (const InputInfo &info : inputInfos())
        if (info.field && info.takes(request.mode))
            inputs[QLatin1String(info.key)] = request.*info.field;
    const QLatin1String ph(inputInfo(Input::Ph).key);
    inputs[ph] = request.ph_mode == 1 ? QJsonValue(QLatin1String(inputInfo(Input::Ph).choices))
                                      : QJsonValue(manualPh(request.S_h_ion_manual));
    return inputs;
}

QJsonValue feedOf(const RunRequest &request)
{
    if (!request.feed)
        return QStringLiteral("the built-in start-up ramp of %1 and %2")
            .arg(QLatin1String(inputInfo(Input::FeedFlow).key), QLatin1String(inputInfo(Input::BiomassConcentration).key));
    QJsonArray rows;
    const FeedSchedule &feed = *request.feed;
    for (qsizetype row = 0; row < feed.values.value(0).size(); ++row) {
        QJsonArray values;
        for (const QList<double> &column : feed.values)
            values.append(column[row]);
        rows.append(values);
    }
    return QJsonObject{{QStringLiteral("file"), feed.file},
                       {QStringLiteral("columns"), QJsonArray::fromStringList(feed.columns)},
                       {QStringLiteral("rows"), rows}};
}

}  // namespace

int stateBlocks(int mode) { return mode == 4 ? 3 : configuration(mode).reactors; }

QByteArray stateFileText(const RunRequest &request, const ModelState &state, double t, const QString &version)
{
    QJsonArray reactors;
    for (const StateBlock &block : state) {
        QJsonObject values;
        for (const auto &[name, value] : block)
            values[name] = value;
        reactors.append(values);
    }
    QJsonObject parameters;
    for (const auto &[parameter, value] : parameterValues(request.parameters))
        parameters[parameter->name] = value;
    const QJsonObject file{{QStringLiteral("program"), QStringLiteral("digestra ") + version},
                           {QStringLiteral("configuration"), QLatin1String(configuration(request.mode).code)},
                           {QStringLiteral("day"), t},
                           {QStringLiteral("reactors"), reactors},
                           {QStringLiteral("inputs"), inputsOf(request)},
                           {QStringLiteral("parameters"), parameters},
                           {QStringLiteral("feed"), feedOf(request)}};
    // Qt writes a double in its shortest form that reads back the same, in the C locale.
    return QJsonDocument(file).toJson(QJsonDocument::Indented);
}

FileReading<SavedState> readStateFile(const QString &path, int mode)
{
    FileReading<SavedState> read;
    const GuardedFile bytes = readGuardedFile(path, kLargestStateFile);
    if (!bytes.refusal.isEmpty()) {
        read.problems << bytes.refusal;
        return read;
    }
    const auto refuse = [&](const QString &reason) {
        read.problems << QStringLiteral("%1: %2").arg(QFileInfo(path).fileName(), reason);
        return read;
    };
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes.bytes, &error);
    if (!document.isObject())
        return refuse(error.error != QJsonParseError::NoError
                          ? QStringLiteral("not JSON: %1 at character %2").arg(error.errorString()).arg(error.offset)
                          : QStringLiteral("not a state file (no JSON object)"));
    const QJsonObject file = document.object();
    const QString code = file.value(QStringLiteral("configuration")).toString();
    const Configuration &run = configuration(mode);
    if (code != QLatin1String(run.code))
        return refuse(QStringLiteral("a state of configuration %1, not of %2 (%3)")
                          .arg(code.isEmpty() ? QStringLiteral("(none)") : code, QLatin1String(run.code),
                               QLatin1String(run.name)));
    const QJsonArray reactors = file.value(QStringLiteral("reactors")).toArray();
    if (reactors.size() != stateBlocks(mode))
        return refuse(QStringLiteral("holds %1 reactor states, a run of %2 has %3")
                          .arg(reactors.size()).arg(QLatin1String(run.code)).arg(stateBlocks(mode)));
    ModelState state;
    for (const QJsonValue &reactor : reactors) {
        const QJsonObject values = reactor.toObject();
        if (values.isEmpty())
            return refuse(QStringLiteral("a reactor's state is not a table of state names and numbers"));
        StateBlock block;
        for (auto it = values.begin(); it != values.end(); ++it) {
            if (!it->isDouble() || !std::isfinite(it->toDouble()))
                return refuse(QStringLiteral("%1 of reactor %2 is not a number").arg(it.key()).arg(state.size() + 1));
            block.emplace_back(it.key(), it->toDouble());
        }
        state.push_back(std::move(block));
    }
    const QJsonValue day = file.value(QStringLiteral("day"));
    if (!day.isDouble() || !std::isfinite(day.toDouble()) || day.toDouble() < 0)
        return refuse(QStringLiteral("no day of the state (\"day\", a number of 0 or more)"));
    read.value = SavedState{std::move(state), day.toDouble()};
    return read;
}
