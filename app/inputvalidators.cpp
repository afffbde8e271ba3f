#include "inputvalidators.h"

#include "inputrows.h"

#include <inputfields.h>

#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

static std::unique_ptr<QRegularExpressionValidator> wholeTextValidator(const QString &pattern)
{
    return std::make_unique<QRegularExpressionValidator>(
        QRegularExpression(QRegularExpression::anchoredPattern(pattern)));
}

InputValidators::InputValidators()
    : decimal(wholeTextValidator(fieldPattern(FieldKind::Decimal))),
      fraction(wholeTextValidator(fieldPattern(FieldKind::Fraction))),
      ph(wholeTextValidator(fieldPattern(FieldKind::Ph)))
{
}

InputValidators::~InputValidators() = default;

void InputValidators::attach(const MainForm &form) const
{
    for (const auto *rows : {&inputrows::basic(), &inputrows::singleStage(), &inputrows::twoStage(),
                             &inputrows::temperaturePhased(), &inputrows::pumpMixed()}) {
        for (const InputRow &row : *rows)
            (form.*row.edit)->setValidator(decimal.get());
    }
    for (const InputRow &row : inputrows::fractions())
        (form.*row.edit)->setValidator(fraction.get());
    form.lineEdit_manual_ph->setValidator(ph.get());
}
