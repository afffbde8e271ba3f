#include "parametersdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum Column { Name, Value, Default, Unit, Meaning };

QString number(double value) { return QString::number(value, 'g', QLocale::FloatingPointShortest); }

// The number a value cell holds, in the C locale's notation as everywhere in the program.
std::optional<double> cellValue(const QTableWidgetItem *item)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(item->text().trimmed(), &ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

}  // namespace

ParametersDialog::ParametersDialog(const ParameterValues &values, PhSolver phSolver, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ParametersDialog"));
    setWindowTitle(tr("Model parameters"));
    resize(820, 480);
    auto *layout = new QVBoxLayout(this);

    const std::vector<ModelParameter> &declared = modelParameters();
    table = new QTableWidget(int(declared.size()), 5, this);
    table->setObjectName(QStringLiteral("tableWidget_parameters"));
    table->setHorizontalHeaderLabels({tr("Name"), tr("Value"), tr("Default"), tr("Unit"), tr("Meaning")});
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < int(declared.size()); ++row) {
        const ModelParameter &p = declared[size_t(row)];
        const QString texts[] = {p.name, QString(), number(p.defaultValue), p.unit, p.meaning};
        for (int column = 0; column < 5; ++column) {
            auto *item = new QTableWidgetItem(texts[column]);
            if (column != Value)
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            if (column == Meaning)
                item->setToolTip(p.meaning);
            table->setItem(row, column, item);
        }
    }
    layout->addWidget(table);

    solverBox = new QComboBox(this);
    solverBox->setObjectName(QStringLiteral("comboBox_ph_solver"));
    for (PhSolver solver : {PhSolver::Exact, PhSolver::Damped})
        solverBox->addItem(QLatin1String(phSolverName(solver)), int(solver));
    solverBox->setCurrentIndex(solverBox->findData(int(phSolver)));
    solverBox->setToolTip(QLatin1String(kPhSolverHelp));
    auto *solverRow = new QFormLayout;
    solverRow->addRow(tr("Free pH solver (%1)").arg(QLatin1String(kPhSolverKey)), solverBox);
    layout->addLayout(solverRow);

    problemsLabel = new QLabel(this);
    problemsLabel->setObjectName(QStringLiteral("label_parameter_problems"));
    problemsLabel->setWordWrap(true);
    problemsLabel->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0);"));
    layout->addWidget(problemsLabel);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton = buttons->button(QDialogButtonBox::Ok);
    QPushButton *reset = buttons->addButton(tr("Reset to defaults"), QDialogButtonBox::ResetRole);
    reset->setObjectName(QStringLiteral("pushButton_parameters_reset"));
    connect(reset, &QPushButton::clicked, this, [this] {
        showValues({});
        solverBox->setCurrentIndex(solverBox->findData(int(PhSolver::Exact)));
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    showValues(values);
    table->resizeColumnsToContents();
    connect(table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        if (item->column() == Value)
            check();
    });
}

void ParametersDialog::showValues(const ParameterValues &values)
{
    const QSignalBlocker quiet(table);
    const std::vector<ModelParameter> &declared = modelParameters();
    for (int row = 0; row < int(declared.size()); ++row) {
        const ModelParameter &p = declared[size_t(row)];
        table->item(row, Value)->setText(number(values.value(p.name, p.defaultValue)));
    }
    check();
}

ParameterValues ParametersDialog::values() const
{
    ParameterValues values;
    const std::vector<ModelParameter> &declared = modelParameters();
    for (int row = 0; row < int(declared.size()); ++row) {
        const std::optional<double> value = cellValue(table->item(row, Value));
        if (value && *value != declared[size_t(row)].defaultValue)
            values[declared[size_t(row)].name] = *value;
    }
    return values;
}

void ParametersDialog::check()
{
    const QSignalBlocker quiet(table);
    // The declaration's checks on the values as a whole (each value's range, then what holds
    // between values); a value is marked with every problem that names it.
    const QStringList checked = checkParameters(values());
    QStringList problems;
    const std::vector<ModelParameter> &declared = modelParameters();
    for (int row = 0; row < int(declared.size()); ++row) {
        const ModelParameter &p = declared[size_t(row)];
        QTableWidgetItem *item = table->item(row, Value);
        const std::optional<double> value = cellValue(item);
        QStringList own;
        if (!value)
            own << tr("model parameter %1 needs a number, not '%2'").arg(p.name, item->text());
        problems << own;
        const QRegularExpression named(QStringLiteral("\\b%1\\b").arg(QRegularExpression::escape(p.name)));
        for (const QString &problem : checked)
            if (problem.contains(named))
                own << problem;
        QFont font = item->font();
        font.setBold(value && *value != p.defaultValue);
        item->setFont(font);
        item->setForeground(own.isEmpty() ? QBrush() : QBrush(Qt::red));
        item->setToolTip(own.join(QLatin1Char('\n')));
    }
    problems << checked;
    problemsLabel->setText(problems.join(QLatin1Char('\n')));
    okButton->setEnabled(problems.isEmpty());
}

PhSolver ParametersDialog::phSolver() const { return PhSolver(solverBox->currentData().toInt()); }
