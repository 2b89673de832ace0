#pragma once
// --exit-when-idle=FILE, for measuring start-up: the program ends at the first idle pass of a
// message loop where a user meets it, in the tray after a configured start or in the
// configuration dialog after a first run, and appends to FILE the time the process took to get
// there and its memory (WriteStartFigures). Message boxes on the way (the first run's greeting)
// are answered OK without being shown, so no reader's time is counted.
#include <optional>
#include <string>

// The file named, empty when the option has none or names a path, not a plain file name; no
// answer without the option. The file is written beside the exe.
std::optional<std::wstring> ParseExitWhenIdle(const std::wstring& commandLine);
// mainLoopRunning: the main window is made and its loop runs, so a hidden main window is one
// in the tray, not one still being made (a first run's dialog opens while it is).
void ExitWhenIdle(const std::wstring& file, const bool& mainLoopRunning);
