#include "inputentries.h"

#include <QLocale>
#include <QStringList>

#include <cmath>

namespace {

QString choiceList(const InputInfo &info)
{
    return QString::fromLatin1(info.choices).split(QLatin1Char(' ')).join(QStringLiteral(", "));
}

class EntryReader {
public:
    EntryReader(EntryValues values_, int fallbackMode) : values(values_), mode(fallbackMode) {}

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

    EntryValues values;
    int mode;
    bool modeKnown = true;
    GivenInputs given;
};

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

GivenInputs readInputEntries(const std::vector<InputEntry> &entries, EntryValues values, int fallbackMode)
{
    return EntryReader(values, fallbackMode).read(entries);
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
    return composed;
}
