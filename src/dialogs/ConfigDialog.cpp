#include "dialogs/ConfigDialog.h"

#include "core/ProgramFolder.h"
#include "core/Settings.h"
#include "core/SettingsTransfer.h"
#include "core/StartupTask.h"
#include "core/WmiEngine.h"
#include "core/WmiAdapters.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/AdapterItem.h"
#include "framework/Application.h"
#include "framework/DialogLook.h"
#include "framework/Strings.h"

TfrmConfig::TfrmConfig(TComponent* owner) : TForm(owner) {
    // The connection comes before the method that stands on the query, so a connection that
    // fails leaves the method set up all the same.
    WmiConnection1 = Own<TWmiConnection>();
    WmiConnection1->SetNameSpace(L"root\\cimv2");
    wqConfigurations = Own<TWmiQuery>();
    wqConfigurations->SetConnection(WmiConnection1);
    wqConfigurations->SetWQL(
        {L"select * from Win32_NetworkAdapterConfiguration", L"where IPEnabled = true"});
    wqConfigurations->SetIrregularView(false);
    dsConfigurations = Own<TDataSource>();
    dsConfigurations->SetDataSet(wqConfigurations);
    wqAdapters = Own<TWmiQuery>();
    wqAdapters->SetConnection(WmiConnection1);
    wqAdapters->SetWQL(
        {L"select * from Win32_NetworkAdapter", L"where AdapterType = 'Ethernet 802.3'"});
    wqAdapters->SetIrregularView(false);
    WmiMethod1 = Own<TWmiMethod>();
    WmiMethod1->SetWmiObjectSource(wqConfigurations);

    OnCreate = [this] {
        CreateControls();
        FormCreate();
    };
    // The client area of the designed 548 x 411 window in classic frames: a thicker frame must
    // not eat into the layout.
    CreateDialogHandle(L"配置", {540, 384}, {401, 219});
}

TDBEdit* TfrmConfig::FieldEdit(const std::wstring& field, int top) {
    auto* edit =
        Own<TDBEdit>(pnl2->Handle(),
                     RECT{Scale(105), Scale(top), Scale(105 + 151), Scale(top + 21)}, FFont.Get());
    edit->SetDataSource(dsConfigurations);
    edit->SetDataField(field);
    return edit;
}

void TfrmConfig::CreateControls() {
    FFont.Reset(DialogFont(Scale(11), FW_NORMAL));
    FEditFont.Reset(DialogFont(Scale(12), FW_BOLD));
    HFONT font = FFont.Get();
    SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    const auto box = [this](int l, int t, int w, int h) {
        return RECT{Scale(l), Scale(t), Scale(l + w), Scale(t + h)};
    };
    const auto at = [this](int l, int t) { return POINT{Scale(l), Scale(t)}; };

    pgcNet1 = Own<TTabControl>(Handle(), box(0, 0, 540, 337), font);
    pgcNet1->SetAlign(alTop);
    ts1 = pgcNet1->AddPage(L"常规");
    tsTabDates = pgcNet1->AddPage(L"内网 IP 参数");
    ts2 = pgcNet1->AddPage(L"外网 IP 参数");
    for (TPanel* page : {ts1, tsTabDates, ts2})
        SendMessageW(page->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    pnl1 = Own<TPanel>(ts1->Handle(), box(0, 0, 0, 89));
    pnl1->SetAlign(alTop);
    chkAutoRun = Own<TCheckBox>(pnl1->Handle(), L"开机时自动运行", box(18, 20, 159, 17), font);
    chkAutoSwitch =
        Own<TCheckBox>(pnl1->Handle(), L"网络切换时IP自动切换", box(18, 48, 167, 17), font);
    pnl2 = Own<TPanel>(ts1->Handle(), RECT{});
    pnl2->SetAlign(alClient);
    lblNetworkAdapter = Own<TStaticText>(pnl2->Handle(), L"网 卡:", at(39, 9), font);
    cmbAdapters = Own<TComboBox>(pnl2->Handle(), box(105, 7, 240, 21), font);
    cmbAdapters->OnChange = [this](TComponent* s) { cmbAdaptersChange(s); };
    chkOnlyAdapter = Own<TCheckBox>(pnl2->Handle(), L"只切换此网卡", box(355, 9, 110, 17), font);
    bvl1 = Own<TBevel>(pnl2->Handle(), box(-25, 35, 455, 2));
    lblMACAddress = Own<TStaticText>(pnl2->Handle(), L"网卡 地址:", at(31, 45), font);
    dbedtMACAddress = FieldEdit(L"MACAddress", 41);
    lbl1 = Own<TStaticText>(pnl2->Handle(), L"IP 地址:", at(31, 74), font);
    dbedtIPAddress = FieldEdit(L"IPAddress", 71);
    lblIPSubnet = Own<TStaticText>(pnl2->Handle(), L"子网掩码:", at(31, 104), font);
    dbedtIPSubnet = FieldEdit(L"IPSubnet", 102);
    lblDeafultIPGateway = Own<TStaticText>(pnl2->Handle(), L"默认网关:", at(31, 130), font);
    dbedtDeafultIPGateway = FieldEdit(L"DefaultIPGateway", 128);
    lbl2 = Own<TStaticText>(pnl2->Handle(), L"DNS:", at(31, 156), font);
    dbedtDNSPrimaryDomain = FieldEdit(L"DNSServerSearchOrder", 154);
    lblNoWiredAdapter = Own<TStaticText>(
        pnl2->Handle(),
        L"未找到有线网卡：请插入网卡后重新打开“参数设置”，否则切换时没有可更改的网卡。",
        at(31, 186), font);
    lblNoWiredAdapter->SetVisible(false);

    // No default and no cancel button: Enter and Esc do nothing here.
    btnOK = Own<TButton>(Handle(), L"确定", box(232, 344, 65, 25), font);
    btnOK->OnClick = [this](TComponent* s) { btnOKClick(s); };
    btnCancle = Own<TButton>(Handle(), L"取消", box(320, 344, 75, 25), font);
    btnCancle->OnClick = [this](TComponent* s) { btnCancleClick(s); };
    btn3 = Own<TButton>(Handle(), L"关于(&A)", box(38, 346, 75, 25), font);
    SetAboutGlyph();
    btn3->OnClick = [this](TComponent* s) { btn3Click(s); };
}

void TfrmConfig::SetAboutGlyph() {
    const int glyph = Scale(16);
    // A shared system icon: nothing to release.
    SendMessageW(btn3->Handle(), BM_SETIMAGE, IMAGE_ICON,
                 reinterpret_cast<LPARAM>(
                     LoadImageW(nullptr, IDI_QUESTION, IMAGE_ICON, glyph, glyph, LR_SHARED)));
}

void TfrmConfig::FormCreate() {
    // The dialog opens all the same, without the adapter view; the profiles stay editable.
    try {
        Attempt(L"无法连接到 WMI 服务。", [this] { WmiConnection1->SetConnected(true); });
        Attempt(L"无法读取网卡列表。", [this] { FillAdapterList(); });
    } catch (...) {
        DisableAdapterView();
        throw;
    }
}

void TfrmConfig::CreateEditors() {
    frmIPSetA = Own<TfrmIPSet>(tsTabDates->Handle(), Dpi(), FFont.Get(), FEditFont.Get());
    frmIPSetA->SetSection(L"A");
    frmIPSetB = Own<TfrmIPSet>(ts2->Handle(), Dpi(), FFont.Get(), FEditFont.Get());
    frmIPSetB->SetSection(L"B");
}

void TfrmConfig::LoadOptions() {
    // What Windows will do at logon, whatever Config.ini recorded: an installed tray's Run
    // value, or this copy's logon task of an earlier version.
    FAutoRunInPlace = Saving.SaveElevated ? Saving.TrayAtLogon : AutoRunInPlace();
    chkAutoRun->SetChecked(FAutoRunInPlace);
    chkAutoSwitch->SetChecked(AutoSwitchOn());
    // The dialog opens on the adapter the switch is limited to, so that "确定" keeps the limit.
    // A first run limits it to the physical wired adapter, its cable in or not: Wi-Fi and
    // virtual adapters are IP-enabled too, and one address on all of them would break their
    // networks. So does an adapter remembered that is gone (a new one in its place).
    FStoredAdapter = ReadSwitchOptions().Adapter;
    std::wstring adapter = FStoredAdapter.Index;
    for (const TAdapterChoice& present : FAdapterChoices)
        if (!FStoredAdapter.Guid.empty() && SameText(present.Guid, FStoredAdapter.Guid))
            adapter = FStoredAdapter.Index = present.Index;
    const bool firstRun =
        GetFileAttributesW(ConfigIni().FileName().c_str()) == INVALID_FILE_ATTRIBUTES;
    const bool gone = FStoredAdapter.Named() && ChoiceOf(adapter).Index.empty();
    if ((firstRun || gone) && cmbAdapters->Enabled()) adapter = WiredAdapterToOffer();
    for (int i = 0; !adapter.empty() && i < cmbAdapters->Count(); ++i) {
        if (AdapterOfItem(cmbAdapters->Item(i)) == adapter) {
            cmbAdapters->SetItemIndex(i);
            cmbAdaptersChange(cmbAdapters);
            chkOnlyAdapter->SetChecked(true);
            break;
        }
    }
    frmIPSetA->LoadProfile();
    frmIPSetB->LoadProfile();
}

std::wstring TfrmConfig::WiredAdapterToOffer() {
    try {
        const std::wstring index = WiredAdapterIndex();
        lblNoWiredAdapter->SetVisible(index.empty());
        return index;
    } catch (const std::exception&) {
        // Not told which is wired: nothing is preselected.
        return {};
    }
}

TAdapterChoice TfrmConfig::ChoiceOf(const std::wstring& index) const {
    for (const TAdapterChoice& choice : FAdapterChoices)
        if (choice.Index == index) return choice;
    return {};
}

void TfrmConfig::FillAdapterList() {
    // What a switch knows of each adapter, GUID and description among it.
    FAdapterChoices.clear();
    for (const TSwitchTarget& adapter : IpEnabledAdapters(WmiConnection1->GetWmiServices().Get()))
        FAdapterChoices.push_back(adapter.Choice());
    wqConfigurations->Close();
    wqConfigurations->Open();
    wqAdapters->Close();
    wqAdapters->Open();
    const int remembered = cmbAdapters->ItemIndex();
    cmbAdapters->Clear();
    {
        // The read-only fields must not follow the searches below.
        wqConfigurations->DisableControls();
        const ScopeExit resume([this] { wqConfigurations->EnableControls(); });
        const bool anyConfiguration = !(wqConfigurations->Bof() && wqConfigurations->Eof());
        for (wqAdapters->First(); !wqAdapters->Eof(); wqAdapters->Next()) {
            const std::wstring index = wqAdapters->FieldByName(L"Index")->AsString();
            if (anyConfiguration &&
                wqConfigurations->Locate(L"Index", ScopedVariant(index).Get()) &&
                wqConfigurations->FieldByName(L"IPEnabled")->AsBoolean())
                cmbAdapters->Add(
                    AdapterItemText(index, wqAdapters->FieldByName(L"Description")->AsString()));
        }
    }
    // Adapter names are long: the open list shows them whole.
    cmbAdapters->FitDroppedWidth();
    if (remembered != -1 && remembered < cmbAdapters->Count())
        cmbAdapters->SetItemIndex(remembered);
    else if (cmbAdapters->Count() > 0)
        cmbAdapters->SetItemIndex(0);
    else
        DisableAdapterView();
    cmbAdaptersChange(cmbAdapters);
}

void TfrmConfig::DisableAdapterView() {
    wqConfigurations->Close();
    wqAdapters->Close();
    WmiConnection1->SetConnected(false);
    cmbAdapters->SetEnabled(false);
    chkOnlyAdapter->SetEnabled(false);
}

std::wstring TfrmConfig::SelectedAdapter() const {
    if (cmbAdapters->ItemIndex() < 0) return {};
    return AdapterOfItem(cmbAdapters->Item(cmbAdapters->ItemIndex()));
}

void TfrmConfig::cmbAdaptersChange(TComponent*) {
    if (cmbAdapters->Count() == 0 || !wqConfigurations->Active()) return;
    int index = 0;
    // An item that shows no number names no row: the fields keep the row they show.
    if (cmbAdapters->ItemIndex() < 0 ||
        !AdapterItemNumber(cmbAdapters->Item(cmbAdapters->ItemIndex()), index))
        return;
    if (wqConfigurations->Bof() && wqConfigurations->Eof()) return;
    wqConfigurations->Locate(L"Index", ScopedVariant(index).Get());
}

bool TfrmConfig::ApplyAutoRun() {
    const bool autoRun = chkAutoRun->Checked();
    if (autoRun == FAutoRunInPlace) return true;
    // Started at logon, it is the installed tray, which needs no administrator to switch.
    if (autoRun) return InstallForAll();
    // Unticked: the logon task of an earlier version goes. Task Scheduler refuses a process
    // that is not elevated: said before anything is tried.
    if (!ProcessElevated()) {
        Application().MessageBox(NotElevatedCause, MB_OK | MB_ICONWARNING);
        return false;
    }
    SetAutoRun(false, Application().ExeName());
    return true;
}

bool TfrmConfig::InstallForAll() {
    const std::wstring offer =
        L"要在开机时自动运行，需要为这台计算机的所有用户安装 Tarnwick。安装后，所有用户无需"
        L"管理员即可切换 IP 设置。\n是否现在安装？";
    if (Application().MessageBox(offer, MB_YESNO | MB_ICONQUESTION) != IDYES ||
        !Saving.InstallForAll)
        return false;
    // The installed copy starts with the settings beside this one: the dialog's, saved first.
    Attempt(L"无法保存 Config.ini。", [this] { SaveSettings(); });
    FMovedTo = Saving.InstallForAll(Handle());
    return !FMovedTo.empty();
}

void TfrmConfig::SetAutoRun(bool on, const std::wstring& exe) {
    Attempt(on ? L"无法设置开机时自动运行。" : L"无法取消开机时自动运行。",
            [&] { SetAutoRunFor(on, exe); });
}

void TfrmConfig::btnOKClick(TComponent*) {
    if (Saving.SaveElevated) {
        TSettingsRecord settings;
        SaveSettings(settings);
        if (!Saving.SaveElevated(SettingsArguments(settings), Handle())) return;
        ResultText = L"OK";
        Close();
        return;
    }
    // The task first: when Windows refuses it, nothing of the dialog is saved and it stays open.
    if (!ApplyAutoRun()) return;
    Attempt(L"无法保存 Config.ini。", [this] { SaveSettings(); });
    ResultText = L"OK";
    Close();
}

void TfrmConfig::SaveSettings() {
    SaveSettings(ConfigIni());
}

void TfrmConfig::SaveSettings(TCustomIniFile& into) {
    const bool autoRun = chkAutoRun->Checked();
    frmIPSetA->SaveProfile(into);
    frmIPSetB->SaveProfile(into);
    WriteOptions(into, autoRun, chkAutoSwitch->Checked());
    // An adapter the list does not show (not "Ethernet 802.3") stays as it was.
    bool listed = false;
    for (int i = 0; i < cmbAdapters->Count(); ++i)
        listed = listed || AdapterOfItem(cmbAdapters->Item(i)) == FStoredAdapter.Index;
    const TAdapterChoice selected = ChoiceOf(SelectedAdapter());
    WriteAdapterChoice(
        into, chkOnlyAdapter->Checked()
                  ? (selected.Named() ? selected : TAdapterChoice{SelectedAdapter(), {}, {}})
              : listed ? TAdapterChoice{}
                       : FStoredAdapter);
}

void TfrmConfig::btnCancleClick(TComponent*) {
    Close();
}

void TfrmConfig::btn3Click(TComponent*) {
    ExecuteAboutDialog();
}

bool TfrmConfig::DialogKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || GetKeyState(VK_CONTROL) >= 0)
        return false;
    pgcNet1->SelectNextPage(GetKeyState(VK_SHIFT) >= 0);
    return true;
}

LRESULT TfrmConfig::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATE:
        // What a dialog box does: the focus leaves with the window and comes back with it.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(Handle(), focus)) FLastFocus = focus;
        } else if (FLastFocus && IsWindow(FLastFocus) && IsWindowVisible(FLastFocus) &&
                   IsWindowEnabled(FLastFocus)) {
            SetFocus(FLastFocus);
        } else {
            FocusFirstControl(ts1->Handle());
        }
        return 0;
    }
    return TForm::WindowProc(message, wParam, lParam);
}

std::wstring ExecuteConfigDialog(std::wstring* movedTo, const TConfigSaving& saving) {
    // Owned by the application, never its main form: closing it must not end the program.
    auto* dialog = Application().Own<TfrmConfig>();
    const ScopeExit free([dialog] { Application().Destroy(dialog); });
    dialog->ResultText.clear();
    dialog->Saving = saving;
    dialog->CreateEditors();
    dialog->LoadOptions();
    dialog->ShowModal();
    if (movedTo) *movedTo = dialog->MovedTo();
    return std::wstring(dialog->ResultText);
}
