#pragma once

#include <QString>

class QDialog;
class QWidget;

// The shortcut sheet that F1 opens: every mouse and key action of the main
// view and what the panel's controls do, as rich text.
QString shortcutSheetText();

// A small non-modal dialog showing shortcutSheetText() with a Close button;
// owned by `parent`.
QDialog* createShortcutSheet(QWidget* parent);
