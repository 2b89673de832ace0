// The application object: its forms, and what a failure says to the user.
#include <gtest/gtest.h>

#include <windows.h>

#include <new>
#include <string>

#include "framework/Application.h"
#include "framework/Automation.h"
#include "framework/Exception.h"
#include "framework/Form.h"

namespace {

class PlainForm : public TForm {
public:
    explicit PlainForm(TComponent* owner) : TForm(owner) {
        TFormParams p;
        p.Caption = L"Plain";
        CreateHandle(p);
    }
};

// A form whose creation handler opens a form of its own, as the first run opens its dialog.
class FormThatOpensAnother : public TForm {
public:
    explicit FormThatOpensAnother(TComponent* owner) : TForm(owner) {
        OnCreate = [this] { inner = Application().CreateForm<PlainForm>(); };
        TFormParams p;
        p.Caption = L"Outer";
        CreateHandle(p);
    }
    PlainForm* inner = nullptr;
};

bool QuitPosted() {
    MSG msg;
    return PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

TEST(Application, AFormCreatedWhileTheFirstIsBuiltIsNotTheMainForm) {
    auto* outer = Application().CreateForm<FormThatOpensAnother>();
    ASSERT_NE(outer->inner, nullptr);
    EXPECT_EQ(Application().MainForm(), outer);
    Application().Destroy(outer->inner);
    EXPECT_FALSE(QuitPosted()) << "closing the inner form ended the program";
    Application().Finalize();
    EXPECT_TRUE(QuitPosted());
    EXPECT_EQ(Application().MainForm(), nullptr);
}

TEST(Application, AFailureSaysWhatCouldNotBeDoneAboveTheSystemsTextAndCode) {
    const auto messageOf = [](auto&& step) {
        try {
            step();
        } catch (const std::exception& e) {
            return ExceptionMessage(e);
        }
        return std::wstring(L"nothing raised");
    };
    // A COM error gains its code; WMI's texts carry theirs already.
    EXPECT_EQ(messageOf([] { Attempt(L"无法读取网卡列表。", [] { ComCheck(E_NOTIMPL); }); }),
              L"无法读取网卡列表。\n" + SystemErrorMessage(E_NOTIMPL) + L": 80004001");
    EXPECT_EQ(messageOf([] {
                  Attempt(L"无法读取网卡列表。",
                          [] { throw EComError(L"Not found: 80041002", 0x80041002); });
              }),
              L"无法读取网卡列表。\nNot found: 80041002");
    // The step nearest the failure says what it was; an outer one adds nothing.
    EXPECT_EQ(messageOf([] {
                  Attempt(L"outer", [] {
                      Attempt(L"无法保存 Config.ini。",
                              [] { throw Exception(L"Unable to write to C:\\x\\Config.ini"); });
                  });
              }),
              L"无法保存 Config.ini。\nUnable to write to C:\\x\\Config.ini");
    // Any other error keeps its text under the line, and a step that works gives its value.
    EXPECT_EQ(messageOf([] { Attempt(L"无法保存 Config.ini。", [] { throw std::bad_alloc(); }); }),
              L"无法保存 Config.ini。\nstd::bad_alloc");
    EXPECT_EQ(Attempt(L"unused", [] { return 7; }), 7);
}

} // namespace
