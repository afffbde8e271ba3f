#include "inputfields.h"

QString fieldPattern(FieldKind kind)
{
    switch (kind) {
    case FieldKind::Fraction:
        return QStringLiteral("(0)\\.\\d+");
    case FieldKind::Ph:
        return QStringLiteral("^(([1-9]|1[0-2])(\\.\\d\\d?)?|12(\\.00?)?)$");
    case FieldKind::Decimal:
    case FieldKind::Choice:
        break;
    }
    return QStringLiteral("\\d*\\.\\d+");
}
