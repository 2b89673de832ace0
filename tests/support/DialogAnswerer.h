#pragma once
// Answers the configuration dialog of the running test whenever it is open.
#include <windows.h>

#include <functional>

#include "dialogs/ConfigDialog.h"

// From a thread timer that the dialog's modal loop runs: "确定" when confirm, otherwise the
// close box. What else should happen while the dialog is open goes into WhileOpen.
class DialogAnswerer {
public:
    explicit DialogAnswerer(bool confirm = false) : FConfirm(confirm) {
        Current = this;
        FTimer = SetTimer(nullptr, 0, 20, &Tick);
    }
    ~DialogAnswerer() {
        KillTimer(nullptr, FTimer);
        Current = nullptr;
    }
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
    int Opened = 0;
    std::function<void(TfrmConfig&)> WhileOpen;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        HWND dialog = FindWindowW(L"TarnwickForm", L"配置");
        if (!Current || !dialog || !IsWindowVisible(dialog) || !IsWindowEnabled(dialog)) return;
        ++Current->Opened;
        auto* form = static_cast<TfrmConfig*>(TForm::FromHandle(dialog));
        if (Current->WhileOpen) Current->WhileOpen(*form);
        // WhileOpen may have left it itself ("取消").
        if (!IsWindowVisible(dialog)) return;
        if (Current->FConfirm)
            form->btnOK->Click();
        else
            SendMessageW(dialog, WM_CLOSE, 0, 0);
    }
    static inline DialogAnswerer* Current = nullptr;
    bool FConfirm;
    UINT_PTR FTimer = 0;
};
