#pragma once

#include <QDialog>

namespace Ui {
class credits;
}

// Product name, version, acknowledgements and citation request; opens the licence notes
// and the change log shipped beside the program.
class credits : public QDialog
{
    Q_OBJECT

public:
    explicit credits(QWidget *parent = nullptr);
    ~credits() override;

private slots:
    void on_pushButton_License_clicked();
    void on_pushButton_clicked();

private:
    Ui::credits *ui;
};
