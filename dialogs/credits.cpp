#include "credits.h"
#include "ui_credits.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {
// Both files lie beside the program, in the working directory. The name is made absolute
// first: desktop openers (xdg-open, gio) do not understand a relative "file:" address.
void openBesideProgram(const QString &fileName)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath()));
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
