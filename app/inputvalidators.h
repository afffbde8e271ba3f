#pragma once

// What may be typed into the input fields. The three validators are shared by the fields they
// guard; text set by the program is never checked. A comma typed or pasted becomes a decimal
// point.

#include <QtGlobal>

#include <memory>

QT_BEGIN_NAMESPACE
class QRegularExpressionValidator;
QT_END_NAMESPACE
class MainForm;

class InputValidators {
public:
    InputValidators();
    ~InputValidators();

    // Each field the validator of its input's declared field kind: decimal on the feed,
    // concentration, timespan and every reactor field; fraction on the three fractioning factors;
    // pH on the manual pH.
    void attach(const MainForm &form) const;

private:
    std::unique_ptr<QRegularExpressionValidator> decimal;   // digits with one decimal point
    std::unique_ptr<QRegularExpressionValidator> fraction;  // "0." and digits: below 1
    std::unique_ptr<QRegularExpressionValidator> ph;        // 1 to 12 with at most two decimals
};
