#include "help.h"
#include "ui_help.h"

help::help(QWidget *parent)
    : QDialog(parent, Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(new Ui::help)
{
    ui->setupUi(this);
    setFixedSize(width(), height());
}

help::~help()
{
    delete ui;
}
