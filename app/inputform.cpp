// The input pages of the main window's form: page 0 and the four reactor pages.

#include "mainform.h"

#include "formparts.h"
#include "formstyle.h"
#include "inputrows.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <qcustomplot.h>

#include <cstring>

using formparts::button;

namespace {

// Every input page has its buttons in the same places.
const QRect continueGeometry(630, 370, 130, 32);
const QRect resetGeometry(630, 320, 130, 32);
const QRect backGeometry(480, 370, 130, 32);

QGroupBox *titledGroup(QWidget *parent, const char *name, const QString &title, const QRect &geometry)
{
    auto *box = new QGroupBox(title, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    box->setFont(formstyle::titleFont());
    return box;
}

QLabel *textLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    QLabel *label = formparts::label(parent, name, text, geometry);
    label->setFont(formstyle::textFont());
    return label;
}

QLabel *heading(QWidget *parent, const char *name, const QString &text, const QPoint &position)
{
    QLabel *label = formparts::label(parent, name, text, QRect(position, QSize(181, 21)));
    label->setFont(formstyle::titleFont());
    label->setPalette(formstyle::accentPalette());
    return label;
}

QRadioButton *radio(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *radio = new QRadioButton(text, parent);
    radio->setObjectName(QString::fromLatin1(name));
    radio->setGeometry(geometry);
    radio->setFont(formstyle::textFont());
    return radio;
}

QLineEdit *lineEdit(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(geometry);
    edit->setFont(formstyle::textFont());
    return edit;
}

QGroupBox *reactorBox(QWidget *page, const char *name, int height)
{
    QGroupBox *box = titledGroup(page, name, QStringLiteral("Reactor configuration"), QRect(20, 20, 591, height));
    box->setStyleSheet(formstyle::titledBox);
    return box;
}

// The "Select Unit" box of a reactor page, for the temperatures of that page; kelvin at start.
QGroupBox *unitChoice(QGroupBox *reactorBox, const char *boxName, const char *kelvinName, QRadioButton *&kelvin,
                      const char *celsiusName, QRadioButton *&celsius)
{
    QGroupBox *box = titledGroup(reactorBox, boxName, QStringLiteral("Select Unit"), QRect(420, 20, 121, 51));
    kelvin = radio(box, kelvinName, QStringLiteral("K"), QRect(10, 20, 41, 20));
    celsius = radio(box, celsiusName, QStringLiteral("°C"), QRect(60, 20, 51, 20));
    kelvin->setChecked(true);
    return box;
}

}  // namespace

// Rows stand one above the other: the icon a little above its line edit (level with it when
// `iconRaise` is 0), the label left of the edit and the unit label at x = 420, both a little
// below the edit's top so that their text sits on the edit's middle.
void MainForm::addRows(QWidget *box, const std::vector<InputRow> &rows, int mode, int editX, int iconRaise)
{
    for (const InputRow &row : rows) {
        formparts::image(box, "", QString::fromLatin1(row.icon), QRect(10, row.y - iconRaise, 30, 30));
        textLabel(box, row.labelName, QString::fromLatin1(row.labelText), QRect(50, row.y + 5, editX - 55, 16));
        this->*row.edit = lineEdit(box, row.editName, QString::fromLatin1(inputrows::initialText(row, mode)),
                                   QRect(editX, row.y, 200, 25));
        if (row.unitName) {
            QLabel *unit = textLabel(box, row.unitName, QString::fromLatin1(row.unitText), QRect(420, row.y + 5, 81, 16));
            unit->setPalette(formstyle::accentPalette());
            if (std::strstr(row.unitText, "<sup>"))
                unit->setTextFormat(Qt::RichText);
        }
    }
}

void MainForm::setupInputPage()
{
    page = addPage("page");
    groupBox = titledGroup(page, "groupBox", QStringLiteral("INPUT DATA"), QRect(20, 20, 511, 331));
    groupBox->setStyleSheet(formstyle::titledBox);
    label = heading(groupBox, "label", QStringLiteral("Basic proporties"), QPoint(140, 15));
    addRows(groupBox, inputrows::basic(), 1, 210, 5);
    label_2 = heading(groupBox, "label_2", QStringLiteral("Fractioning factors"), QPoint(130, 170));
    addRows(groupBox, inputrows::fractions(), 1, 100, 0);

    groupBox_ph_mode = titledGroup(groupBox, "groupBox_ph_mode", QStringLiteral("pH MODE"), QRect(310, 200, 181, 101));
    radioButton_free = radio(groupBox_ph_mode, "radioButton_free", QStringLiteral("Free"), QRect(10, 30, 61, 20));
    radioButton_manual = radio(groupBox_ph_mode, "radioButton_manual", QStringLiteral("Manual"), QRect(80, 30, 81, 20));
    radioButton_manual->setChecked(true);
    label_33 = textLabel(groupBox_ph_mode, "label_33", QStringLiteral("pH Value"), QRect(10, 60, 61, 25));
    lineEdit_manual_ph = lineEdit(groupBox_ph_mode, "lineEdit_manual_ph",
                                  QString::fromLatin1(inputInfo(Input::Ph).resetText), QRect(80, 60, 81, 25));

    groupBox_config = titledGroup(page, "groupBox_config", QStringLiteral("CONFIGURATION"), QRect(550, 20, 281, 231));
    groupBox_config->setStyleSheet(formstyle::titledBox);
    radioButton_SSAD = radio(groupBox_config, "radioButton_SSAD", QStringLiteral("Single-stage AD"), QRect(30, 40, 221, 20));
    radioButton_TSAD = radio(groupBox_config, "radioButton_TSAD", QStringLiteral("Two-stage AD / AHPD"), QRect(30, 90, 221, 20));
    radioButton_TPAD = radio(groupBox_config, "radioButton_TPAD", QStringLiteral("TPAD"), QRect(30, 140, 221, 20));
    radioButton_POMP = radio(groupBox_config, "radioButton_POMP", QStringLiteral("Pomp-mixed"), QRect(30, 190, 221, 20));
    radioButton_SSAD->setChecked(true);

    groupBox_start = titledGroup(page, "groupBox_start", QStringLiteral("START"), QRect(550, 256, 281, 56));
    groupBox_start->setStyleSheet(formstyle::titledBox);
    comboBox_start = new QComboBox(groupBox_start);
    comboBox_start->setObjectName(QStringLiteral("comboBox_start"));
    comboBox_start->setGeometry(10, 22, 261, 26);
    comboBox_start->addItems({QStringLiteral("Built-in start-up"), QStringLiteral("Steady state"),
                              QStringLiteral("Saved state…")});

    // Under the input data, left of the buttons: the feed, with a small plot of a schedule's flow.
    groupBox_feed = titledGroup(page, "groupBox_feed", QStringLiteral("FEED"), QRect(20, 356, 591, 110));
    groupBox_feed->setStyleSheet(formstyle::titledBox);
    radioButton_feed_ramp = radio(groupBox_feed, "radioButton_feed_ramp", QStringLiteral("Built-in ramp"), QRect(10, 25, 160, 20));
    radioButton_feed_file = radio(groupBox_feed, "radioButton_feed_file", QStringLiteral("Feed schedule from file…"),
                                  QRect(10, 50, 221, 20));
    radioButton_feed_ramp->setChecked(true);
    pushButton_feed_substrates = button(groupBox_feed, "pushButton_feed_substrates", QStringLiteral("Substrates…"),
                                        QRect(180, 23, 100, 24), formstyle::choiceButton);
    label_feed_file = textLabel(groupBox_feed, "label_feed_file", QString(), QRect(10, 72, 270, 34));
    label_feed_file->setWordWrap(true);
    customPlot_feed = new QCustomPlot(groupBox_feed);
    customPlot_feed->setObjectName(QStringLiteral("customPlot_feed"));
    customPlot_feed->setGeometry(290, 14, 295, 92);
    customPlot_feed->hide();

    pushButton_D1 = button(page, "pushButton_D1", QStringLiteral("Reset"), resetGeometry, formstyle::secondaryButton);
    pushButton_C1 = button(page, "pushButton_C1", QStringLiteral("Continue >>"), continueGeometry, formstyle::primaryButton);
}

void MainForm::setupSingleStagePage()
{
    page_SSAD = addPage("page_SSAD");
    groupBox_4 = reactorBox(page_SSAD, "groupBox_4", 281);
    addRows(groupBox_4, inputrows::singleStage(), 1, 210, 5);
    groupBox_5 = unitChoice(groupBox_4, "groupBox_5", "radioButton_unitK", radioButton_unitK,
                            "radioButton_UnitC", radioButton_UnitC);
    pushButton_B2 = button(page_SSAD, "pushButton_B2", QStringLiteral("Back"), backGeometry, formstyle::primaryButton);
    pushButton_D2 = button(page_SSAD, "pushButton_D2", QStringLiteral("Reset"), resetGeometry, formstyle::secondaryButton);
    pushButton_C2 = button(page_SSAD, "pushButton_C2", QStringLiteral("Continue >>"), continueGeometry, formstyle::primaryButton);
}

void MainForm::setupTwoStagePage()
{
    page_TSAD = addPage("page_TSAD");
    groupBox_8 = reactorBox(page_TSAD, "groupBox_8", 281);
    addRows(groupBox_8, inputrows::twoStage(), 2, 210, 5);
    groupBox_9 = unitChoice(groupBox_8, "groupBox_9", "radioButton_UnitK_ts", radioButton_UnitK_ts,
                            "radioButton_UnitC_ts", radioButton_UnitC_ts);
    pushButton_B3 = button(page_TSAD, "pushButton_B3", QStringLiteral("Back"), backGeometry, formstyle::primaryButton);
    pushButton_D3 = button(page_TSAD, "pushButton_D3", QStringLiteral("Reset"), resetGeometry, formstyle::secondaryButton);
    pushButton_C3 = button(page_TSAD, "pushButton_C3", QStringLiteral("Continue >>"), continueGeometry, formstyle::primaryButton);
}

void MainForm::setupTemperaturePhasedPage()
{
    page_TPAD = addPage("page_TPAD");
    // "Back" and "Continue >>" take their look from the page.
    page_TPAD->setStyleSheet(formstyle::primaryButton);
    groupBox_7 = reactorBox(page_TPAD, "groupBox_7", 331);
    addRows(groupBox_7, inputrows::temperaturePhased(), 3, 210, 5);
    groupBox_6 = unitChoice(groupBox_7, "groupBox_6", "radioButton_UnitK_tp", radioButton_UnitK_tp,
                            "radioButton_UnitC_tp", radioButton_UnitC_tp);
    pushButton_B4 = button(page_TPAD, "pushButton_B4", QStringLiteral("Back"), backGeometry, QString());
    pushButton_D4 = button(page_TPAD, "pushButton_D4", QStringLiteral("Reset"), resetGeometry, formstyle::secondaryButton);
    pushButton_C4 = button(page_TPAD, "pushButton_C4", QStringLiteral("Continue >>"), continueGeometry, formstyle::primaryButton);
}

void MainForm::setupPumpMixedPage()
{
    page_POMP = addPage("page_POMP");
    groupBox_16 = reactorBox(page_POMP, "groupBox_16", 281);
    addRows(groupBox_16, inputrows::pumpMixed(), 4, 210, 5);
    groupBox_21 = unitChoice(groupBox_16, "groupBox_21", "radioButton_unitK_pm", radioButton_unitK_pm,
                             "radioButton_UnitC_pm", radioButton_UnitC_pm);
    pushButton_B5 = button(page_POMP, "pushButton_B5", QStringLiteral("Back"), backGeometry, formstyle::primaryButton);
    pushButton_D5 = button(page_POMP, "pushButton_D5", QStringLiteral("Reset"), resetGeometry, formstyle::secondaryButton);
    pushButton_C5 = button(page_POMP, "pushButton_C5", QStringLiteral("Continue >>"), continueGeometry, formstyle::primaryButton);
}
