#pragma once

#include <QDialog>

namespace Ui {
class help;
}

// Two short texts: what the model needs as input and where its results go.
class help : public QDialog
{
    Q_OBJECT

public:
    explicit help(QWidget *parent = nullptr);
    ~help() override;

private:
    Ui::help *ui;
};
