#include "inputfields.h"

#include "configuration.h"

#include <QRegularExpression>

FieldKind fieldKind(Input input)
{
    switch (input) {
    case Input::Fpr:
    case Input::Fli:
    case Input::Fch:
        return FieldKind::Fraction;
    default:
        return FieldKind::Decimal;
    }
}

QString fieldPattern(FieldKind kind)
{
    switch (kind) {
    case FieldKind::Fraction:
        return QStringLiteral("(0)\\.\\d+");
    case FieldKind::Ph:
        return QStringLiteral("^(([1-9]|1[0-2])(\\.\\d\\d?)?|12(\\.00?)?)$");
    case FieldKind::Decimal:
        break;
    }
    return QStringLiteral("\\d*\\.\\d+");
}

bool fieldTakes(FieldKind kind, const QString &text)
{
    // As QRegularExpressionValidator judges: acceptable or intermediate is kept, invalid refused.
    const QRegularExpression whole(QRegularExpression::anchoredPattern(fieldPattern(kind)));
    const QRegularExpressionMatch match = whole.match(text, 0, QRegularExpression::PartialPreferCompleteMatch);
    return match.hasMatch() || match.hasPartialMatch() || text.isEmpty();
}
