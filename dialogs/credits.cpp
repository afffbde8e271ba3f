#include "credits.h"
#include "ui_credits.h"

#include <datafiles.h>

#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace {
// Both files are shipped with the program. The name is made absolute: desktop openers
// (xdg-open, gio) do not understand a relative "file:" address.
void openBesideProgram(QWidget *dialog, const QString &fileName)
{
    const QString path = QFileInfo(DataFiles::find(fileName)).absoluteFilePath();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        QMessageBox::warning(dialog, credits::tr("File not opened"),
                             credits::tr("No program was found to open %1.").arg(path), QMessageBox::Ok);
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
    openBesideProgram(this, QStringLiteral("license.txt"));
}

void credits::on_pushButton_clicked()
{
    openBesideProgram(this, QStringLiteral("changelog.txt"));
}
