#pragma once

// Finding the window's widgets by object name, and answering the message boxes it opens.

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QTest>
#include <QTimer>

template <typename T>
T *widget(QObject *root, const char *name)
{
    T *found = root->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

inline QString text(QObject *root, const char *lineEdit) { return widget<QLineEdit>(root, lineEdit)->text(); }

inline void setText(QObject *root, const char *lineEdit, const QString &value)
{
    widget<QLineEdit>(root, lineEdit)->setText(value);
}

inline void click(QObject *root, const char *button)
{
    QTest::mouseClick(widget<QPushButton>(root, button), Qt::LeftButton);
}

// Closes the message box that the next action opens, remembering its title and text.
// Left empty when no message box comes up.
class MessageBoxCloser {
public:
    MessageBoxCloser()
    {
        QTimer::singleShot(0, &context, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                title = box->windowTitle();
                message = box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
    }
    QString title, message;

private:
    QObject context;  // drops the pending check when the closer goes
};
