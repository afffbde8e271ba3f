#include "statefile.h"

#include "configuration.h"
#include "guardedfile.h"
#include "runrequest.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QLocale>

#include <cctype>
#include <cmath>
#include <string_view>
#include <unordered_set>
#include <vector>

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

// The first key given twice in one object of a JSON text that parses, or an empty text. (A JSON
// parser keeps one of the two values and says nothing.) Objects of more than kMostKeys keys are
// refused on the way, before any parser has to hold them: a state file's largest object, the
// model constants in force, has about a hundred.
constexpr int kMostKeys = 1000;
QString repeatedKey(const QByteArray &text, bool *tooMany)
{
    std::vector<std::unordered_set<std::string_view>> objects;  // the keys of each object open
    std::vector<bool> inObject;                                  // each open bracket: an object, or a list
    const std::string_view all(text.constData(), size_t(text.size()));
    for (size_t i = 0; i < all.size(); ++i) {
        const char c = all[i];
        if (c == '{' || c == '[') {
            inObject.push_back(c == '{');
            if (c == '{')
                objects.emplace_back();
        } else if (c == '}' || c == ']') {
            if (!inObject.empty() && inObject.back())
                objects.pop_back();
            if (!inObject.empty())
                inObject.pop_back();
        } else if (c == '"') {
            const size_t begin = ++i;
            while (i < all.size() && all[i] != '"')
                i += all[i] == '\\' ? 2 : 1;
            size_t next = i + 1;
            while (next < all.size() && std::isspace(static_cast<unsigned char>(all[next])))
                ++next;
            if (next >= all.size() || all[next] != ':' || inObject.empty() || !inObject.back())
                continue;  // a value, not a key
            std::unordered_set<std::string_view> &keys = objects.back();
            const std::string_view key = all.substr(begin, i - begin);
            if (!keys.insert(key).second)
                return QString::fromUtf8(key.data(), qsizetype(key.size()));
            if (keys.size() > size_t(kMostKeys)) {
                *tooMany = true;
                return {};
            }
        }
    }
    return {};
}

}  // namespace

const QStringList &stateNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const FeedComponent &c : feedComponents())
            list << QLatin1String(c.name);
        return list << QStringLiteral("S_h2_g") << QStringLiteral("S_ch4_g") << QStringLiteral("S_co2_g");
    }();
    return names;
}

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
    const auto refuse = [&](const QString &reason) {
        read.problems << QStringLiteral("%1: %2").arg(QFileInfo(path).fileName(), reason);
        return read;
    };
    const GuardedFile bytes = readGuardedFile(path, kLargestStateFile);
    if (!bytes.refusal.isEmpty())
        return refuse(bytes.refusal);
    bool tooMany = false;
    const QString repeated = repeatedKey(bytes.bytes, &tooMany);
    if (tooMany)
        return refuse(QStringLiteral("not a state file: a table of more than %1 keys").arg(kMostKeys));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes.bytes, &error);
    if (!document.isObject())
        return refuse(error.error != QJsonParseError::NoError
                          ? QStringLiteral("not JSON: %1 at character %2").arg(error.errorString()).arg(error.offset)
                          : QStringLiteral("not a state file (no JSON object)"));
    if (!repeated.isEmpty())
        return refuse(QStringLiteral("%1 is given twice").arg(repeated));
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
        const int number = int(state.size()) + 1;
        for (auto it = values.begin(); it != values.end(); ++it)
            if (!stateNames().contains(it.key()))
                return refuse(QStringLiteral("%1 of reactor %2 is not a state of the model (%3 ... %4)")
                                  .arg(it.key()).arg(number).arg(stateNames().first(), stateNames().last()));
        StateBlock block;
        for (const QString &name : stateNames()) {
            const QJsonValue value = values.value(name);
            if (value.isUndefined())
                return refuse(QStringLiteral("reactor %1 lacks %2").arg(number).arg(name));
            if (!value.isDouble() || !std::isfinite(value.toDouble()))
                return refuse(QStringLiteral("%1 of reactor %2 is not a number").arg(name).arg(number));
            if (value.toDouble() < -kStateBelowZero || value.toDouble() > kLargestStateValue)
                return refuse(QStringLiteral("%1 of reactor %2 must be from 0 to %3 (got %4)")
                                  .arg(name).arg(number).arg(kLargestStateValue)
                                  .arg(QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest)));
            block.emplace_back(name, value.toDouble());
        }
        state.push_back(std::move(block));
    }
    const QJsonValue day = file.value(QStringLiteral("day"));
    if (!day.isDouble() || !std::isfinite(day.toDouble()) || day.toDouble() < 0)
        return refuse(QStringLiteral("no day of the state (\"day\", a number of 0 or more)"));
    read.value = SavedState{std::move(state), day.toDouble()};
    return read;
}
