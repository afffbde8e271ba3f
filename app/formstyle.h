#pragma once

// The look of the main window: its fonts, palettes and style sheets.

#include <QFont>
#include <QPalette>
#include <QString>

namespace formstyle {

// Blue buttons that move the user on: "Continue >>", "Back", "Exit", "Open full results".
extern const QString primaryButton;
// Grey buttons: "Reset", "Cancel simulation", "New simulation", "See R1" / "See R2".
extern const QString secondaryButton;
// A button inside a box of choices ("Substrates…"): blue on white with a blue frame, so that it
// reads as one that can be pressed; grey when it cannot.
extern const QString choiceButton;
// Blue titles on the main group boxes.
extern const QString titledBox;
extern const QString progressBar;

// "Open Sans" with every other attribute inherited from the parent.
QFont familyFont();
// The page stack's font, and the one of page 0's labels, fields and buttons.
QFont textFont();
// Group boxes and section headings.
QFont titleFont();

// Dark grey text for the whole window.
QPalette windowPalette();
// Blue text for section headings and unit labels.
QPalette accentPalette();

}  // namespace formstyle
