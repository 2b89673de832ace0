#pragma once
// The main window: a landscape picture with the two profile labels. A double click on a label
// applies that profile; the label of the profile applied last carries a "√" and is lime.
#include <cstdint>
#include <functional>
#include <string>

#include "core/AutoSwitch.h"
#include "core/ServiceLink.h"
#include "framework/Form.h"
#include "framework/Image.h"
#include "framework/Label.h"
#include "framework/Timer.h"
#include "widgets/ImageList.h"
#include "widgets/PopupMenu.h"
#include "widgets/TrayIcon.h"
#include "widgets/AALabel.h"
#include "wmi/WmiConnection.h"
#include "wmi/WmiDataSet.h"
#include "wmi/WmiMethod.h"
#include "wmi/WmiSystemEvents.h"

class TfrmMainWindow : public TForm {
public:
    // simulated: the program runs against simulated adapters, and the caption says so.
    // prepare: called before the window is made, to give the On... functions the first run's
    // dialog may use while it is made.
    explicit TfrmMainWindow(TComponent* owner, bool simulated = false,
                            const std::function<void(TfrmMainWindow&)>& prepare = nullptr);
    ~TfrmMainWindow() override;

    // profile is "A" or "B"; answers 0 when the profile was applied (also when it takes effect
    // after a restart) and records it in NET/NET, else the failure's code, or -1 for any other
    // profile or when a switch is already running (the windows answer their messages during a
    // switch). Not elevated, it starts no switch that must fail: it offers OnRestartElevated.
    int64_t SwitchTo(const std::wstring& profile);
    // Starts a copy of the program elevated to switch to the profile, its prompt owned by the
    // window that asked; true when that copy took over, and this one then ends.
    std::function<bool(const std::wstring& profile, HWND owner)> OnRestartElevated;
    // Saves what the settings dialog holds (SettingsArguments) through an elevated copy, its
    // prompt owned by owner; true when saved. Used where the service reads the settings and
    // this copy is not elevated.
    std::function<bool(const std::wstring& arguments, HWND owner)> OnSaveSettingsElevated;
    // Installs the program for all users (the prompt owned by owner) and answers the installed
    // exe, which then takes over; empty when it was not installed.
    std::function<std::wstring(HWND owner)> OnInstallForAll;
    // Starts the copy of the program made to start at logon; true when it took over.
    std::function<bool(const std::wstring& exePath)> OnStartCopy;
    // A copy made by the settings before OnStartCopy was given (the first run's dialog) is
    // started now; true when it took over, and this one then ends.
    bool StartCopyIfMade();
    // The window back from the tray, in front.
    void BringToFront();
    // Shows the profile as the active one: its label's "√" and lime, the tray hint.
    void MarkActive(const std::wstring& profile);
    // The tray icon's tool tip: the active profile's name, and a second line while automatic
    // switching is asked for but cannot hear the network, or after a reconnect to the same one.
    std::wstring TrayHint() const;
    int64_t ToggleProfile();
    // A configured start: Timer1 is to hide the window at the first pass of the message loop.
    bool GoesToTray() const { return Timer1->Enabled(); }

    // Event handlers, named after the control and the event they serve.
    void AANetADblClick(TComponent* sender);
    void AANetAMouseEnter(TComponent* sender);
    void AANetAMouseLeave(TComponent* sender);
    void lbl1Click(TComponent* sender);
    void lbl2MouseEnter(TComponent* sender);
    void lbl2MouseLeave(TComponent* sender);
    void netEvent1NetworkConnect(TComponent* sender, const std::wstring& adapter);
    void netEvent1NetworkDisconnect(TComponent* sender, const std::wstring& adapter);
    void Timer1Timer(TComponent* sender);
    void ShowWindow1Click(TComponent* sender);
    void HideWindow1Click(TComponent* sender);
    void Exit1Click(TComponent* sender);
    void TrayIcon1Startup(TComponent* sender, bool& showMainForm);

    TImage* img1;
    TLabel* lbl1;
    TAALabel* AANetA;
    TAALabel* AANetB;
    TTimer* Timer1;
    TImageList* il1;
    TPopupMenu* pm1;
    TMenuItem* ShowWindow1;
    TMenuItem* HideWindow1;
    TMenuItem* N2;
    TMenuItem* Exit1;
    TTrayIcon* TrayIcon1;
    TWmiConnection* WmiConnection1;
    TWmiQuery* WmiQuery1;
    TWmiQuery* wqConfigurations;
    TWmiQuery* wqAdapters;
    TWmiMethod* WmiMethod1;
    TWmiSystemEvents* netEvent1;
    // What a reconnect does; tests set its clock and its probe's times.
    TAutoSwitch& AutoSwitch() { return FAutoSwitch; }
    // Whether an installed service answered at start: it then switches, for any user, and
    // watches the network; this window shows what it does.
    bool Served() const { return FServed; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool CloseQuery() override { return FormCloseQuery(); }

private:
    void FormCreate();
    bool FormCloseQuery();
    TAALabel* CreateProfileLabel(const std::wstring& caption, int top);
    void CreateTrayIcon();
    void UpdateTrayHint();
    void OfferElevatedRestart(const std::wstring& profile);
    void EndAfterHandOver();
    // SwitchTo's work; learn: the profile's network is asked afterwards and remembered.
    int64_t RunSwitch(const std::wstring& profile, bool learn);
    // The same through the service.
    int64_t RunServiceSwitch(const std::wstring& profile);
    // What the user is told of a switch's result, and the labels; answers its code.
    int64_t ShowSwitchResult(const std::wstring& profile, const TSwitchResult& result);
    // A change the service published: its state shown, and what it did by itself told.
    void ServiceChanged(const TServiceState& state);
    std::wstring ShownProfileName(const std::wstring& profile, const std::wstring& fallback) const;
    bool MayAutoSwitch() const;
    void AutoSwitched(const std::wstring& profile, bool found);

    const bool FSimulated;
    bool FShuttingDown = false;
    bool FHideOnClose = true;
    bool FSwitching = false;
    // "网络未变" in the tool tip after a reconnect that came back to the active network.
    bool FNetworkUnchanged = false;
    TAutoSwitch FAutoSwitch;
    TServiceLink FService;
    bool FServed = false;
    // The service's state as it last answered.
    TServiceState FServiceState;
    // The profile MarkActive showed last: "A", "B", or none.
    std::wstring FMarkedProfile;
    std::wstring FCopyToStart;
};
