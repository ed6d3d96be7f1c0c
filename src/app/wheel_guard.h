#pragma once

class QWidget;

// Value fields (spin boxes and drop-down lists) under `panel` change with the
// wheel only while they have the keyboard. Over any other field the wheel
// scrolls the panel around it, so that scrolling a long panel never changes
// a weight or a threshold the pointer happens to pass over. A click or Tab
// into a field gives it the keyboard; the wheel does not.
void guardFieldsAgainstStrayWheel(QWidget* panel);
