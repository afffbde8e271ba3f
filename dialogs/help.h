#pragma once
#include <QDialog>
class help : public QDialog {
    Q_OBJECT
public:
    explicit help(QWidget *parent = nullptr) : QDialog(parent) {}
};
