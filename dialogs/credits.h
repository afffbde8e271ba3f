#pragma once
#include <QDialog>
class credits : public QDialog {
    Q_OBJECT
public:
    explicit credits(QWidget *parent = nullptr) : QDialog(parent) {}
};
