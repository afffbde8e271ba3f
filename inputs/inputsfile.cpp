#include "inputsfile.h"

#include "inputfields.h"
#include "tomlguard.h"

#include <QFile>
#include <QLocale>

#include <toml++/toml.h>

namespace {

// A field's text as a TOML number: an integer where the field holds one, else the shortest float.
QString tomlNumber(const QString &text)
{
    bool ok = false;
    const qlonglong whole = text.toLongLong(&ok);
    if (ok)
        return QString::number(whole);
    const double value = text.toDouble(&ok);
    if (!ok)
        return {};
    QString number = QString::number(value, 'g', QLocale::FloatingPointShortest);
    if (!number.contains(QLatin1Char('.')) && !number.contains(QLatin1Char('e')))
        number += QStringLiteral(".0");
    return number;
}

// A number of the file as a field would hold it: no exponent, no trailing zeros.
std::optional<QString> fieldText(const toml::node &node)
{
    if (const auto whole = node.as_integer())
        return QString::number(whole->get());
    if (const auto real = node.as_floating_point())
        return QString::number(real->get(), 'f', QLocale::FloatingPointShortest);
    return std::nullopt;
}

QString typeName(const toml::node &node)
{
    switch (node.type()) {
    case toml::node_type::string: return QStringLiteral("a text");
    case toml::node_type::boolean: return QStringLiteral("true or false");
    case toml::node_type::table: return QStringLiteral("a table");
    case toml::node_type::array: return QStringLiteral("a list");
    case toml::node_type::integer:
    case toml::node_type::floating_point: return QStringLiteral("a number");
    default: return QStringLiteral("a date or time");
    }
}

QString codeList()
{
    QStringList codes;
    for (const Configuration &c : configurations())
        codes << QLatin1String(c.code);
    return codes.join(QStringLiteral(", "));
}

class Reader {
public:
    InputsFileRead read(const toml::table &table)
    {
        if (const toml::node *config = table.get("config"))
            readConfig(*config);
        for (auto &&[key, node] : table) {
            const QString name = QString::fromStdString(std::string(key.str()));
            const int line = int(node.source().begin.line);
            if (name == QLatin1String("config"))
                continue;
            if (name == QLatin1String("unit"))
                readUnit(node, line);
            else if (name == QLatin1String("ph"))
                readPh(node, line);
            else if (const InputInfo *info = infoOf(name))
                readInput(*info, node, line);
            else
                problem(name, line, QStringLiteral("is not an input (see digestra-cli --help)"));
        }
        return result;
    }

private:
    void problem(const QString &key, int line, const QString &reason) { result.problems.append({key, line, reason}); }

    static const InputInfo *infoOf(const QString &key)
    {
        for (const InputInfo &info : inputInfos())
            if (key == QLatin1String(info.key))
                return &info;
        return nullptr;
    }

    void readConfig(const toml::node &node)
    {
        const int line = int(node.source().begin.line);
        const auto code = node.value<std::string>();
        const Configuration *chosen = code ? configurationByCode(QString::fromStdString(*code)) : nullptr;
        if (chosen)
            result.values.mode = chosen->mode;
        else
            problem(QStringLiteral("config"), line,
                    code ? QStringLiteral("must be one of %1, not \"%2\"").arg(codeList(), QString::fromStdString(*code))
                         : QStringLiteral("needs a text (one of %1), not %2").arg(codeList(), typeName(node)));
        configKnown = chosen != nullptr;
    }

    void readUnit(const toml::node &node, int line)
    {
        const QString unit = QString::fromStdString(node.value<std::string>().value_or("")).toUpper();
        if (unit == QLatin1String("K") || unit == QLatin1String("C"))
            result.values.celsius = unit == QLatin1String("C");
        else
            problem(QStringLiteral("unit"), line, QStringLiteral("must be \"K\" or \"C\""));
    }

    void readPh(const toml::node &node, int line)
    {
        if (const auto text = node.value<std::string>(); text && QString::fromStdString(*text).toLower() == QLatin1String("free")) {
            result.values.freePh = true;
            return;
        }
        const std::optional<QString> ph = fieldText(node);
        if (ph && fieldTakes(FieldKind::Ph, *ph))
            result.values.manualPh = *ph;
        else
            problem(QStringLiteral("ph"), line, QStringLiteral("must be \"free\" or a pH from 1 to 12.99 with at most two decimals"));
    }

    void readInput(const InputInfo &info, const toml::node &node, int line)
    {
        const QString key = QLatin1String(info.key);
        const std::optional<QString> text = fieldText(node);
        if (!text)
            problem(key, line, QStringLiteral("needs a number, not %1").arg(typeName(node)));
        else if (configKnown && !applies(info.input, result.values.mode))
            problem(key, line, QStringLiteral("does not apply to config %1").arg(QLatin1String(configuration(result.values.mode).code)));
        else if (!fieldTakes(fieldKind(info.input), *text))
            problem(key, line, fieldKind(info.input) == FieldKind::Fraction
                                   ? QStringLiteral("must be a number from 0 to below 1, not %1").arg(*text)
                                   : QStringLiteral("must be a number of 0 or more, not %1").arg(*text));
        else
            result.values.texts[info.input] = *text;
    }

    InputsFileRead result;
    bool configKnown = true;
};

}  // namespace

QString InputsFileRead::describe() const
{
    QStringList lines;
    for (const InputsFileProblem &p : problems) {
        QString where = p.line > 0 ? QStringLiteral("line %1").arg(p.line) : QString();
        if (!p.key.isEmpty())
            where += (where.isEmpty() ? QString() : QStringLiteral(", ")) + p.key;
        lines << (where.isEmpty() ? p.reason : where + QStringLiteral(": ") + p.reason);
    }
    return lines.join(QLatin1Char('\n'));
}

QByteArray inputsFileText(const InputValues &values)
{
    const Configuration &config = configuration(values.mode);
    QString text = QStringLiteral("# Digestra inputs\nconfig = \"%1\"\n").arg(QLatin1String(config.code));
    bool temperature = false;
    for (const auto *inputs : {&feedInputs(), &config.inputs}) {
        for (const InputDefault &d : *inputs) {
            const auto given = values.texts.find(d.input);
            const QString number = given == values.texts.end() ? QString() : tomlNumber(given->second);
            if (number.isEmpty())
                continue;
            const InputInfo &info = inputInfo(d.input);
            text += QStringLiteral("%1 = %2\n").arg(QLatin1String(info.key), number);
            temperature = temperature || info.temperature;
        }
    }
    const QString ph = values.freePh ? QStringLiteral("\"free\"") : tomlNumber(values.manualPh);
    if (!ph.isEmpty())
        text += QStringLiteral("ph = %1\n").arg(ph);
    if (temperature)
        text += QStringLiteral("unit = \"%1\"\n").arg(values.celsius ? QLatin1Char('C') : QLatin1Char('K'));
    return text.toUtf8();
}

InputsFileRead parseInputsText(const QByteArray &text)
{
    if (const std::optional<TomlRefusal> refusal = refuseUnsafeToml(text)) {
        InputsFileRead refused;
        refused.problems.append({QString(), refusal->line, refusal->reason});
        return refused;
    }
    try {
        const toml::table table = toml::parse(std::string_view(text.constData(), size_t(text.size())));
        return Reader().read(table);
    } catch (const toml::parse_error &error) {
        InputsFileRead failed;
        failed.problems.append({QString(), int(error.source().begin.line),
                                QStringLiteral("not TOML: %1").arg(QString::fromUtf8(error.description().data(),
                                                                                      qsizetype(error.description().size())))});
        return failed;
    }
}

InputsFileRead readInputsFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        InputsFileRead failed;
        failed.problems.append({QString(), 0, QStringLiteral("%1: %2").arg(path, file.errorString())});
        return failed;
    }
    return parseInputsText(file.read(kLargestToml + 1));  // more is refused unread
}
