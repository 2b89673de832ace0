// The link label's click through recorders in place of the shell and process calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/WmiEngine.h"
#include "framework/Form.h"
#include "framework/Scoped.h"
#include "widgets/LinkLabel.h"

namespace {

class LinkForm : public TForm {
public:
    explicit LinkForm(TComponent* owner) : TForm(owner) {
        link = Own<TURLLabel>(this);
        link->SetBounds(0, 0, 100, 20);
        TFormParams p;
        p.Caption = L"Link";
        p.Width = 120;
        p.Height = 40;
        CreateHandle(p);
    }
    TURLLabel* link;
};

class LinkLabel : public ::testing::Test {
protected:
    void SetUp() override {
        saved = TURLLabel::Shell();
        TURLLabel::Shell().Open = [this](const std::wstring& target) {
            opened.push_back(target);
            return opens;
        };
        TURLLabel::Shell().OpenAsUser = [this](const std::wstring& target) {
            openedAsUser.push_back(target);
            return opens;
        };
        savedElevated = SetProcessElevatedFunction([this] { return elevated; });
        TURLLabel::Shell().Start = [this](const std::wstring& program, const std::wstring& line) {
            started.push_back(program + L" | " + line);
            return true;
        };
        form = owner.Own<LinkForm>();
    }
    void TearDown() override {
        TURLLabel::Shell() = saved;
        SetProcessElevatedFunction(savedElevated);
    }

    TURLLabel::TShell saved;
    std::function<bool()> savedElevated;
    TComponent owner;
    LinkForm* form = nullptr;
    bool opens = true, elevated = false;
    std::vector<std::wstring> opened, openedAsUser, started;
};

TEST_F(LinkLabel, OpensTheAddressOrElseTheCaptionAfterItsOwnHandler) {
    TURLLabel& link = *form->link;
    std::vector<std::wstring> order;
    link.OnClick = [&](TComponent*) { order.push_back(L"OnClick"); };
    link.SetCaption(L"https://caption.example/");
    link.Click();
    link.SetURL(L"   ");
    link.Click();
    link.SetURL(L" https://url.example/ ");
    link.Click();
    EXPECT_EQ(opened,
              (std::vector<std::wstring>{L"https://caption.example/", L"https://caption.example/",
                                         L" https://url.example/ "}));
    EXPECT_EQ(order.size(), 3u);
    link.SetCaption(L" ");
    link.SetURL(L"");
    link.Click();
    EXPECT_EQ(opened.size(), 3u) << "a blank target opens nothing";
}

TEST_F(LinkLabel, TurnsVisitedOnlyAfterTheShellOpenedIt) {
    TURLLabel& link = *form->link;
    link.SetCaption(L"https://x.example/");
    opens = false;
    link.Click();
    EXPECT_FALSE(link.Visited());
    EXPECT_EQ(link.TextColor(), clHighlight);
    opens = true;
    link.Click();
    EXPECT_TRUE(link.Visited());
    EXPECT_EQ(link.TextColor(), RGB(128, 0, 128));
    EXPECT_TRUE(started.empty());
}

TEST_F(LinkLabel, OnlyAnHtmPageThatWouldNotOpenOffersAProgramByItsFullPath) {
    opens = false;
    for (const wchar_t* target : {L"x.htm", L"X.HTM", L"a.html", L"C:\\d.htm\\f", L"http://h/"}) {
        form->link->SetURL(target);
        form->link->Click();
    }
    wchar_t system[MAX_PATH];
    const std::wstring rundll =
        std::wstring(system, GetSystemDirectoryW(system, MAX_PATH)) + L"\\rundll32.exe";
    EXPECT_EQ(started,
              (std::vector<std::wstring>{
                  rundll + L" | \"" + rundll + L"\" Shell32.dll,OpenAs_RunDLL \"x.htm\"",
                  rundll + L" | \"" + rundll + L"\" Shell32.dll,OpenAs_RunDLL \"X.HTM\""}));
    EXPECT_EQ(TURLLabel::TargetExtension(L"C:\\a.b\\c"), L"");
    EXPECT_EQ(TURLLabel::TargetExtension(L"page.Htm"), L".HTM");
}

TEST_F(LinkLabel, ElevatedItOpensOnlyThroughTheUsersOwnShell) {
    TURLLabel& link = *form->link;
    link.SetURL(L"https://x.example/");
    link.Click();
    EXPECT_EQ(opened, std::vector<std::wstring>{L"https://x.example/"});
    EXPECT_TRUE(openedAsUser.empty()) << "not elevated, the shell opens it as this process";

    opened.clear();
    elevated = true;
    link.SetVisited(false);
    link.Click();
    EXPECT_TRUE(opened.empty()) << "opened by this elevated process";
    EXPECT_EQ(openedAsUser, std::vector<std::wstring>{L"https://x.example/"});
    EXPECT_TRUE(link.Visited());

    // The user's shell out of reach: nothing opens, not even the program picker, which would
    // run elevated as well.
    opens = false;
    link.SetVisited(false);
    link.SetURL(L"page.htm");
    link.Click();
    EXPECT_FALSE(link.Visited());
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(started.empty());
}

TEST_F(LinkLabel, ColourSettersRepaintOnlyOnAChange) {
    TURLLabel& link = *form->link;
    link.SetVisited(true);
    form->Show();
    RECT dirty{};
    ValidateRect(form->Handle(), nullptr);
    link.SetVisitedColor(RGB(128, 0, 128));
    link.SetUnvisitedColor(clHighlight);
    EXPECT_FALSE(GetUpdateRect(form->Handle(), &dirty, FALSE)) << "an equal colour repainted";
    link.SetVisitedColor(RGB(200, 0, 0));
    EXPECT_TRUE(GetUpdateRect(form->Handle(), &dirty, FALSE));
    EXPECT_EQ(link.TextColor(), RGB(200, 0, 0));
}

// Whether the form, painted into a bitmap of its own, shows any pixel of that colour.
bool Shows(TForm& form, COLORREF color) {
    const RECT client = form.ClientRect();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    ScopedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    {
        ScopedSelectObject select(dc.Get(), bitmap.Get());
        SendMessageW(form.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()), PRF_CLIENT);
    }
    const auto* pixel = static_cast<const DWORD*>(bits);
    const DWORD wanted = RGB(GetBValue(color), GetGValue(color), GetRValue(color));
    return std::find(pixel, pixel + client.right * client.bottom, wanted) !=
           pixel + client.right * client.bottom;
}

TEST_F(LinkLabel, FlyByColourShowsWhileThePointerIsOverItAndLeavesTheStateColour) {
    TURLLabel& link = *form->link;
    const COLORREF flyBy = RGB(255, 0, 0);
    link.SetCaption(L"WWWWWWWW");
    link.SetFlyByEnabled(true);
    link.SetFlyByColor(flyBy);
    const auto hover = [&] { SendMessageW(form->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5)); };
    const auto leave = [&] { SendMessageW(form->Handle(), WM_MOUSELEAVE, 0, 0); };

    hover();
    EXPECT_EQ(link.TextColor(), flyBy);
    EXPECT_TRUE(Shows(*form, flyBy));
    leave();
    EXPECT_EQ(link.TextColor(), clHighlight);
    EXPECT_FALSE(Shows(*form, flyBy));

    // Opened while the pointer is over it: the fly-by colour stays until the pointer leaves,
    // then the visited colour shows, not the unvisited one from before.
    hover();
    link.Click();
    EXPECT_EQ(link.TextColor(), flyBy);
    leave();
    EXPECT_EQ(link.TextColor(), RGB(128, 0, 128));
    EXPECT_TRUE(Shows(*form, RGB(128, 0, 128)));

    // Turned off while the pointer is over it: leaving still brings the state colour back.
    hover();
    link.SetFlyByEnabled(false);
    leave();
    EXPECT_EQ(link.TextColor(), RGB(128, 0, 128));
    hover();
    EXPECT_EQ(link.TextColor(), RGB(128, 0, 128)) << "no fly-by colour when it is off";
}

} // namespace
