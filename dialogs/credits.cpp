#include "credits.h"
#include "ui_credits.h"

#include <QDesktopServices>
#include <QUrl>

namespace {
// Both files lie beside the program; the bare name resolves against the working directory.
void openBesideProgram(const QString &fileName)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(fileName));
}
} // namespace

credits::credits(QWidget *parent)
    : QDialog(parent, Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(new Ui::credits)
{
    ui->setupUi(this);
    setFixedSize(width(), height());
}

credits::~credits()
{
    delete ui;
}

void credits::on_pushButton_License_clicked()
{
    openBesideProgram(QStringLiteral("license.txt"));
}

void credits::on_pushButton_clicked()
{
    openBesideProgram(QStringLiteral("changelog.txt"));
}
