#pragma once
// Message boxes in tests: each one's text is kept and the box answers OK at once, so a test
// sees what the user would have been told without a window waiting for a click.
#include <windows.h>

#include <string>
#include <vector>

#include "framework/Application.h"

inline void RecordMessageBoxes(std::vector<std::wstring>& texts) {
    Application().SetMessageBoxFunction(
        [&texts](const std::wstring& text, const std::wstring&, UINT) {
            texts.push_back(text);
            return IDOK;
        });
}
