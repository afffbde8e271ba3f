#pragma once

// Small builders shared by the parts of the main window's form.

#include <QRect>
#include <QString>

QT_BEGIN_NAMESPACE
class QLabel;
class QPushButton;
class QWidget;
QT_END_NAMESPACE

namespace formparts {

// A push button in the page font; `styleSheet` may be empty (the parent's applies).
QPushButton *button(QWidget *parent, const char *name, const QString &text, const QRect &geometry,
                    const QString &styleSheet);
QLabel *label(QWidget *parent, const char *name, const QString &text, const QRect &geometry);
// A label showing a shipped image file (graphics/...) scaled to the label; a missing file leaves
// it empty.
QLabel *image(QWidget *parent, const char *name, const QString &file, const QRect &geometry);

}  // namespace formparts
