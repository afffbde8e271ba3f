#include "inputsdescription.h"

#include "configuration.h"

#include <QJsonArray>

#include <cmath>

namespace {

QJsonArray codes(unsigned set) { return QJsonArray::fromStringList(configurationCodes(set)); }

QJsonValue bound(double value) { return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null); }

// A default as the input takes it: a number, or a word of a choice.
QJsonValue defaultValue(const InputInfo &info, const char *text)
{
    bool number = false;
    const double value = QString::fromLatin1(text).toDouble(&number);
    return info.isNumber() && number ? QJsonValue(value) : QJsonValue(QLatin1String(text));
}

QJsonObject described(const InputInfo &info)
{
    QJsonObject defaults;
    for (const Configuration &c : configurations())
        if (info.takes(c.mode))
            defaults[QLatin1String(c.code)] = defaultValue(info, info.startText(c.mode));
    QJsonObject o{{QStringLiteral("key"), QLatin1String(info.key)},
                  {QStringLiteral("label"), QLatin1String(info.label)},
                  {QStringLiteral("unit"), QString::fromUtf8(info.unit)},
                  {QStringLiteral("help"), QString::fromUtf8(info.help)},
                  {QStringLiteral("number"), info.isNumber()},
                  {QStringLiteral("choices"),
                   info.choices ? QJsonArray::fromStringList(QString::fromLatin1(info.choices).split(QLatin1Char(' ')))
                                : QJsonArray()},
                  {QStringLiteral("configs"), codes(info.configurations)},
                  {QStringLiteral("default"), defaults},
                  {QStringLiteral("temperature"), info.temperature}};
    if (info.isNumber()) {
        o[QStringLiteral("min")] = bound(info.lowest);
        o[QStringLiteral("max")] = bound(info.highest);
        o[QStringLiteral("min_excluded_for")] = codes(info.lowestExcludedIn);
        o[QStringLiteral("max_excluded")] = info.highestExcluded;
        o[QStringLiteral("decimals")] = info.decimals >= 0 ? QJsonValue(info.decimals) : QJsonValue(QJsonValue::Null);
    }
    return o;
}

}  // namespace

QJsonObject inputsDescription()
{
    QJsonArray inputs;
    for (const InputInfo &info : inputInfos())
        inputs.append(described(info));
    const QJsonObject fractionSum{
        {QStringLiteral("key"), QLatin1String(kFractionSumKey)},
        {QStringLiteral("keys"), QJsonArray{QLatin1String(inputInfo(Input::Fpr).key), QLatin1String(inputInfo(Input::Fli).key),
                                            QLatin1String(inputInfo(Input::Fch).key)}},
        {QStringLiteral("max"), 1.0}};
    return {{QStringLiteral("inputs"), inputs},
            {QStringLiteral("sums"), QJsonArray{fractionSum}},
            {QStringLiteral("celsius_offset"), kCelsiusOffset}};
}
