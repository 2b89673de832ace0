#pragma once
// A label that opens a web address (or any shell target) when clicked, underlined, with the
// hand cursor, in one colour before and another after the shell opened it.
#include <windows.h>

#include <functional>
#include <string>

#include "framework/Label.h"

// A colour, or a system colour (kSystemColor | COLOR_xxx) resolved when the label paints.
using TColor = DWORD;
constexpr TColor kSystemColor = 0x80000000;
constexpr TColor clHighlight = kSystemColor | COLOR_HIGHLIGHT;
COLORREF ColorToRGB(TColor color);

// A label whose text can take another colour while the pointer is over it.
class TStyledLabel : public TLabel {
public:
    using TLabel::TLabel;
    bool FlyByEnabled() const { return FFlyByEnabled; }
    void SetFlyByEnabled(bool on) { FFlyByEnabled = on; }
    TColor FlyByColor() const { return FFlyByColor; }
    void SetFlyByColor(TColor color) { FFlyByColor = color; }
    // The colour the text is painted in.
    TColor TextColor() const { return FTextColor; }
    void SetTextColor(TColor color);

    void MouseEnter() override;
    void MouseLeave() override;
    void Paint(TCanvas& canvas) override;

private:
    bool FFlyByEnabled = false;
    TColor FFlyByColor = clHighlight;
    TColor FTextColor = 0;
    TColor FSavedColor = 0;
    bool FFlying = false; // the fly-by colour shows
};

class TURLLabel : public TStyledLabel {
public:
    TURLLabel(TComponent* owner, TForm* parent);

    const std::wstring& URL() const { return FURL; }
    void SetURL(const std::wstring& url) { FURL = url; }
    bool Visited() const { return FVisited; }
    void SetVisited(bool visited);
    TColor UnvisitedColor() const { return FUnvisitedColor; }
    void SetUnvisitedColor(TColor color);
    TColor VisitedColor() const { return FVisitedColor; }
    void SetVisitedColor(TColor color);
    void UpdateLinkColor();

    void Click() override;

    // What a click asks of the system; tests put recorders in its place.
    struct TShell {
        // ShellExecuteEx "Open" of the target; answers whether it succeeded.
        std::function<bool(const std::wstring& target)> Open;
        // Has the user's own shell, the desktop's, open the target, so that it opens unelevated
        // whatever this process runs as; answers whether that shell could be reached and took it.
        std::function<bool(const std::wstring& target)> OpenAsUser;
        // Starts a program by its full path with that command line; answers whether it did.
        std::function<bool(const std::wstring& program, const std::wstring& commandLine)> Start;
    };
    static TShell& Shell();
    // The extension from the last full stop, when no "\" or ":" follows it; upper-cased.
    static std::wstring TargetExtension(const std::wstring& target);

private:
    std::wstring FURL;
    bool FVisited = false;
    TColor FUnvisitedColor = clHighlight;
    TColor FVisitedColor = RGB(128, 0, 128);
};
