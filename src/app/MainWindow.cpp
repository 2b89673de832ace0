#include "app/MainWindow.h"

#include "app/ProgressWindow.h"
#include "core/Settings.h"
#include "core/ProfileSwitch.h"
#include "core/ServiceInstall.h"
#include "core/ServiceNames.h"
#include "core/WmiEngine.h"
#include "dialogs/ConfigDialog.h"
#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/Strings.h"

namespace {
const COLORREF kLime = RGB(0, 255, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kGreen = RGB(0, 128, 0);
const wchar_t kAutoSwitchUnavailable[] = L"自动切换暂不可用";
const wchar_t kNetworkUnchanged[] = L"网络未变";
const wchar_t kNoGateway[] = L"但未找到该网络的网关";
const wchar_t kNoWmi[] = L"无法连接到 WMI 服务。";
const wchar_t kNotSaved[] = L"无法保存 Config.ini。";
const wchar_t kNotWatching[] = L"无法监视网络连接，自动切换暂不可用。";
const wchar_t kSwitchFailed[] = L"切换IP地址不成功，请检查你您的ip设置.\n";
const wchar_t kServiceSilent[] = L"Tarnwick 服务没有应答。";
// A switch through the service waits this long for its answer: netsh and the adapters'
// read-back take their time.
constexpr DWORD kServiceSwitchLimitMs = 120000;

std::wstring ServiceProfile(const TServiceState& state) {
    return ServiceText(state.ActiveProfile);
}
} // namespace

TfrmMainWindow::TfrmMainWindow(TComponent* owner, bool simulated,
                               const std::function<void(TfrmMainWindow&)>& prepare)
    : TForm(owner), FSimulated(simulated),
      FAutoSwitch(
          {[this] { return MayAutoSwitch(); },
           [this](const std::wstring& profile) {
               // The user must learn that the automatic switch failed, as after a
               // double click.
               int64_t code = -1;
               GuardedCall([&] { code = RunSwitch(profile, false); });
               return code;
           },
           [this](const std::wstring& profile, bool found) { AutoSwitched(profile, found); },
           [this](const std::wstring&) {
               FNetworkUnchanged = true;
               UpdateTrayHint();
           }}),
      FService(ServiceName(simulated), ServicePipeNameOf(simulated)) {
    if (prepare) prepare(*this);
    img1 = Own<TImage>(this);
    img1->SetBounds(0, 0, Scale(399), Scale(239));
    img1->SetPictureResource(L"BACKGROUND");

    // Its caption is blank: the words come from the picture beneath, the label adds the
    // underline and the click.
    lbl1 = Own<TLabel>(this);
    lbl1->SetBounds(Scale(37), Scale(24), Scale(72), Scale(16));
    lbl1->SetCaption(std::wstring(9, L' '));
    lbl1->Font().SetName(L"宋体");
    lbl1->Font().SetCharset(GB2312_CHARSET);
    lbl1->Font().SetHeight(Scale(16));
    lbl1->Font().SetColor(kGreen);
    lbl1->SetTransparent(true);
    lbl1->SetCursor(IDC_HAND);
    lbl1->OnClick = [this](TComponent* s) { lbl1Click(s); };
    lbl1->OnMouseEnter = [this](TComponent* s) { lbl2MouseEnter(s); };
    lbl1->OnMouseLeave = [this](TComponent* s) { lbl2MouseLeave(s); };

    AANetA = CreateProfileLabel(L"×内网", 85);
    AANetB = CreateProfileLabel(L"×外网", 149);

    // Connected by FormCreate, while the window is created.
    WmiConnection1 = Own<TWmiConnection>();
    WmiConnection1->SetNameSpace(L"root\\cimv2");
    WmiQuery1 = Own<TWmiQuery>();
    WmiQuery1->SetConnection(WmiConnection1);
    // Placed with the window for the adapter view; the window itself never opens them.
    wqConfigurations = Own<TWmiQuery>();
    wqConfigurations->SetConnection(WmiConnection1);
    wqConfigurations->SetWQL(
        {L"select * from Win32_NetworkAdapterConfiguration", L"where IPEnabled = true"});
    wqAdapters = Own<TWmiQuery>();
    wqAdapters->SetConnection(WmiConnection1);
    wqAdapters->SetWQL(
        {L"select * from Win32_NetworkAdapter", L"where AdapterType = 'Ethernet 802.3'"});
    WmiMethod1 = Own<TWmiMethod>();
    WmiMethod1->SetWmiObjectSource(wqConfigurations);

    Timer1 = Own<TTimer>();
    Timer1->SetEnabled(false);
    Timer1->SetInterval(1);
    Timer1->OnTimer = [this](TComponent* s) { Timer1Timer(s); };

    CreateTrayIcon();

    // Created last, so it is destroyed first: no event reaches a tray icon that is gone.
    netEvent1 = Own<TWmiSystemEvents>();
    netEvent1->SetPoolingInterval(10);
    netEvent1->SetOnNetworkConnect([this](TComponent* s, const std::wstring& adapter) {
        netEvent1NetworkConnect(s, adapter);
    });
    netEvent1->SetOnNetworkDisconnect([this](TComponent* s, const std::wstring& adapter) {
        netEvent1NetworkDisconnect(s, adapter);
    });

    OnCreate = [this] { FormCreate(); };
    TFormParams params;
    params.Caption = Application().Title();
    params.Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME;
    // Sized by the client area the picture needs, whatever frame the system draws around it.
    params.Width = 399;
    params.Height = 239;
    CreateHandle(params);
}

TfrmMainWindow::~TfrmMainWindow() {
    // The watcher stops while the reconnect handling it delivers to is still here; nothing
    // leaves a destructor.
    netEvent1->OnWatchingChange = nullptr;
    try {
        netEvent1->SetActive(false);
    } catch (...) {
    }
}

TAALabel* TfrmMainWindow::CreateProfileLabel(const std::wstring& caption, int top) {
    auto* label = Own<TAALabel>(this);
    // Positions and the font follow the DPI; the shadow's offsets and blur stay in pixels.
    label->SetBounds(Scale(143), Scale(top), Scale(113), Scale(39));
    label->SetCaption(caption);
    label->Font().SetName(L"黑体");
    label->Font().SetCharset(GB2312_CHARSET);
    label->Font().SetHeight(Scale(37));
    label->Font().SetColor(kLime);
    label->Effect().SetTransparent(true);
    TAAEffect& effect = label->Effect().FontEffect();
    effect.Shadow().SetEnabled(true);
    effect.Shadow().SetBlur(100);
    effect.Shadow().SetColor(RGB(0, 0, 0));
    // Stored with the label but switched off: the text takes the font colour.
    effect.Gradual().SetStyle(gsTopToBottom);
    effect.Gradual().SetStartColor(kLime);
    effect.Gradual().SetEndColor(kLime);
    effect.SetOutline(true);
    label->ParentEffect().SetParentFont(false);
    label->ParentEffect().SetParentShowHint(false);
    label->SetShowHint(true);
    label->SetHint(L"双击切换");
    label->SetCursor(IDC_HAND);
    label->OnDblClick = [this](TComponent* s) { AANetADblClick(s); };
    label->OnMouseEnter = [this](TComponent* s) { AANetAMouseEnter(s); };
    label->OnMouseLeave = [this](TComponent* s) { AANetAMouseLeave(s); };
    return label;
}

void TfrmMainWindow::CreateTrayIcon() {
    const HINSTANCE instance = Application().Instance();
    // The frames are drawn for each scale: the notification area shows them unstretched.
    // After a change of scale, the tray icon loads them again at the new size.
    il1 = Own<TImageList>(SmallIconSize(), SmallIconSize());
    std::vector<std::wstring> frames;
    for (int i = 0; i < 8; ++i)
        frames.push_back(L"TRAY" + std::to_wstring(i));
    il1->AddIconResources(instance, frames);

    pm1 = Own<TPopupMenu>();
    ShowWindow1 = pm1->Add(L"打开窗口", [this](TComponent* s) { ShowWindow1Click(s); });
    ShowWindow1->SetDefault(true);
    HideWindow1 = pm1->Add(L"隐藏窗口", [this](TComponent* s) { HideWindow1Click(s); });
    N2 = pm1->Add(L"-");
    Exit1 = pm1->Add(L"退出", [this](TComponent* s) { Exit1Click(s); });

    TrayIcon1 = Own<TTrayIcon>();
    TrayIcon1->SetIconList(il1);
    TrayIcon1->SetCycleInterval(400);
    TrayIcon1->SetCycleIcons(true);
    TrayIcon1->SetHint(Application().Title());
    const ScopedIcon icon(LoadSmallIcon(instance, MAKEINTRESOURCEW(1)));
    TrayIcon1->SetIcon(icon.Get());
    TrayIcon1->SetIconVisible(true);
    TrayIcon1->SetIconIndex(0);
    TrayIcon1->SetPopupMenu(pm1);
    TrayIcon1->SetWantEnterExitEvents(true);
    TrayIcon1->SetMinimizeToTray(true);
    TrayIcon1->OnStartup = [this](TComponent* s, bool& show) { TrayIcon1Startup(s, show); };
}

void TfrmMainWindow::FormCreate() {
    // Installed, the service switches and watches the network; the window shows what it does.
    if (const std::optional<TServiceState> state = FService.Ask(TServiceRequestKind::State, 2000)) {
        FServed = true;
        FServiceState = *state;
        FService.Listen(
            [this](const TServiceState& s) { GuardedCall([&] { ServiceChanged(s); }); });
    }
    // WMI that cannot be reached yet (a start with Windows before its service runs) must not
    // keep the window from existing. The watcher tries again by itself, and the tray tip says
    // so meanwhile; for the rest one error box says so, and the first switch connects.
    try {
        if (!FServed) netEvent1->SetActive(true);
    } catch (...) {
    }
    GuardedCall([this] { Attempt(kNoWmi, [this] { WmiConnection1->SetConnected(true); }); });
    // The store comes first: every later step, and every action after a failed step, uses it.
    OpenSettings();
    netEvent1->OnWatchingChange = [this](TComponent*) { UpdateTrayHint(); };
    UpdateTrayHint();
    FHideOnClose = true;
    // Nobody may take a simulated switch for a real one. Only the window says so: message
    // boxes, the tray hint and the Run value keep the plain title.
    SetCaption(FSimulated ? Application().Title() + L" - 模拟" : Application().Title());
    // A step that fails is reported by the standard error box, and start-up goes on.
    GuardedCall([this] {
        const std::wstring active = FServed ? ServiceProfile(FServiceState) : ActiveProfile();
        if (active.empty() && !FServed) {
            Application().MessageBox(L"初次运行，需要设置您的IP地址！");
            lbl1Click(this);
        } else {
            GuardedCall([&] { MarkActive(active); });
            UpdateTrayHint();
            // Hides the window at the first pass of the message loop.
            Timer1->SetEnabled(true);
        }
    });
}

int64_t TfrmMainWindow::SwitchTo(const std::wstring& profile) {
    return RunSwitch(profile, true);
}

int64_t TfrmMainWindow::RunSwitch(const std::wstring& profile, bool learn) {
    // A damaged NET/NET ("X", "a") names no profile: its empty section would turn DHCP on for
    // every adapter.
    if (FSwitching || (profile != L"A" && profile != L"B")) return -1;
    if (FServed) return RunServiceSwitch(profile);
    // Asked before, not after: without elevation every adapter refuses the change.
    if (!ProcessElevated()) {
        OfferElevatedRestart(profile);
        return AccessDenied; // what every adapter would answer
    }
    FSwitching = true;
    const ScopeExit reset([this] { FSwitching = false; });

    const std::wstring name = ProfileName(profile);
    ShowProgressMessage(L"正在切换到" + name + L",请稍后...");
    TSwitchResult result;
    try {
        result = SwitchProfile(profile);
    } catch (...) {
        // The error box must not sit under a progress window that nobody closes.
        CloseProgress();
        throw;
    }
    CloseProgress();
    if (!result.Failed) {
        // Written only when it changes: a Config.ini the user may not write then raises
        // nothing.
        if (ActiveProfile() != profile) Attempt(kNotSaved, [&] { WriteActiveProfile(profile); });
        // The network this profile is for, as it answers now: a later reconnect knows it again.
        if (learn) FAutoSwitch.Learn(profile, result.AdapterGuid);
    }
    return ShowSwitchResult(profile, result);
}

int64_t TfrmMainWindow::RunServiceSwitch(const std::wstring& profile) {
    FSwitching = true;
    const ScopeExit reset([this] { FSwitching = false; });
    // The service decides what it does for whom: no prompt, whoever asks.
    ShowProgressMessage(L"正在切换到" + ShownProfileName(profile, profile) + L",请稍后...");
    const std::optional<TServiceState> answer = FService.AskDispatching(
        profile == L"A" ? TServiceRequestKind::SwitchToA : TServiceRequestKind::SwitchToB,
        kServiceSwitchLimitMs);
    CloseProgress();
    if (!answer) return ShowSwitchResult(profile, TSwitchResult::Failure(-1, kServiceSilent));
    FServiceState = *answer;
    return ShowSwitchResult(profile, ServiceResult(*answer));
}

int64_t TfrmMainWindow::ShowSwitchResult(const std::wstring& profile, const TSwitchResult& result) {
    if (result.Failed) {
        // The first line alone would send the user to check settings that may well be right.
        Application().MessageBox(kSwitchFailed + result.Cause);
        return result.Code;
    }
    MarkActive(profile);
    // Applied all the same: the adapters take it when the computer restarts.
    if (result.RestartNeeded()) Application().MessageBox(L"IP地址已切换，重新启动计算机后生效。");
    // Or when the cable comes back.
    if (!result.Note.empty()) Application().MessageBox(result.Note, MB_OK | MB_ICONINFORMATION);
    return 0;
}

void TfrmMainWindow::ServiceChanged(const TServiceState& state) {
    FServiceState = state;
    MarkActive(ServiceProfile(state));
    const auto change = static_cast<TServiceChange>(state.Change);
    if (change == TServiceChange::Unchanged) FNetworkUnchanged = true;
    UpdateTrayHint();
    if (change != TServiceChange::AutoSwitched && change != TServiceChange::AutoSwitchedNoGateway)
        return;
    // A failed automatic switch is told as the tray's own would be.
    const TSwitchResult result = ServiceResult(state);
    if (result.Failed || result.Code != 0) {
        ShowSwitchResult(ServiceProfile(state), result);
        return;
    }
    AutoSwitched(ServiceProfile(state), change == TServiceChange::AutoSwitched);
}

std::wstring TfrmMainWindow::ShownProfileName(const std::wstring& profile,
                                              const std::wstring& fallback) const {
    if (!FServed) return ProfileName(profile, fallback);
    const std::wstring name =
        ServiceText(profile == L"B" ? FServiceState.NameB : FServiceState.NameA);
    return name.empty() ? fallback : name;
}

void TfrmMainWindow::OfferElevatedRestart(const std::wstring& profile) {
    const std::wstring offer = std::wstring(NotElevatedCause) +
                               L"\n是否以管理员身份重新启动 Tarnwick，并切换到“" +
                               ShownProfileName(profile, profile) + L"”？";
    if (Application().MessageBox(offer, MB_YESNO | MB_ICONWARNING) != IDYES) return;
    // A refused or cancelled prompt changes nothing and says nothing more.
    if (!OnRestartElevated || !OnRestartElevated(profile, Handle())) return;
    EndAfterHandOver();
}

void TfrmMainWindow::EndAfterHandOver() {
    // Another copy has taken over: this one ends, as by "退出".
    FHideOnClose = false;
    PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

bool TfrmMainWindow::StartCopyIfMade() {
    if (FCopyToStart.empty() || !OnStartCopy) return false;
    if (!OnStartCopy(std::exchange(FCopyToStart, L""))) return false;
    EndAfterHandOver();
    return true;
}

void TfrmMainWindow::BringToFront() {
    TrayIcon1->ShowMainWindow();
    SetForegroundWindow(Handle());
}

void TfrmMainWindow::MarkActive(const std::wstring& profile) {
    for (TAALabel* label : {AANetA, AANetB}) {
        label->Font().SetColor(kWhite);
        std::wstring caption = label->Caption();
        ReplaceFirst(caption, L"√", L"×");
        label->SetCaption(caption);
    }
    TAALabel* active = profile == L"B" ? AANetB : profile == L"A" ? AANetA : nullptr;
    if (!active) return;
    active->Font().SetColor(kLime);
    std::wstring caption = active->Caption();
    ReplaceFirst(caption, L"×", L"√");
    active->SetCaption(caption);
    FMarkedProfile = profile;
    FNetworkUnchanged = false;
    UpdateTrayHint();
}

std::wstring TfrmMainWindow::TrayHint() const {
    std::wstring hint = FMarkedProfile.empty()
                            ? Application().Title()
                            : ShownProfileName(FMarkedProfile, Application().Title());
    // Unelevated, a portable copy cannot read the media events: only administrators may.
    const bool watched =
        FServed ? FServiceState.NetworkWatched != 0 : ProcessElevated() && netEvent1->Watching();
    if (!watched && AutoSwitchOn())
        hint += std::wstring(L"\n") + kAutoSwitchUnavailable;
    else if (FNetworkUnchanged)
        hint += std::wstring(L"\n") + kNetworkUnchanged;
    return hint;
}

void TfrmMainWindow::UpdateTrayHint() {
    TrayIcon1->SetHint(TrayHint());
}

int64_t TfrmMainWindow::ToggleProfile() {
    const std::wstring active = FServed ? ServiceProfile(FServiceState) : ActiveProfile();
    if (active == L"A") return SwitchTo(L"B");
    if (active == L"B") return SwitchTo(L"A");
    return -1;
}

void TfrmMainWindow::AANetADblClick(TComponent* sender) {
    if (sender == AANetA)
        SwitchTo(L"A");
    else if (sender == AANetB)
        SwitchTo(L"B");
}

void TfrmMainWindow::AANetAMouseEnter(TComponent* sender) {
    auto* label = static_cast<TAALabel*>(sender);
    label->Font().SetStyle(label->Font().Style() | fsUnderline);
    label->Font().SetColor(kLime);
}

void TfrmMainWindow::AANetAMouseLeave(TComponent* sender) {
    auto* label = static_cast<TAALabel*>(sender);
    label->Font().SetStyle(label->Font().Style() & ~fsUnderline);
    // The active label stays lime.
    if (label->Caption().find(L"√") == std::wstring::npos) label->Font().SetColor(kWhite);
}

void TfrmMainWindow::lbl1Click(TComponent*) {
    // Like a double click, refused during a switch: netsh's message pass would otherwise open
    // the dialog inside the switch, beneath the topmost progress window.
    if (FSwitching) return;
    std::wstring copy;
    // Installed, the settings are the administrator's: saved through an elevated copy (with no
    // prompt when this one is elevated). Not installed, start with Windows is an install.
    TConfigSaving saving;
    if (FServed) {
        saving.SaveElevated = OnSaveSettingsElevated;
        saving.TrayAtLogon = TrayStartsAtLogon(InstallationOf(FSimulated, {}));
    } else {
        saving.InstallForAll = OnInstallForAll;
    }
    if (ExecuteConfigDialog(&copy, saving).empty()) return;
    // The copy made in the program folders to start at logon takes over now.
    FCopyToStart = copy;
    if (StartCopyIfMade()) return;
    // "网络切换时IP自动切换" may have changed: asked for now, the user learns at once when the
    // network cannot be watched (at start the watcher's retries stay silent).
    if (AutoSwitchOn() && !netEvent1->Watching() && !FServed)
        GuardedCall([this] { Attempt(kNotWatching, [this] { netEvent1->SetActive(true); }); });
    UpdateTrayHint();
    // Edited settings of the active profile take effect at once.
    const std::wstring active = FServed ? ServiceProfile(FServiceState) : ActiveProfile();
    if (!active.empty()) SwitchTo(active);
}

void TfrmMainWindow::lbl2MouseEnter(TComponent*) {
    lbl1->Font().SetStyle(lbl1->Font().Style() | fsUnderline);
}

void TfrmMainWindow::lbl2MouseLeave(TComponent*) {
    lbl1->Font().SetStyle(lbl1->Font().Style() & ~fsUnderline);
}

void TfrmMainWindow::netEvent1NetworkDisconnect(TComponent*, const std::wstring& adapter) {
    FAutoSwitch.Disconnected(adapter);
}

void TfrmMainWindow::netEvent1NetworkConnect(TComponent*, const std::wstring& adapter) {
    FAutoSwitch.Connected(adapter);
}

bool TfrmMainWindow::MayAutoSwitch() const {
    // Once the program is ending, nothing new starts; a connect during a switch starts no
    // second one. Unticked, "网络切换时IP自动切换" leaves every reconnect alone. Installed, the
    // service switches once for the machine.
    return FHideOnClose && !FShuttingDown && !FSwitching && !FServed && AutoSwitchOn();
}

void TfrmMainWindow::AutoSwitched(const std::wstring& profile, bool found) {
    std::wstring text = L"网络切换到：\r" + ShownProfileName(profile, {});
    if (!found) text += std::wstring(L"\r") + kNoGateway;
    TrayIcon1->ShowBalloonHint(L"提示", text, TBalloonIconKind::Info, 10);
}

void TfrmMainWindow::Timer1Timer(TComponent*) {
    Timer1->SetEnabled(false);
    HideWindow1Click(this);
}

void TfrmMainWindow::ShowWindow1Click(TComponent*) {
    TrayIcon1->ShowMainWindow();
}

void TfrmMainWindow::HideWindow1Click(TComponent*) {
    // The main window is the one that carries the taskbar button: hiding it is the whole of
    // going to the tray, with no minimise in between, so it comes back where it was.
    TrayIcon1->HideMainWindow();
}

void TfrmMainWindow::TrayIcon1Startup(TComponent*, bool&) {
    // The window shows when the message loop starts; Timer1 hides an ordinary start.
}

void TfrmMainWindow::Exit1Click(TComponent*) {
    FHideOnClose = false;
    Close();
}

bool TfrmMainWindow::FormCloseQuery() {
    if (!FHideOnClose || FShuttingDown) return true;
    TrayIcon1->HideMainWindow();
    TrayIcon1->SetIconVisible(true);
    return false;
}

LRESULT TfrmMainWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYENDSESSION) {
        FShuttingDown = true;
        return 1;
    }
    // The session ends: every message loop ends, a dialog's too, and with it the program; what
    // a dialog held unconfirmed is not saved. Windows ends the process anyway once this
    // returns; leaving by the loops makes that orderly where it does not.
    if (message == WM_ENDSESSION && wParam) PostQuitMessage(0);
    // Another program cancelled the log-off: closing hides the window again.
    if (message == WM_ENDSESSION && !wParam) FShuttingDown = false;
    // The computer goes to sleep: the links that drop and return around it are judged as such.
    if (message == WM_POWERBROADCAST && wParam == PBT_APMSUSPEND) FAutoSwitch.Suspending();
    // The watcher stops before anything of the window goes.
    if (message == WM_DESTROY) {
        netEvent1->OnWatchingChange = nullptr;
        netEvent1->SetActive(false);
    }
    return TForm::WindowProc(message, wParam, lParam);
}
