#pragma once
// The configuration dialog: both profiles, the options and the adapter view.
#include <string>

// Runs the dialog modally; answers "OK" when the user confirmed (the settings are then written
// to Config.ini), otherwise an empty text.
// The dialog itself is not built yet: this placeholder answers as if it had been cancelled.
std::wstring ExecuteConfigDialog();
