// The profile editors and the configuration dialog, with real Wine controls, Wine's own
// private-profile API and registry, and the simulated adapters.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/ProgramFolder.h"
#include "core/Settings.h"
#include "core/SettingsTransfer.h"
#include "core/StartupTask.h"
#include "core/WmiEngine.h"
#include "dialogs/AdapterItem.h"
#include "fakes/SimulatedWmi.h"
#include "sim/SimDispatch.h"
#include "framework/Application.h"
#include "framework/DialogLook.h"
#include "framework/Exception.h"
#include "framework/Strings.h"
#include "framework/Scoped.h"
#include "dialogs/AboutDialog.h"
#include "support/DialogAnswerer.h"
#include "support/Seams.h"
#include "support/DpiLayout.h"
#include "support/MemoryIni.h"
#include "support/MessageBoxes.h"
#include "support/ObjectCounts.h"
#include "support/TempFolder.h"

namespace {

const HRESULT kUnreachable = static_cast<HRESULT>(0x80070005);

class ConfigDialog : public ::testing::Test {
protected:
    void SetUp() override {
        sim = &TSimulatedWmi::Install();
        sim->SetTwoAdapters();
        OpenSettingsAt(folder.File(L"Config.ini"));
        SaveRunValue();
    }
    void TearDown() override {
        if (dialog) Application().Destroy(dialog);
        TSimulatedWmi::Uninstall();
        RestoreRunKey();
    }
    void Config(const std::string& text) { folder.WriteBytes(L"Config.ini", text); }
    std::string Bytes() { return folder.ReadBytes(L"Config.ini"); }
    std::wstring Read(const wchar_t* section, const wchar_t* key, const wchar_t* def = L"-") {
        return ConfigIni().ReadString(section, key, def);
    }
    // The dialog as ExecuteConfigDialog prepares it, not yet shown.
    TfrmConfig* Open() {
        dialog = Application().Own<TfrmConfig>();
        dialog->CreateEditors();
        dialog->LoadOptions();
        return dialog;
    }
    // The dialog shown and active, on the page of profile A.
    TfrmIPSet& ShowProfileA() {
        Open();
        dialog->Show();
        SetForegroundWindow(dialog->Handle());
        Application().ProcessMessages();
        dialog->pgcNet1->SelectNextPage(true);
        return *dialog->frmIPSetA;
    }
    static std::wstring RunValue() {
        const TRunKey key = MachineRunKey();
        wchar_t data[1024];
        DWORD size = sizeof data;
        if (RegGetValueW(key.Root, key.Path.c_str(), Application().Title().c_str(), RRF_RT_REG_SZ,
                         nullptr, data, &size) != ERROR_SUCCESS)
            return L"(none)";
        return data;
    }
    void SaveRunValue() { FSavedRun = RunValue(); }
    // The tests that take the Run key away put it back.
    void RestoreRunKey() {
        const TRunKey key = MachineRunKey();
        HKEY created;
        RegCreateKeyExW(key.Root, key.Path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &created, nullptr);
        if (FSavedRun == L"(none)") RegDeleteValueW(created, Application().Title().c_str());
        RegCloseKey(created);
    }
    static bool Enabled(TWinControl* c) { return c->Enabled(); }

    TempFolder folder;
    TSimulatedWmi* sim = nullptr;
    TfrmConfig* dialog = nullptr;
    std::vector<std::wstring> messages;
    const ScopedMessageBoxes recorder = RecordMessageBoxes(messages);

private:
    std::wstring FSavedRun;
};

// The state of one editor: which radio of each pair is checked and what is enabled.
std::string State(TfrmIPSet& e) {
    std::string s;
    s += e.rbADhcp->Checked() ? "addr:auto" : "";
    s += e.rbAStatic->Checked() ? "addr:given" : "";
    s += e.rbADNSDhcp->Checked() ? " dns:auto" : "";
    s += e.rbADNSStatic->Checked() ? " dns:given" : "";
    const auto all = [](std::initializer_list<TWinControl*> cs) {
        bool on = true, off = true;
        for (TWinControl* c : cs)
            (c->Enabled() ? off : on) = false;
        return on ? "on" : off ? "off" : "mixed";
    };
    s += std::string(" grpAIP:") +
         all({e.grpAIP, e.lbl3, e.lbl4, e.lbl5, e.edtAIP, e.edtAMask, e.edtAGate});
    s += std::string(" rbADNSDhcp:") + (e.rbADNSDhcp->Enabled() ? "on" : "off");
    s += std::string(" grpADNS:") + all({e.grpADNS, e.lbl6, e.lbl7, e.edtADNS1, e.edtADNS2});
    return s;
}

TEST_F(ConfigDialog, EditorsLoadEveryStateTheFileCanHold) {
    Config("[A]\r\nDHCPEnabled=1\r\nIPAddress=10.0.0.9\r\nDNSEnabled=1\r\nDNSA=1.1.1.1\r\n"
           "[B]\r\nDHCPEnabled=1\r\nDNSEnabled=0\r\nDNSA=8.8.8.8\r\nDNSB=8.8.4.4\r\n");
    Open();
    EXPECT_EQ(State(*dialog->frmIPSetA), "addr:auto dns:auto grpAIP:off rbADNSDhcp:on grpADNS:off");
    EXPECT_EQ(dialog->frmIPSetA->edtAIP->Text(), L"") << "an automatic profile's keys are not read";
    EXPECT_EQ(dialog->frmIPSetA->edtADNS1->Text(), L"");
    EXPECT_EQ(State(*dialog->frmIPSetB), "addr:auto dns:given grpAIP:off rbADNSDhcp:on grpADNS:on");
    EXPECT_EQ(dialog->frmIPSetB->edtADNS2->Text(), L"8.8.4.4");
    Application().Destroy(std::exchange(dialog, nullptr));

    // Only "1" exactly means automatic.
    Config("[A]\r\nDHCPEnabled=01\r\nIPAddress=DHCP\r\nIPSubnet=255.0.0.0\r\nDNSEnabled=1\r\n"
           "[B]\r\nDHCPEnabled=true\r\nDNSEnabled=yes\r\nDNSA=9.9.9.9\r\n");
    Open();
    EXPECT_EQ(State(*dialog->frmIPSetA),
              "addr:given dns:auto grpAIP:on rbADNSDhcp:off grpADNS:off");
    EXPECT_EQ(dialog->frmIPSetA->edtAIP->Text(), L"DHCP");
    EXPECT_EQ(dialog->frmIPSetA->edtAMask->Text(), L"255.0.0.0");
    EXPECT_EQ(State(*dialog->frmIPSetB),
              "addr:given dns:given grpAIP:on rbADNSDhcp:off grpADNS:on");
    EXPECT_EQ(dialog->frmIPSetB->edtADNS1->Text(), L"9.9.9.9");
}

TEST_F(ConfigDialog, MissingSectionLoadsAsEmptyGivenValues) {
    Config("[NET]\r\nNET=\r\n");
    Open();
    for (TfrmIPSet* e : {dialog->frmIPSetA, dialog->frmIPSetB}) {
        EXPECT_EQ(State(*e), "addr:given dns:given grpAIP:on rbADNSDhcp:off grpADNS:on");
        EXPECT_EQ(e->edtAIP->Text() + e->edtAMask->Text() + e->edtADNS1->Text(), L"");
    }
}

TEST_F(ConfigDialog, ClicksFollowTheEnablingRules) {
    Config("[A]\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n");
    Open();
    TfrmIPSet& a = *dialog->frmIPSetA;
    a.rbAStatic->Click();
    EXPECT_EQ(State(a), "addr:given dns:given grpAIP:on rbADNSDhcp:off grpADNS:on");
    SendMessageW(a.rbADhcp->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(State(a), "addr:auto dns:given grpAIP:off rbADNSDhcp:on grpADNS:on");
    SendMessageW(a.rbADNSDhcp->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(State(a), "addr:auto dns:auto grpAIP:off rbADNSDhcp:on grpADNS:off");
}

TEST_F(ConfigDialog, SaveWritesTheKeysAsTypedAndLeavesTheRestAlone) {
    Config("[A]\r\nName=Office\r\nDHCPEnabled=0\r\nIPAddress=1.2.3.4\r\nIPSubnet=255.0.0.0\r\n"
           "DefaultIPGateway=1.2.3.1\r\nDNSEnabled=0\r\nDNSA=1.1.1.1\r\nDNSB=\r\n"
           "[B]\r\nName=Internet\r\nDHCPEnabled=0\r\nIPAddress=5.6.7.8\r\nDNSEnabled=1\r\n");
    Open();
    TfrmIPSet& a = *dialog->frmIPSetA;
    TfrmIPSet& b = *dialog->frmIPSetB;
    a.rbADhcp->Click();
    a.edtADNS1->SetText(L"10.0.0.53;x");
    b.edtAIP->SetText(L"DHCP");
    b.edtAGate->SetText(L"");
    a.SaveProfile();
    b.SaveProfile();
    EXPECT_EQ(Bytes(), "[A]\r\nName=Office\r\nDHCPEnabled=1\r\nIPAddress=1.2.3.4\r\n"
                       "IPSubnet=255.0.0.0\r\nDefaultIPGateway=1.2.3.1\r\nDNSEnabled=0\r\n"
                       "DNSA=10.0.0.53;x\r\nDNSB=\r\n"
                       "[B]\r\nName=Internet\r\nDHCPEnabled=0\r\nIPAddress=DHCP\r\n"
                       "DNSEnabled=1\r\nIPSubnet=\r\nDefaultIPGateway=\r\n");
}

// A mask the user typed is kept; only an empty one gets the usual default.
TEST_F(ConfigDialog, LeavingTheAddressFillsOnlyAnEmptyMask) {
    Config("[A]\r\nDHCPEnabled=0\r\nIPAddress=10.1.2.3\r\n");
    Open();
    dialog->Show();
    TfrmIPSet& a = *dialog->frmIPSetA;
    dialog->pgcNet1->SetPageIndex(1);
    a.edtAIP->SetFocus();
    a.edtAGate->SetFocus();
    EXPECT_EQ(a.edtAMask->Text(), L"255.255.255.0");
    a.edtAMask->SetText(L"255.255.0.0");
    a.edtAIP->SetFocus();
    a.edtAGate->SetFocus();
    a.edtAIP->SetFocus();
    dialog->btnOK->SetFocus();
    EXPECT_EQ(a.edtAMask->Text(), L"255.255.0.0");
    dialog->btnOK->Click();
    EXPECT_EQ(Read(L"A", L"IPSubnet"), L"255.255.0.0");
}

TEST_F(ConfigDialog, AdapterViewListsIpEnabledEthernetAdaptersInQueryOrder) {
    sim->Adapters().push_back(sim->Adapters()[0]);
    sim->Adapters().back().Index = 12;
    sim->Adapters().back().IPEnabled = false;
    sim->Adapters().push_back(sim->Adapters()[0]);
    sim->Adapters().back().Index = 13;
    sim->Adapters().back().AdapterType = L"Wireless";
    Open();
    TComboBox& list = *dialog->cmbAdapters;
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Item(0), L"1: " + sim->Adapters()[0].Description);
    EXPECT_EQ(list.Item(1), L"8: " + sim->Adapters()[1].Description);
    EXPECT_EQ(list.ItemIndex(), 0);
    EXPECT_TRUE(list.Enabled());
    EXPECT_EQ(dialog->dbedtMACAddress->Text(), sim->Adapters()[0].MACAddress);

    // The second with the keyboard, as a user picks it.
    dialog->Show();
    list.SetFocus();
    SendMessageW(list.Handle(), WM_KEYDOWN, VK_DOWN, 0);
    SendMessageW(list.Handle(), WM_KEYUP, VK_DOWN, 0);
    ASSERT_EQ(list.ItemIndex(), 1);
    const TSimAdapter& eight = sim->Adapters()[1];
    EXPECT_EQ(dialog->dbedtMACAddress->Text(), eight.MACAddress);
    const auto braces = [](const std::vector<std::wstring>& items) {
        std::wstring text;
        for (const std::wstring& item : items)
            text += (text.empty() ? L"" : L", ") + item;
        return items.empty() ? std::wstring() : L"{" + text + L"}";
    };
    EXPECT_EQ(dialog->dbedtIPAddress->Text(), braces(eight.IPAddress));
    EXPECT_EQ(dialog->dbedtIPSubnet->Text(), braces(eight.IPSubnet));
    EXPECT_EQ(dialog->dbedtDeafultIPGateway->Text(), braces(eight.DefaultIPGateway));
    EXPECT_EQ(dialog->dbedtDNSPrimaryDomain->Text(), braces(eight.DNSServerSearchOrder));
    EXPECT_TRUE(messages.empty());
}

TEST_F(ConfigDialog, AnItemWithoutANumberLeavesTheFieldsOnTheirRow) {
    // An adapter 0, which a non-number read as 0 would have picked.
    sim->Adapters().push_back(sim->Adapters()[0]);
    sim->Adapters().back().Index = 0;
    sim->Adapters().back().MACAddress = L"00:00:00:00:00:00";
    Open();
    TComboBox& list = *dialog->cmbAdapters;
    ASSERT_EQ(list.Count(), 3);
    list.SetItemIndex(1);
    dialog->cmbAdaptersChange(&list);
    ASSERT_EQ(dialog->dbedtMACAddress->Text(), sim->Adapters()[1].MACAddress);
    for (const wchar_t* item : {L"x: stray", L": none", L"99999999999: too big"}) {
        list.Add(item);
        list.SetItemIndex(list.Count() - 1);
        dialog->cmbAdaptersChange(&list);
        EXPECT_EQ(dialog->dbedtMACAddress->Text(), sim->Adapters()[1].MACAddress) << item;
    }
}

TEST_F(ConfigDialog, OnlyThisAdapterIsReadFromAndWrittenToAdapter) {
    // A first run (no Config.ini) limits the switch to the connected wired adapter; Wi-Fi and
    // virtual adapters are IP-enabled too.
    sim->SetDefaultAdapters();
    sim->Adapters()[0].MediaConnected = false; // undocked: the USB adapter is the wired one
    Open();
    EXPECT_TRUE(dialog->chkOnlyAdapter->Checked());
    EXPECT_EQ(AdapterOfItem(dialog->cmbAdapters->Item(dialog->cmbAdapters->ItemIndex())), L"8");
    EXPECT_FALSE(dialog->lblNoWiredAdapter->Visible());
    Application().Destroy(std::exchange(dialog, nullptr));
    // No cable in at all: the wired adapter all the same, never the connected Wi-Fi.
    sim->Adapters()[1].MediaConnected = false;
    Open();
    EXPECT_TRUE(dialog->chkOnlyAdapter->Checked());
    EXPECT_EQ(AdapterOfItem(dialog->cmbAdapters->Item(dialog->cmbAdapters->ItemIndex())), L"1");
    Application().Destroy(std::exchange(dialog, nullptr));
    // No wired adapter present: the page says so, and nothing is ticked.
    for (TSimAdapter& a : sim->Adapters())
        a.NdisPhysicalMedium = 9;
    Open();
    EXPECT_FALSE(dialog->chkOnlyAdapter->Checked());
    EXPECT_TRUE(dialog->lblNoWiredAdapter->Visible());
    Application().Destroy(std::exchange(dialog, nullptr));
    sim->SetTwoAdapters();

    // An existing Config.ini with an empty Adapter: unticked on the first adapter; ticked, the
    // selected adapter is written.
    Config("[NET]\r\n");
    Open();
    EXPECT_FALSE(dialog->chkOnlyAdapter->Checked());
    dialog->chkOnlyAdapter->SetChecked(true);
    dialog->btnOK->Click();
    EXPECT_EQ(Read(L"NET", L"Adapter"), L"1");
    // Known by who it is, for the day it has another Index.
    EXPECT_EQ(Read(L"NET", L"AdapterGuid"), sim->Adapters()[0].Guid);
    EXPECT_EQ(Read(L"NET", L"AdapterName"), sim->Adapters()[0].Description);
    Application().Destroy(std::exchange(dialog, nullptr));

    // The dialog opens on the adapter named, ticked, so that confirming keeps it.
    Config("[NET]\r\nAdapter=8\r\n");
    Open();
    EXPECT_EQ(dialog->cmbAdapters->ItemIndex(), 1);
    EXPECT_EQ(dialog->dbedtMACAddress->Text(), sim->Adapters()[1].MACAddress);
    EXPECT_TRUE(dialog->chkOnlyAdapter->Checked());
    dialog->btnOK->Click();
    EXPECT_EQ(Read(L"NET", L"Adapter"), L"8");
    Application().Destroy(std::exchange(dialog, nullptr));

    // Unticked, every adapter is switched again.
    Open();
    dialog->chkOnlyAdapter->SetChecked(false);
    dialog->btnOK->Click();
    EXPECT_EQ(Read(L"NET", L"Adapter"), L"");
    Application().Destroy(std::exchange(dialog, nullptr));

    // An adapter that is gone: the wired adapter present is offered in its place.
    Config("[NET]\r\nAdapter=5\r\n");
    Open();
    EXPECT_EQ(dialog->cmbAdapters->ItemIndex(), 0);
    EXPECT_TRUE(dialog->chkOnlyAdapter->Checked());
    dialog->btnOK->Click();
    EXPECT_EQ(Read(L"NET", L"Adapter"), L"1");
    Application().Destroy(std::exchange(dialog, nullptr));

    // One found by its GUID under a new Index opens as the one named.
    Config("[NET]\r\nAdapter=1\r\nAdapterGuid=" + ToUtf8(sim->Adapters()[1].Guid) + "\r\n");
    Open();
    EXPECT_EQ(dialog->cmbAdapters->ItemIndex(), 1);
    EXPECT_TRUE(dialog->chkOnlyAdapter->Checked());
}

TEST_F(ConfigDialog, NoAdapterLeavesTheViewEmptyAndDisabled) {
    sim->Adapters().clear();
    Open();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(dialog->cmbAdapters->Count(), 0);
    EXPECT_FALSE(dialog->cmbAdapters->Enabled());
    EXPECT_FALSE(dialog->chkOnlyAdapter->Enabled());
    EXPECT_EQ(dialog->dbedtMACAddress->Text(), L"");
    EXPECT_FALSE(dialog->WmiConnection1->Connected());
}

TEST_F(ConfigDialog, UnreachableWmiIsReportedOnceAndTheDialogStillSaves) {
    Config("[A]\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n");
    sim->SetServiceError(kUnreachable);
    Open();
    sim->SetServiceError(S_OK);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].substr(0, messages[0].find(L'\n')), L"无法连接到 WMI 服务。");
    EXPECT_EQ(dialog->cmbAdapters->Count(), 0);
    EXPECT_FALSE(dialog->cmbAdapters->Enabled());
    EXPECT_EQ(dialog->WmiMethod1->WmiObjectSource(), dialog->wqConfigurations);
    dialog->frmIPSetA->rbAStatic->Click();
    dialog->frmIPSetA->edtAIP->SetText(L"10.9.8.7");
    dialog->btnOK->Click();
    EXPECT_EQ(dialog->ResultText, L"OK");
    EXPECT_EQ(Read(L"A", L"IPAddress"), L"10.9.8.7");
}

TEST_F(ConfigDialog, AnAdapterListWmiCannotGiveIsSaidOnceAndTheDialogOpens) {
    // As Wine's own WMI answers: the adapters' properties cannot be listed.
    sim->SetQueryError(L"Win32_NetworkAdapter", E_NOTIMPL);
    Open();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], L"无法读取网卡列表。\n" + SystemErrorMessage(E_NOTIMPL) + L": 80004001");
    EXPECT_FALSE(dialog->cmbAdapters->Enabled());
    EXPECT_FALSE(dialog->chkOnlyAdapter->Enabled());
    EXPECT_TRUE(dialog->frmIPSetA->edtAIP->Handle());
}

TEST_F(ConfigDialog, MovedToAnotherScaleItAndTheAboutBoxAreLaidOutAsIfMadeThere) {
    // The same dialog made at 150%, and this one made at 100% and moved there; back again.
    const auto made = [](int dpi) {
        ScopedDpi scale(dpi);
        auto* d = Application().Own<TfrmConfig>();
        d->CreateEditors();
        d->LoadOptions();
        return d;
    };
    TfrmConfig* large = made(144);
    TfrmConfig* small = made(96);
    dialog = small;
    const auto before = LayoutOf(*dialog);
    MoveToDpi(*dialog, 144, *large);
    ExpectSameLayout(LayoutOf(*dialog), LayoutOf(*large));
    EXPECT_EQ(dialog->cmbAdapters->DroppedWidth(), large->cmbAdapters->DroppedWidth());
    Application().Destroy(large);
    TfrmConfig* again = made(96);
    MoveToDpi(*dialog, 96, *again);
    ExpectSameLayout(LayoutOf(*dialog), before);
    Application().Destroy(again);

    TfrmAbout* about144 = nullptr;
    TfrmAbout* about = nullptr;
    {
        ScopedDpi scale(144);
        about144 = Application().Own<TfrmAbout>();
    }
    {
        ScopedDpi scale(96);
        about = Application().Own<TfrmAbout>();
    }
    MoveToDpi(*about, 144, *about144);
    ExpectSameLayout(LayoutOf(*about), LayoutOf(*about144));
    Application().Destroy(about144);
    Application().Destroy(about);
}

TEST_F(ConfigDialog, NoCaptionOfItOrOfTheAboutBoxIsCutAtAnyScale) {
    for (const int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE(dpi);
        ScopedDpi scale(dpi);
        auto* config = Application().Own<TfrmConfig>();
        config->CreateEditors();
        config->LoadOptions();
        // Each page shown in turn: only the shown one's controls are visible.
        for (int page = 0; page < config->pgcNet1->PageCount(); ++page) {
            config->pgcNet1->SetPageIndex(page);
            for (const std::wstring& cut : ClippedCaptions(*config, dpi))
                ADD_FAILURE() << ToUtf8(cut);
        }
        auto* about = Application().Own<TfrmAbout>();
        for (const std::wstring& cut : ClippedCaptions(*about, dpi))
            ADD_FAILURE() << ToUtf8(cut);
        Application().Destroy(about);
        Application().Destroy(config);
    }
}

TEST_F(ConfigDialog, TheOpenAdapterListShowsEveryNameWhole) {
    sim->SetDefaultAdapters();
    Open();
    TComboBox& box = *dialog->cmbAdapters;
    ASSERT_GT(box.Count(), 1);
    const HDC dc = GetDC(box.Handle());
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(box.Handle(), WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (int i = 0; i < box.Count(); ++i) {
        SIZE size{};
        const std::wstring text = box.Item(i);
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        widest = std::max(widest, size.cx);
    }
    SelectObject(dc, previous);
    ReleaseDC(box.Handle(), dc);
    RECT bounds{};
    GetWindowRect(box.Handle(), &bounds);
    // The longest name beside a scroll bar: wider than the box, which cuts it.
    EXPECT_GE(box.DroppedWidth(), widest + GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_GE(box.DroppedWidth(), bounds.right - bounds.left);
}

TEST_F(ConfigDialog, OptionsAreTickedOnlyByOneAndAutoRunByTheTask) {
    Config("[NET]\r\nAutoRun=1\r\nAutoSwitch=1\r\n");
    Open();
    EXPECT_FALSE(dialog->chkAutoRun->Checked()) << "Config.ini says so, but no task starts it";
    EXPECT_TRUE(dialog->chkAutoSwitch->Checked());
    Application().Destroy(std::exchange(dialog, nullptr));
    Config("[NET]\r\nAutoRun=yes\r\nAutoSwitch=1.0\r\n");
    SetAutoRun(true);
    Open();
    EXPECT_TRUE(dialog->chkAutoRun->Checked()) << "the task starts this program";
    EXPECT_FALSE(dialog->chkAutoSwitch->Checked());
    SetAutoRun(false);
}

TEST_F(ConfigDialog, ConfirmingRewritesEveryKeyAndAutoRunAsWindowsHasIt) {
    Config("[NET]\r\nNET=A\r\nAutoRun=1\r\n[A]\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n"
           "[B]\r\nDHCPEnabled=0\r\nIPAddress=5.6.7.8\r\nDNSEnabled=0\r\n");
    DialogAnswerer answerer(true);
    EXPECT_EQ(ExecuteConfigDialog(), L"OK");
    EXPECT_EQ(answerer.Opened, 1);
    EXPECT_EQ(Read(L"NET", L"AutoRun"), L"0") << "no task starts it";
    EXPECT_EQ(Read(L"NET", L"AutoSwitch"), L"0");
    EXPECT_EQ(Read(L"B", L"IPSubnet"), L"") << "written, as the edit stood";
    EXPECT_EQ(Read(L"B", L"DNSA"), L"");
    EXPECT_FALSE(AutoRunInPlace());
}

TEST_F(ConfigDialog, CancelOrCloseBoxWritesNothing) {
    const std::string before = "[NET]\r\nAutoRun=1\r\n[A]\r\nDHCPEnabled=1\r\n";
    Config(before);
    SetAutoRun(true);
    DialogAnswerer answerer;
    answerer.WhileOpen = [](TfrmConfig& d) {
        d.chkAutoRun->SetChecked(false);
        d.frmIPSetA->rbAStatic->Click();
    };
    EXPECT_EQ(ExecuteConfigDialog(), L"");
    EXPECT_EQ(answerer.Opened, 1);
    EXPECT_EQ(Bytes(), before);
    EXPECT_TRUE(AutoRunInPlace());
    SetAutoRun(false);
}

TEST_F(ConfigDialog, CancelOnAnyPageLeavesConfigIniByteForByteAndTheTaskAsTheyWere) {
    // Comments, blank lines, odd spacing and keys the program does not know: all kept.
    const std::string before = "; set up by the help desk\r\n\r\n[NET]\r\nNET=A\r\n"
                               "AutoRun=0\r\nAutoSwitch=1\r\nAdapter=1\r\nMethod=A\r\n"
                               "[A]\r\nName=Office\r\nIPAddress = 10.0.0.5\r\n"
                               "IPSubnet=255.255.255.0\r\nDefaultIPGateway=10.0.0.1\r\n"
                               "DNSEnabled=0\r\nDNS1=10.0.0.53\r\nNote=kept\r\n"
                               "[B]\r\nName=Internet\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n";
    SetAutoRun(false);
    for (int page = 0; page < 3; ++page) {
        SCOPED_TRACE(page);
        Config(before);
        DialogAnswerer answerer;
        answerer.WhileOpen = [page](TfrmConfig& d) {
            d.pgcNet1->SetPageIndex(page);
            if (page == 0) {
                d.chkAutoRun->SetChecked(true);
                d.chkAutoSwitch->SetChecked(false);
                d.chkOnlyAdapter->SetChecked(false);
            } else {
                TfrmIPSet& profile = page == 1 ? *d.frmIPSetA : *d.frmIPSetB;
                profile.rbAStatic->Click();
                profile.edtAIP->SetText(L"10.9.8.7");
                profile.edtAMask->SetText(L"255.0.0.0");
                profile.rbADNSStatic->Click();
                profile.edtADNS1->SetText(L"10.9.8.53");
            }
            d.btnCancle->Click();
        };
        EXPECT_EQ(ExecuteConfigDialog(), L"");
        EXPECT_EQ(answerer.Opened, 1);
        EXPECT_EQ(Bytes(), before);
        EXPECT_FALSE(AutoRunInPlace()) << "the task was made";
    }
}

TEST_F(ConfigDialog, UntickedTheTaskGoesAndConfigIniSaysSo) {
    Config("[NET]\r\nAutoRun=1\r\n[A]\r\nDHCPEnabled=1\r\n");
    SetAutoRun(true);
    Open();
    dialog->Show();
    dialog->chkAutoRun->SetChecked(false);
    dialog->btnOK->Click();
    EXPECT_EQ(dialog->ResultText, L"OK");
    EXPECT_FALSE(AutoRunInPlace());
    EXPECT_EQ(Read(L"NET", L"AutoRun"), L"0");
    EXPECT_TRUE(messages.empty());
}

// Not elevated, the install is offered as to anyone: declined, nothing is half-saved.
TEST_F(ConfigDialog, NotElevatedTheAutoRunIsOfferedAsAnInstallAndNothingIsSaved) {
    const std::string before = "[NET]\r\nAutoRun=0\r\nAutoSwitch=1\r\n[A]\r\nDHCPEnabled=1\r\n";
    Config(before);
    const ScopedSeam notElevated(&SetProcessElevatedFunction, [] { return false; });
    Open();
    dialog->Show();
    dialog->chkAutoRun->SetChecked(true);
    dialog->chkAutoSwitch->SetChecked(false);
    dialog->frmIPSetA->rbAStatic->Click();
    dialog->btnOK->Click();
    ASSERT_EQ(messages.size(), 1u) << "the offer to install, not taken";
    EXPECT_NE(messages[0].find(L"所有用户"), std::wstring::npos) << messages[0];
    EXPECT_EQ(Bytes(), before);
    EXPECT_FALSE(AutoRunInPlace());
    EXPECT_EQ(RunValue(), L"(none)");
    EXPECT_EQ(dialog->ResultText, L"");
    EXPECT_TRUE(dialog->Visible());
}

// Installed and not elevated: "确定" hands the settings to the elevated copy and writes nothing
// itself; a refused prompt keeps the dialog open.
TEST_F(ConfigDialog, WhereTheSettingsAreTheAdministratorsTheElevatedCopySavesThem) {
    const std::string before = "[NET]\r\nAutoRun=0\r\nAutoSwitch=1\r\n[A]\r\nDHCPEnabled=1\r\n";
    Config(before);
    const ScopedSeam notElevated(&SetProcessElevatedFunction, [] { return false; });
    std::vector<std::wstring> handed;
    bool saved = false;
    Open();
    dialog->Saving.SaveElevated = [&](const std::wstring& arguments, HWND owner) {
        EXPECT_EQ(owner, dialog->Handle()) << "the prompt is the dialog's";
        handed.push_back(arguments);
        return saved;
    };
    dialog->Show();
    dialog->chkAutoRun->SetChecked(true);
    dialog->frmIPSetA->rbAStatic->Click();
    dialog->frmIPSetA->edtAIP->SetText(L"10.20.30.41");
    dialog->btnOK->Click();
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_TRUE(dialog->Visible()) << "refused: the dialog stays";
    EXPECT_EQ(dialog->ResultText, L"");
    EXPECT_TRUE(messages.empty()) << "no box of its own: the elevated copy says what failed";

    saved = true;
    dialog->btnOK->Click();
    EXPECT_EQ(dialog->ResultText, L"OK");
    EXPECT_EQ(Bytes(), before) << "nothing written by the dialog itself";
    EXPECT_FALSE(AutoRunInPlace()) << "nor the task";
    // What the elevated copy would write is what the dialog holds.
    TMemoryIni into;
    EXPECT_EQ(SaveSettingsArguments(L"Tarnwick.exe " + handed.back(), into), L"");
    EXPECT_EQ(into.ReadString(L"A", L"IPAddress", L""), L"10.20.30.41");
    EXPECT_EQ(into.ReadString(L"NET", L"AutoRun", L""), L"1");
    EXPECT_EQ(into.ReadString(L"NET", L"AutoSwitch", L""), L"1");
}

// Not installed, "开机时自动运行" is an install for all users: offered, refused or made, and the
// installed copy named for the program to hand over to; no logon task any more.
TEST_F(ConfigDialog, StartWithWindowsOffersTheInstallForAllUsersInsteadOfATask) {
    const std::string before = "[NET]\r\nAutoRun=0\r\n[A]\r\nName=Office\r\nDHCPEnabled=1\r\n";
    Config(before);
    std::vector<std::wstring> offers;
    std::vector<UINT> buttons;
    int answer = IDNO;
    const ScopedMessageBoxes answerer = AnswerMessageBoxes(offers, buttons, answer);
    std::wstring installed;
    int installs = 0;
    Open();
    dialog->Saving.InstallForAll = [&](HWND owner) {
        EXPECT_EQ(owner, dialog->Handle()) << "the prompt is the dialog's";
        ++installs;
        // The installed copy starts with the dialog's settings, saved before.
        EXPECT_EQ(Read(L"A", L"DHCPEnabled"), L"0");
        return installed;
    };
    dialog->Show();
    dialog->chkAutoRun->SetChecked(true);
    dialog->frmIPSetA->rbAStatic->Click();
    dialog->btnOK->Click();
    ASSERT_EQ(offers.size(), 1u);
    EXPECT_NE(offers[0].find(L"所有用户"), std::wstring::npos) << offers[0];
    EXPECT_EQ(buttons, std::vector<UINT>{MB_YESNO});
    EXPECT_EQ(installs, 0) << "No: nothing installed";
    EXPECT_EQ(Bytes(), before) << "and nothing saved";
    EXPECT_TRUE(dialog->Visible());

    // Yes, and the install failed (it said why itself) or its prompt was refused.
    answer = IDYES;
    dialog->btnOK->Click();
    EXPECT_EQ(installs, 1);
    EXPECT_EQ(dialog->ResultText, L"");
    EXPECT_TRUE(dialog->Visible());

    installed = L"C:\\Program Files\\Tarnwick\\Tarnwick.exe";
    dialog->btnOK->Click();
    EXPECT_EQ(installs, 2);
    EXPECT_EQ(dialog->ResultText, L"OK");
    EXPECT_EQ(dialog->MovedTo(), installed) << "the installed tray takes over";
    EXPECT_EQ(Read(L"NET", L"AutoRun"), L"1");
    EXPECT_FALSE(AutoRunInPlace()) << "no logon task";
}

// Keys as the message loop delivers them to the focused control.
void Press(UINT key) {
    PostMessageW(GetFocus(), WM_KEYDOWN, key, 0);
    PostMessageW(GetFocus(), WM_KEYUP, key, 0xC0000000);
    Application().ProcessMessages();
}

// Shift as the keyboard state the dialog navigation reads.
void SetShift(bool down) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

TEST_F(ConfigDialog, TabWalksEachPageInItsOrderAndEnterOrEscDoNothing) {
    Config("[A]\r\nDHCPEnabled=0\r\nDNSEnabled=0\r\n[B]\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n");
    const std::string before = Bytes();
    Open();
    dialog->Show();
    SetForegroundWindow(dialog->Handle());
    SetActiveWindow(dialog->Handle());
    Application().ProcessMessages();
    ASSERT_EQ(GetFocus(), dialog->chkAutoRun->Handle())
        << "opens on the first page's first control";
    TfrmIPSet& a = *dialog->frmIPSetA;
    TfrmIPSet& b = *dialog->frmIPSetB;
    const std::vector<std::pair<TWinControl*, std::string>> names = {
        {dialog->chkAutoRun, "chkAutoRun"},
        {dialog->chkAutoSwitch, "chkAutoSwitch"},
        {dialog->cmbAdapters, "cmbAdapters"},
        {dialog->chkOnlyAdapter, "chkOnlyAdapter"},
        {dialog->dbedtMACAddress, "MAC"},
        {dialog->dbedtIPAddress, "IP"},
        {dialog->dbedtIPSubnet, "Subnet"},
        {dialog->dbedtDeafultIPGateway, "Gateway"},
        {dialog->dbedtDNSPrimaryDomain, "DNS"},
        {dialog->btnOK, "btnOK"},
        {dialog->btnCancle, "btnCancle"},
        {dialog->btn3, "btn3"},
        {a.rbADNSStatic, "A.rbADNSStatic"},
        {a.edtADNS1, "A.edtADNS1"},
        {a.edtADNS2, "A.edtADNS2"},
        {a.edtAIP, "A.edtAIP"},
        {a.edtAMask, "A.edtAMask"},
        {a.edtAGate, "A.edtAGate"},
        {a.rbAStatic, "A.rbAStatic"},
        {b.rbADNSDhcp, "B.rbADNSDhcp"},
        {b.rbADNSStatic, "B.rbADNSStatic"},
        {b.rbADhcp, "B.rbADhcp"}};
    const auto focused = [&] {
        for (const auto& [control, name] : names)
            if (control->Handle() == GetFocus()) return name;
        return std::string("?");
    };
    // The walk of Tab, and the walk of Shift+Tab from the same start, which must be the
    // same round the other way.
    const auto walk = [&](int steps, bool back = false) {
        std::vector<std::string> log{focused()};
        for (int i = 0; i < steps; ++i) {
            if (back) SetShift(true);
            Press(VK_TAB);
            if (back) SetShift(false);
            log.push_back(focused());
        }
        return log;
    };
    const auto joined = [](const std::vector<std::string>& log) {
        std::string s;
        for (const std::string& name : log)
            s += (s.empty() ? "" : " ") + name;
        return s;
    };
    const auto both = [&](int steps) {
        const std::vector<std::string> forward = walk(steps);
        const std::vector<std::string> backward = walk(steps, true);
        EXPECT_EQ(joined(backward), joined({forward.rbegin(), forward.rend()}))
            << "Shift+Tab walks the Tab order backwards";
        return joined(forward);
    };
    EXPECT_EQ(both(12), "chkAutoRun chkAutoSwitch cmbAdapters chkOnlyAdapter MAC IP Subnet "
                        "Gateway DNS btnOK btnCancle btn3 chkAutoRun");
    dialog->pgcNet1->SelectNextPage(true);
    EXPECT_EQ(both(10), "A.rbADNSStatic A.edtADNS1 A.edtADNS2 A.edtAIP A.edtAMask A.edtAGate "
                        "A.rbAStatic btnOK btnCancle btn3 A.rbADNSStatic");
    dialog->pgcNet1->SelectNextPage(true);
    EXPECT_EQ(both(5), "B.rbADNSDhcp B.rbADhcp btnOK btnCancle btn3 B.rbADNSDhcp");

    // The arrows move inside a radio group and apply its rules.
    Press(VK_DOWN);
    EXPECT_EQ(focused(), "B.rbADNSStatic");
    EXPECT_TRUE(b.rbADNSStatic->Checked());
    EXPECT_TRUE(b.grpADNS->Enabled());

    b.edtADNS1->SetFocus();
    Press(VK_RETURN);
    Press(VK_ESCAPE);
    EXPECT_TRUE(dialog->Visible());
    EXPECT_EQ(dialog->ResultText, L"");
    EXPECT_EQ(Bytes(), before);
}

TEST_F(ConfigDialog, AMaskTypedAfterTabbingFromTheAddressReplacesTheFilledOne) {
    TfrmIPSet& a = ShowProfileA();
    a.edtAIP->SetFocus();
    Press(VK_TAB);
    ASSERT_EQ(GetFocus(), a.edtAMask->Handle());
    for (wchar_t c : std::wstring(L"255.255.0.0"))
        PostMessageW(GetFocus(), WM_CHAR, c, 0);
    Application().ProcessMessages();
    EXPECT_EQ(a.edtAMask->Text(), L"255.255.0.0");
}

// Closes the About box whenever it is open, from a thread timer its modal loop runs: with
// the key when its button has the focus, as a dialog box opens; by force otherwise, or when
// the key did not close it.
int AboutBoxesEntered = 0;
int AboutBoxesForced = 0;
WPARAM AboutBoxKey = VK_RETURN;
void CALLBACK CloseAboutBox(HWND, UINT, UINT_PTR, DWORD) {
    HWND about = FindWindowW(L"TarnwickForm", L"关于程序");
    if (!about || !IsWindowVisible(about)) return;
    HWND button = FindWindowExW(about, nullptr, L"Button", L"关闭");
    if (GetFocus() == button && AboutBoxesEntered == 0) {
        ++AboutBoxesEntered;
        PostMessageW(button, WM_KEYDOWN, AboutBoxKey, 0);
        PostMessageW(button, WM_KEYUP, AboutBoxKey, 0xC0000000);
        return;
    }
    ++AboutBoxesForced;
    SendMessageW(about, WM_CLOSE, 0, 0);
}

TEST_F(ConfigDialog, AltAOpensTheAboutBoxAndEnterOrEscReturnsWithEverythingAsItWas) {
    Config("[A]\r\nDHCPEnabled=0\r\nIPAddress=10.1.2.3\r\n");
    TfrmIPSet& a = ShowProfileA();
    a.edtAMask->SetFocus();
    a.edtAMask->SetText(L"255.255.0.0");
    for (const WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        SCOPED_TRACE(key == VK_RETURN ? "Enter" : "Esc");
        a.edtAIP->SetFocus();
        AboutBoxesEntered = AboutBoxesForced = 0;
        AboutBoxKey = key;
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, &CloseAboutBox);
        // Alt+A as the keyboard sends it: a system character with the Alt flag.
        PostMessageW(GetFocus(), WM_SYSCHAR, L'a', 1 << 29);
        Application().ProcessMessages();
        KillTimer(nullptr, timer);
        EXPECT_EQ(AboutBoxesEntered, 1);
        EXPECT_EQ(AboutBoxesForced, 0) << "the key on the focused button did not close the box";
        // The configuration dialog has no cancel button: Esc in the About box stays there.
        EXPECT_TRUE(dialog->Visible());
        EXPECT_EQ(a.edtAMask->Text(), L"255.255.0.0");
    }
    dialog->btnOK->Click();
    EXPECT_EQ(Read(L"A", L"IPSubnet"), L"255.255.0.0");
}

TEST_F(ConfigDialog, ShowsAtItsPlaceOrMovedIntoTheWorkArea) {
    Open();
    RECT work{}, r{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(dialog->Handle(), &r);
    if (r.right - r.left <= work.right - 401 && r.bottom - r.top <= work.bottom - 219) {
        EXPECT_EQ(r.left, 401);
        EXPECT_EQ(r.top, 219);
    }
    PlaceWindow(dialog->Handle(), work.right - 10, work.bottom - 10);
    GetWindowRect(dialog->Handle(), &r);
    EXPECT_EQ(r.right, work.right);
    EXPECT_EQ(r.bottom, work.bottom);
}

TEST_F(ConfigDialog, ManyOpeningsLeaveNothingBehind) {
    const auto counts = [] { return std::make_pair(GdiObjectCount(), UserObjectCount()); };
    {
        DialogAnswerer answerer;
        ExecuteConfigDialog();
    }
    const auto before = counts();
    const long simulated = TSimDispatch::LiveDispatchObjects();
    DialogAnswerer answerer;
    // What the simulated provider records of the calls is the test's, not the program's.
    sim->ClearCalls();
    const size_t heap = OwnHeapBytes();
    for (int i = 0; i < 50; ++i)
        ExecuteConfigDialog();
    sim->ClearCalls();
    // Flat to the byte under Wine; the slack is less than 50 openings keeping 8 bytes each.
    ASSERT_NE(heap, 0u) << "the heap is not counted here";
    EXPECT_LE(OwnHeapBytes(), heap + 256) << "bytes kept by 50 openings";
    EXPECT_EQ(answerer.Opened, 50);
    const auto after = counts();
    ASSERT_NE(before.first, 0u) << "GDI objects are not counted here";
    ASSERT_NE(before.second, 0u) << "USER objects are not counted here";
    EXPECT_LE(after.first, before.first + 2);
    EXPECT_LE(after.second, before.second + 2);
    // Every connection, query and row the dialogs took from the provider is given back.
    EXPECT_EQ(TSimDispatch::LiveDispatchObjects(), simulated);
}

TEST_F(ConfigDialog, HasItsDesignedClientAreaAndItsPanelsFollowAResize) {
    Open();
    const RECT client = dialog->ClientRect();
    EXPECT_EQ(client.right, dialog->Scale(540));
    EXPECT_EQ(client.bottom, dialog->Scale(384));
    const auto width = [](TWinControl* c) {
        RECT r{};
        GetWindowRect(c->Handle(), &r);
        return r.right - r.left;
    };
    EXPECT_EQ(width(dialog->pgcNet1), client.right);
    RECT outer{};
    GetWindowRect(dialog->Handle(), &outer);
    SetWindowPos(dialog->Handle(), nullptr, 0, 0, outer.right - outer.left + 60,
                 outer.bottom - outer.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(width(dialog->pgcNet1), client.right + 60);
    // The pages, the panels on them and the editors on theirs follow the strip.
    for (TWinControl* c :
         {static_cast<TWinControl*>(dialog->pnl1), static_cast<TWinControl*>(dialog->pnl2),
          static_cast<TWinControl*>(dialog->frmIPSetA),
          static_cast<TWinControl*>(dialog->frmIPSetB->pnl3),
          static_cast<TWinControl*>(dialog->frmIPSetB->pnl4)})
        EXPECT_EQ(width(c), width(dialog->ts1));
    EXPECT_GT(width(dialog->ts1), client.right);
}

TEST_F(ConfigDialog, ClosingWithTheFocusInTheAddressIsSafe) {
    Open();
    dialog->Show();
    dialog->pgcNet1->SetPageIndex(1);
    dialog->frmIPSetA->edtAIP->SetFocus();
    Application().Destroy(std::exchange(dialog, nullptr));
    SUCCEED();
}

} // namespace
