#include "dialogs/IPSet.h"

#include "core/ProfileCheck.h"
#include "core/Settings.h"
#include "framework/Dpi.h"

TfrmIPSet::TfrmIPSet(TComponent* owner, HWND page, int dpi, HFONT font, HFONT editFont)
    : TPanel(owner, page, RECT{}) {
    const auto s = [dpi](int v) { return ScaleForDpi(v, dpi); };
    const auto box = [&](int l, int t, int w, int h) {
        return RECT{s(l), s(t), s(l + w), s(t + h)};
    };
    const auto at = [&](int l, int t) { return POINT{s(l), s(t)}; };
    HWND frame = Handle();
    SendMessageW(frame, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    // Children are made in tab order, which is also their stacking order: the lower panel
    // comes first, and each group box's edits before its radio buttons.
    pnl4 = Own<TPanel>(frame, RECT{});
    pnl4->SetAlign(alClient);
    pnl3 = Own<TPanel>(frame, box(0, 0, 0, 130));
    pnl3->SetAlign(alTop);
    SendMessageW(pnl3->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageW(pnl4->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    grpAIP = Own<TPanel>(pnl3->Handle(), box(15, 34, 345, 86));
    grpAIP->SetFramed(true);
    grpAIP->SetGroupStart(true);
    lbl3 = Own<TStaticText>(grpAIP->Handle(), L"IP  地址：", at(16, 24), font);
    lbl4 = Own<TStaticText>(grpAIP->Handle(), L"子网掩码：", at(16, 44), font);
    lbl5 = Own<TStaticText>(grpAIP->Handle(), L"默认网关：", at(16, 64), font);
    edtAIP = Own<TEdit>(grpAIP->Handle(), box(160, 14, 129, 21), editFont);
    edtAMask = Own<TEdit>(grpAIP->Handle(), box(160, 37, 129, 21), editFont);
    edtAGate = Own<TEdit>(grpAIP->Handle(), box(160, 60, 129, 21), editFont);
    rbAStatic =
        Own<TRadioButton>(pnl3->Handle(), L"使用下面的 IP 地址", box(24, 30, 137, 17), font);
    rbAStatic->SetGroupStart(true);
    rbADhcp = Own<TRadioButton>(pnl3->Handle(), L"自动获得 IP 地址", box(24, 9, 121, 17), font);
    grpAIP->SetTitleControl(rbAStatic);

    rbADNSDhcp =
        Own<TRadioButton>(pnl4->Handle(), L"自动获得 DNS 服务器地址", box(28, 9, 189, 17), font);
    rbADNSDhcp->SetGroupStart(true);
    rbADNSStatic =
        Own<TRadioButton>(pnl4->Handle(), L"使用下面的 DNS 服务器地址", box(29, 37, 196, 17), font);
    grpADNS = Own<TPanel>(pnl4->Handle(), box(19, 40, 337, 71));
    grpADNS->SetFramed(true);
    grpADNS->SetGroupStart(true);
    lbl6 = Own<TStaticText>(grpADNS->Handle(), L"首选 DNS 服务器地址：", at(16, 27), font);
    lbl7 = Own<TStaticText>(grpADNS->Handle(), L"备用 DNS 服务器地址：", at(17, 47), font);
    edtADNS1 = Own<TEdit>(grpADNS->Handle(), box(160, 22, 129, 21), editFont);
    edtADNS2 = Own<TEdit>(grpADNS->Handle(), box(160, 46, 129, 21), editFont);
    grpADNS->SetTitleControl(rbADNSStatic);
    rbADhcp->OnClick = [this](TComponent* s) { rbADhcpClick(s); };
    rbAStatic->OnClick = [this](TComponent* s) { rbAStaticClick(s); };
    rbADNSDhcp->OnClick = [this](TComponent* s) { rbADNSDhcpClick(s); };
    rbADNSStatic->OnClick = [this](TComponent* s) { rbADNSStaticClick(s); };
    edtAIP->OnExit = [this](TComponent* s) { edtAIPExit(s); };

    // Fills the page.
    SetAlign(alClient);
}

void TfrmIPSet::Select(TRadioButton* button) {
    if (button->Checked()) return;
    button->SetChecked(true);
    if (button->OnClick) button->OnClick(button);
}

void TfrmIPSet::rbADhcpClick(TComponent*) {
    grpAIP->SetEnabled(false);
    SyncGroupEnabled(grpAIP);
    rbADNSDhcp->SetEnabled(true);
}

void TfrmIPSet::rbAStaticClick(TComponent*) {
    grpAIP->SetEnabled(true);
    SyncGroupEnabled(grpAIP);
    // A given address goes with given DNS servers.
    rbADNSDhcp->SetEnabled(false);
    rbADNSStaticClick(rbADNSStatic);
    Select(rbADNSStatic);
}

void TfrmIPSet::rbADNSDhcpClick(TComponent*) {
    grpADNS->SetEnabled(false);
    SyncGroupEnabled(grpADNS);
}

void TfrmIPSet::rbADNSStaticClick(TComponent*) {
    grpADNS->SetEnabled(true);
    SyncGroupEnabled(grpADNS);
}

void TfrmIPSet::edtAIPExit(TComponent*) {
    // Only a mask nobody typed is filled in: a typed one (a 16-bit mask, say) stays.
    if (!edtAMask->Text().empty()) return;
    edtAMask->SetText(DefaultMask);
    // Tab may be moving into the mask right now, its text selected before it was filled: the
    // filled mask is selected, so what the user types next replaces it.
    SendMessageW(edtAMask->Handle(), EM_SETSEL, 0, -1);
}

void TfrmIPSet::LoadProfile() {
    const TIpProfile profile = ReadProfile(FSection);
    if (profile.DHCPEnabled) {
        rbADhcpClick(this);
        Select(rbADhcp);
    } else {
        edtAIP->SetText(profile.IPAddress);
        edtAMask->SetText(profile.IPSubnet);
        edtAGate->SetText(profile.DefaultIPGateway);
        rbAStaticClick(this);
        Select(rbAStatic);
    }
    // Selected without its handler's side effects on the address: rbADNSDhcp keeps whatever
    // enabled state the address choice gave it.
    rbADNSDhcp->SetChecked(true);
    rbADNSDhcpClick(this);
    if (profile.DNSEnabled) return;
    edtADNS1->SetText(profile.DNSA);
    edtADNS2->SetText(profile.DNSB);
    rbADNSStaticClick(this);
    Select(rbADNSStatic);
}

void TfrmIPSet::SaveProfile() {
    SaveProfile(ConfigIni());
}

void TfrmIPSet::SaveProfile(TCustomIniFile& into) {
    TIpProfile profile;
    profile.DHCPEnabled = !rbAStatic->Checked();
    profile.IPAddress = edtAIP->Text();
    profile.IPSubnet = edtAMask->Text();
    profile.DefaultIPGateway = edtAGate->Text();
    profile.DNSEnabled = !rbADNSStatic->Checked();
    profile.DNSA = edtADNS1->Text();
    profile.DNSB = edtADNS2->Text();
    WriteProfile(into, FSection, profile);
}
