#pragma once
// Message boxes in tests: each one's text is kept and the box answers at once, so a test sees
// what the user would have been told without a window waiting for a click.
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

// The same for boxes that ask: each gets the answer set at the time, and its kind of buttons
// (MB_YESNO, ...) is kept beside its text.
inline void AnswerMessageBoxes(std::vector<std::wstring>& texts, std::vector<UINT>& buttons,
                               const int& answer) {
    Application().SetMessageBoxFunction(
        [&texts, &buttons, &answer](const std::wstring& text, const std::wstring&, UINT flags) {
            texts.push_back(text);
            buttons.push_back(flags & MB_TYPEMASK);
            return answer;
        });
}
