#pragma once
// The configuration dialog: both profiles, the options and the adapter view.
#include <functional>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "dialogs/IPSet.h"
#include "framework/Form.h"
#include "framework/Scoped.h"
#include "framework/StdCtrls.h"
#include "wmi/WmiConnection.h"
#include "wmi/WmiDataSet.h"
#include "wmi/WmiMethod.h"

// Saves the dialog's settings (SettingsArguments) elsewhere, its prompt owned by the dialog;
// true when they were saved.
using TSaveElevated = std::function<bool(const std::wstring& arguments, HWND owner)>;
// Installs the program for all users, its prompt owned by the dialog, and answers the installed
// exe; empty when it was not installed (the install said why, or the prompt was refused).
using TInstallForAll = std::function<std::wstring(HWND owner)>;
// How "确定" saves where it is not into this copy's own Config.ini and logon task alone.
struct TConfigSaving {
    // Installed: the settings, start with Windows included, saved through an elevated copy.
    TSaveElevated SaveElevated;
    // Installed: whether the tray starts at every user's logon now.
    bool TrayAtLogon = false;
    // Not installed: ticking "开机时自动运行" offers to install for all users through this.
    TInstallForAll InstallForAll;
};

class TfrmConfig : public TForm {
public:
    explicit TfrmConfig(TComponent* owner);

    std::wstring ResultText;
    TfrmIPSet* frmIPSetA = nullptr;
    TfrmIPSet* frmIPSetB = nullptr;

    void CreateEditors();
    void LoadOptions();
    void FillAdapterList();
    void DisableAdapterView();
    void cmbAdaptersChange(TComponent* sender);
    void btnOKClick(TComponent* sender);
    // With SaveElevated, "确定" saves through it instead, start with Windows included, and a
    // refusal keeps the dialog open with nothing saved.
    TConfigSaving Saving;
    // Writes the dialog's settings to Config.ini; raises when Windows refuses the write.
    void SaveSettings();
    // The same into another store (the Config.ini of the copy in the program folders).
    void SaveSettings(TCustomIniFile& into);
    // The question mark on "关于(&A)", at the dialog's scale.
    void SetAboutGlyph();
    // The start-with-Windows step of "确定"; false when it did not happen (said to the user).
    bool ApplyAutoRun();
    const std::wstring& MovedTo() const { return FMovedTo; }
    void btnCancleClick(TComponent* sender);
    void btn3Click(TComponent* sender);

    TTabControl* pgcNet1;
    TPanel* ts1;
    TPanel* tsTabDates;
    TPanel* ts2;
    TPanel* pnl1;
    TCheckBox* chkAutoRun;
    TCheckBox* chkAutoSwitch;
    TPanel* pnl2;
    TStaticText* lblNetworkAdapter;
    TComboBox* cmbAdapters;
    // Ticked: only the selected adapter is switched (NET/Adapter).
    TCheckBox* chkOnlyAdapter;
    TBevel* bvl1;
    TStaticText* lblMACAddress;
    TDBEdit* dbedtMACAddress;
    TStaticText* lbl1;
    TDBEdit* dbedtIPAddress;
    TStaticText* lblIPSubnet;
    TDBEdit* dbedtIPSubnet;
    TStaticText* lblDeafultIPGateway;
    TDBEdit* dbedtDeafultIPGateway;
    TStaticText* lbl2;
    TDBEdit* dbedtDNSPrimaryDomain;
    // Shown when the computer has no physical wired adapter for a switch to change.
    TStaticText* lblNoWiredAdapter;
    TButton* btnOK;
    TButton* btnCancle;
    TButton* btn3;

    TWmiConnection* WmiConnection1;
    TWmiQuery* wqConfigurations;
    TWmiQuery* wqAdapters;
    TDataSource* dsConfigurations;
    TWmiMethod* WmiMethod1;

    bool DialogKey(const MSG& msg) override;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DpiChanged() override { SetAboutGlyph(); }

private:
    void CreateControls();
    void FormCreate();
    TDBEdit* FieldEdit(const std::wstring& field, int top);
    // Puts the start-with-Windows task in place for exe, or takes it away; raises in the
    // user's words when Windows refuses.
    void SetAutoRun(bool on, const std::wstring& exe);
    // The offer to install for all users; true when it was installed (MovedTo names the exe).
    bool InstallForAll();
    // The Index of the selected adapter as its item shows it; empty when none is selected.
    std::wstring SelectedAdapter() const;

    // The adapter the switch was limited to as the dialog found it, with its Index brought up
    // to date when the adapter is present under another one.
    TAdapterChoice FStoredAdapter;
    // Every IP-enabled adapter as the switch knows it, for what "确定" remembers of the one
    // chosen.
    std::vector<TAdapterChoice> FAdapterChoices;
    // Where a first run, or an adapter no longer present, goes: the physical wired adapter
    // (a connected one first); empty when there is none.
    std::wstring WiredAdapterToOffer();
    // What Config.ini is to remember of the adapter of that Index.
    TAdapterChoice ChoiceOf(const std::wstring& index) const;
    // Whether the start-with-Windows task was in place when the dialog opened.
    bool FAutoRunInPlace = false;
    // The copy in the program folders that starts at logon, when "确定" made one.
    std::wstring FMovedTo;
    ScopedFont FFont;
    ScopedFont FEditFont;
    HWND FLastFocus = nullptr;
};

// Runs the dialog modally; answers "OK" when the user confirmed (the settings are then written
// to Config.ini), otherwise an empty text.
// movedTo, when given: the copy of the program "确定" made in the program folders to start at
// logon, which is to take over; empty when none.
std::wstring ExecuteConfigDialog(std::wstring* movedTo = nullptr, const TConfigSaving& saving = {});
