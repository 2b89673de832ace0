#pragma once
// The profile editor: one IP profile of Config.ini (address and DNS, each automatic or given),
// a frame that its owner places on a tab page.
#include <string>

#include "framework/CustomIniFile.h"
#include "framework/StdCtrls.h"

class TfrmIPSet : public TPanel {
public:
    // font: the dialog's; editFont: the bold one of the five edits.
    TfrmIPSet(TComponent* owner, HWND page, int dpi, HFONT font, HFONT editFont);

    // The profile's section in Config.ini, "A" or "B"; set before the first LoadProfile.
    const std::wstring& Section() const { return FSection; }
    void SetSection(const std::wstring& section) { FSection = section; }

    void LoadProfile();
    void SaveProfile();
    // Saves into another store (the copy's Config.ini) instead.
    void SaveProfile(TCustomIniFile& into);

    void rbADhcpClick(TComponent* sender);
    void rbAStaticClick(TComponent* sender);
    void rbADNSDhcpClick(TComponent* sender);
    void rbADNSStaticClick(TComponent* sender);
    void edtAIPExit(TComponent* sender);
    // The platform does not grey a disabled group box's contents; this does.
    static void SyncGroupEnabled(TPanel* group) { group->SyncChildrenEnabled(); }

    TPanel* pnl3;
    TRadioButton* rbAStatic;
    TRadioButton* rbADhcp;
    TPanel* grpAIP;
    TStaticText* lbl3;
    TStaticText* lbl4;
    TStaticText* lbl5;
    TEdit* edtAIP;
    TEdit* edtAMask;
    TEdit* edtAGate;
    TPanel* pnl4;
    TRadioButton* rbADNSDhcp;
    TRadioButton* rbADNSStatic;
    TPanel* grpADNS;
    TStaticText* lbl6;
    TStaticText* lbl7;
    TEdit* edtADNS1;
    TEdit* edtADNS2;

private:
    // Checks button, unchecks its partner and runs its click handler, when that changes
    // anything: what a click would do.
    void Select(TRadioButton* button);

    std::wstring FSection;
};
