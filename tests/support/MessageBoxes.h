#pragma once
// Message boxes in tests: each one's text is kept and the box answers at once, so a test sees
// what the user would have been told without a window waiting for a click.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/Application.h"

// Every box goes to f for the life of the guard; then the boxes go where they went before,
// however the test ends.
class ScopedMessageBoxes {
public:
    explicit ScopedMessageBoxes(TApplication::MessageBoxFunction f)
        : FPrevious(Application().SetMessageBoxFunction(std::move(f))) {}
    ~ScopedMessageBoxes() { Application().SetMessageBoxFunction(std::move(FPrevious)); }
    ScopedMessageBoxes(const ScopedMessageBoxes&) = delete;
    ScopedMessageBoxes& operator=(const ScopedMessageBoxes&) = delete;

private:
    TApplication::MessageBoxFunction FPrevious;
};

[[nodiscard]] inline ScopedMessageBoxes RecordMessageBoxes(std::vector<std::wstring>& texts) {
    return ScopedMessageBoxes([&texts](const std::wstring& text, const std::wstring&, UINT) {
        texts.push_back(text);
        return IDOK;
    });
}

// The same for boxes that ask: each gets the answer set at the time, and its kind of buttons
// (MB_YESNO, ...) is kept beside its text.
[[nodiscard]] inline ScopedMessageBoxes AnswerMessageBoxes(std::vector<std::wstring>& texts,
                                                           std::vector<UINT>& buttons,
                                                           const int& answer) {
    return ScopedMessageBoxes(
        [&texts, &buttons, &answer](const std::wstring& text, const std::wstring&, UINT flags) {
            texts.push_back(text);
            buttons.push_back(flags & MB_TYPEMASK);
            return answer;
        });
}
