#include "plantdialog.h"

#include <configuration.h>

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

PlantDialog::PlantDialog(const RunRequest &values, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PlantDialog"));
    setWindowTitle(tr("Plant and alarms"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    for (const InputInfo &info : inputInfos()) {
        if (!info.plant)
            continue;
        auto *field = new QLineEdit(QString::number(values.*info.field, 'g', QLocale::FloatingPointShortest), this);
        field->setObjectName(QStringLiteral("lineEdit_") + QLatin1String(info.key));
        field->setToolTip(QString::fromUtf8(info.help));
        connect(field, &QLineEdit::textChanged, this, &PlantDialog::check);
        form->addRow(QStringLiteral("%1 [%2]").arg(QString::fromUtf8(info.label), QString::fromUtf8(info.unit)), field);
        fields[&info] = field;
    }
    layout->addLayout(form);
    problemsLabel = new QLabel(this);
    problemsLabel->setObjectName(QStringLiteral("label_plant_problems"));
    problemsLabel->setWordWrap(true);
    problemsLabel->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0);"));
    layout->addWidget(problemsLabel);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    check();
}

RunRequest PlantDialog::values(RunRequest values) const
{
    for (const auto &[info, field] : fields)
        values.*info->field = QLocale::c().toDouble(field->text().trimmed());
    return values;
}

void PlantDialog::check()
{
    QStringList problems;
    RunRequest request = defaultRequest(1);
    for (const auto &[info, field] : fields) {
        bool ok = false;
        const double value = QLocale::c().toDouble(field->text().trimmed(), &ok);
        const QString problem = ok ? valueProblem(*info, value, 1) : tr("is not a number");
        if (!problem.isEmpty())
            problems << QStringLiteral("%1 %2").arg(QString::fromUtf8(info->label), problem);
        request.*info->field = value;
    }
    if (problems.isEmpty())  // what holds between the fields, e.g. the CHP's efficiencies together
        for (const InputProblem &problem : checkRunRequest(request))
            problems << QStringLiteral("%1 %2").arg(QString::fromUtf8(inputInfoByKey(problem.key)->label), problem.reason);
    problemsLabel->setText(problems.join(QLatin1Char('\n')));
    okButton->setEnabled(problems.isEmpty());
}

void takePlantInputs(RunRequest &to, const RunRequest &from)
{
    for (const InputInfo &info : inputInfos())
        if (info.plant)
            to.*info.field = from.*info.field;
}
