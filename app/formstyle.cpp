#include "formstyle.h"

#include <QColor>

namespace formstyle {

const QString primaryButton = QStringLiteral(
    "QPushButton {\n    background-color: rgb(0, 147, 221);\n\tcolor: white;\n\tborder: none;\n}");
const QString secondaryButton = QStringLiteral(
    "QPushButton {\n\tbackground-color: rgb(194, 193, 193);\n\tcolor:white;\n\tborder: none;\n}");
const QString choiceButton = QStringLiteral(
    "QPushButton {\n\tbackground-color: white;\n\tcolor: rgb(0, 147, 221);\n\tborder: 1px solid rgb(0, 147, 221);\n}\n"
    "QPushButton:disabled {\n\tcolor: rgb(160, 160, 160);\n\tborder-color: rgb(194, 193, 193);\n}");
const QString titledBox = QStringLiteral("QGroupBox::title {\n  color: rgb(0, 147, 221);\n}");
// Qt reads an rgba() colour without its alpha as invalid and paints the chunk black, hiding the
// percentage: both stops are given fully opaque.
const QString progressBar = QStringLiteral(
    "QProgressBar:chunk{\n    background-color: qlineargradient(spread:pad, x1:0, y1:0, x2:1, y2:0, "
    "stop:0 rgba(0, 147, 221, 255), stop:1 rgba(169, 218, 230, 255));\n}\nQProgressBar {\n    text-align: center;\n}");

static const QString family = QStringLiteral("Open Sans");

QFont familyFont()
{
    QFont font;
    font.setFamilies({family});
    return font;
}

QFont textFont()
{
    QFont font = familyFont();
    font.setPointSize(8);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

QFont titleFont()
{
    QFont font = familyFont();
    font.setPointSize(10);
    font.setWeight(QFont::Bold);
    font.setItalic(true);
    return font;
}

static QPalette textPalette(const QColor &colour)
{
    QPalette palette;
    palette.setColor(QPalette::Active, QPalette::WindowText, colour);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
    return palette;
}

QPalette windowPalette() { return textPalette(QColor(77, 73, 72)); }

QPalette accentPalette() { return textPalette(QColor(0, 147, 221)); }

}  // namespace formstyle
