#include "inputvalidators.h"

#include "inputrows.h"

#include <inputfields.h>

#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace {

// A decimal comma, as typed on keyboards of comma locales, becomes the decimal point.
class DecimalPointValidator : public QRegularExpressionValidator {
public:
    using QRegularExpressionValidator::QRegularExpressionValidator;
    State validate(QString &input, int &pos) const override
    {
        input.replace(QLatin1Char(','), QLatin1Char('.'));
        return QRegularExpressionValidator::validate(input, pos);
    }
};

std::unique_ptr<QRegularExpressionValidator> wholeTextValidator(const QString &pattern)
{
    return std::make_unique<DecimalPointValidator>(QRegularExpression(QRegularExpression::anchoredPattern(pattern)));
}

}  // namespace

InputValidators::InputValidators()
    : decimal(wholeTextValidator(fieldPattern(FieldKind::Decimal))),
      fraction(wholeTextValidator(fieldPattern(FieldKind::Fraction))),
      ph(wholeTextValidator(fieldPattern(FieldKind::Ph)))
{
}

InputValidators::~InputValidators() = default;

void InputValidators::attach(const MainForm &form) const
{
    const auto validatorOf = [this](Input input) {
        switch (inputInfo(input).fieldKind) {
        case FieldKind::Fraction: return fraction.get();
        case FieldKind::Ph: return ph.get();
        case FieldKind::Decimal:
        case FieldKind::Choice: break;
        }
        return decimal.get();
    };
    for (const auto *rows : {&inputrows::basic(), &inputrows::fractions(), &inputrows::singleStage(),
                             &inputrows::twoStage(), &inputrows::temperaturePhased(), &inputrows::pumpMixed()})
        for (const InputRow &row : *rows)
            (form.*row.edit)->setValidator(validatorOf(row.input));
    form.lineEdit_manual_ph->setValidator(validatorOf(Input::Ph));
}
