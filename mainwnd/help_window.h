// The help page in a window of its own.
#pragma once

class QWidget;

// Creates the help window as a top-level child of `owner`; the caller shows it.
QWidget* createHelpWindow(QWidget* owner);
