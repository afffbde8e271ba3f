#include "credits.h"
#include "ui_credits.h"

#include <datafiles.h>

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {
// Both files are shipped with the program. The name is made absolute: desktop openers
// (xdg-open, gio) do not understand a relative "file:" address.
void openBesideProgram(const QString &fileName)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(DataFiles::find(fileName)).absoluteFilePath()));
}
} // namespace

credits::credits(QWidget *parent)
    : QDialog(parent, Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(new Ui::credits)
{
    ui->setupUi(this);
    ui->groupBox->setTitle(tr("DIGESTRA v.%1").arg(QStringLiteral(DIGESTRA_VERSION)));
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
