// Error texts, credentials, the polling interval and connecting to a namespace.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "SimulatedWmiFixture.h"
#include "framework/Strings.h"
#include "wbem/WbemScripting.h"
#include "support/Raised.h"
#include "wmi/WmiConnection.h"
#include "wmi/WmiAutomation.h"

namespace {

using Microsoft::WRL::ComPtr;

// The published texts, as the table lists them: code, constant name, text; a header line first.
const char* const kPublishedTexts[] = {
#include "WmiErrorTable.inc"
};

std::vector<std::string> Columns(const std::string& line) {
    std::vector<std::string> columns;
    for (size_t start = 0;;) {
        const size_t tab = line.find('\t', start);
        columns.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return columns;
        start = tab + 1;
    }
}

TEST(WmiErrorText, EveryPublishedCodeRaisesWithItsTextThenItsCodeInHex) {
    ASSERT_EQ(std::size(kPublishedTexts), 128u) << "a header and 127 codes";
    EXPECT_EQ(Columns(kPublishedTexts[0]), (std::vector<std::string>{"code", "name", "text"}));
    for (size_t row = 1; row < std::size(kPublishedTexts); ++row) {
        const std::vector<std::string> columns = Columns(kPublishedTexts[row]);
        ASSERT_EQ(columns.size(), 3u) << kPublishedTexts[row];
        const std::string& code = columns[0];
        const auto value = static_cast<HRESULT>(std::stoul(code, nullptr, 16));
        // An empty text leaves the code to the system's message.
        const std::wstring text =
            columns[2].empty() ? SystemErrorMessage(value) : FromUtf8(columns[2]);
        const std::wstring digits = FromUtf8(code.substr(2));
        try {
            WmiCheck(value);
            ADD_FAILURE() << code << " raised nothing";
        } catch (const TWmiException& e) {
            EXPECT_EQ(e.Code(), value) << code;
            EXPECT_EQ(e.Message(), text + L": " + digits) << columns[1];
        }
    }
}

TEST(WmiErrorText, CodesOutsideTheTableTakeTheSystemsMessage) {
    // The gaps of WMI's range are not WMI's.
    EXPECT_EQ(WmiErrorText(static_cast<HRESULT>(0x8004104A)),
              SystemErrorMessage(static_cast<long>(0x8004104A)) + L": 8004104A");
    EXPECT_EQ(WmiErrorText(E_ACCESSDENIED), SystemErrorMessage(E_ACCESSDENIED) + L": 80070005");
}

TEST(WmiCheck, RaisesForNegativeCodesOnly) {
    WmiCheck(S_OK);
    WmiCheck(S_FALSE);
    EXPECT_EQ(RaisedMessage<TWmiException>([] { WmiCheck(E_ACCESSDENIED); }),
              WmiErrorText(E_ACCESSDENIED));
}

TEST(WmiCredentials, ChangesAreReportedOnceAndAssignCopiesAll) {
    TWmiCredentials a;
    int changes = 0;
    a.OnChange = [&] { ++changes; };
    a.SetUserName(L"admin");
    a.SetUserName(L"admin");
    a.SetOptions({L"x=1"});
    a.SetOptions({L"x=1"});
    EXPECT_EQ(changes, 2);

    TWmiCredentials b;
    b.SetAuthority(L"kerberos:host");
    b.SetLocale(L"MS_804");
    b.SetOptions({L"a=1", L"b=2"});
    b.SetPassword(L"secret");
    b.SetUserName(L"user");
    a.Assign(b);
    EXPECT_EQ(changes, 7);
    EXPECT_EQ(a.Authority(), L"kerberos:host");
    EXPECT_EQ(a.Locale(), L"MS_804");
    EXPECT_EQ(a.Options(), b.Options());
    EXPECT_EQ(a.Password(), L"secret");
    EXPECT_EQ(a.UserName(), L"user");
}

TEST(WmiComponent, PoolingIntervalIsHalfItsTenthsOfASecond) {
    TComponent owner;
    auto* component = owner.Own<TWmiComponent>();
    EXPECT_EQ(component->PoolingInterval(), 50);
    EXPECT_EQ(component->PollTimer()->Interval(), 2500u);
    component->SetPoolingInterval(10);
    EXPECT_EQ(component->PollTimer()->Interval(), 500u);
    EXPECT_EQ(component->PoolingInterval(), 10);
}

using WmiConnectionTest = SimulatedWmiTest;

TEST_F(WmiConnectionTest, ConnectsWithItsSettingsAndImpersonates) {
    std::vector<std::string> events;
    Connection->BeforeConnect = [&](TComponent*) { events.push_back("before"); };
    Connection->AfterConnect = [&](TComponent*) {
        events.push_back(Connection->Connected() ? "after" : "?");
    };
    Connection->SetMachineName(L".");
    Connection->SetNameSpace(L"root\\WMI");
    Connection->Credentials().SetUserName(L"user");
    Connection->Credentials().SetPassword(L"pw");
    Connection->Credentials().SetLocale(L"MS_804");
    // WMI refuses credentials on a local connection; the arguments went out all the same.
    try {
        Connection->SetConnected(true);
        FAIL();
    } catch (const TWmiException& e) {
        EXPECT_EQ(e.Code(), static_cast<HRESULT>(0x80041064));
        EXPECT_EQ(e.Message(), WmiErrorText(e.Code()));
    }
    EXPECT_FALSE(Connection->Connected());
    EXPECT_EQ(events, (std::vector<std::string>{"before"}));
    ASSERT_EQ(Wmi.Connects().size(), 1u);
    const TSimConnect& refused = Wmi.Connects()[0];
    EXPECT_EQ(refused.Server, L".");
    EXPECT_EQ(refused.NameSpace, L"root\\WMI");
    EXPECT_EQ(refused.User, L"user");
    EXPECT_EQ(refused.Password, L"pw");
    EXPECT_EQ(refused.Locale, L"MS_804");
    EXPECT_EQ(refused.Flags, 0);
    EXPECT_FALSE(refused.HasContext);

    TWmiCredentials none;
    Connection->SetCredentials(none);
    Connection->SetConnected(true);
    EXPECT_TRUE(Connection->Connected());
    EXPECT_EQ(events, (std::vector<std::string>{"before", "before", "after"}));
    EXPECT_EQ(Wmi.ImpersonationLevel(), 3);
}

TEST_F(WmiConnectionTest, OptionLinesBecomeNamedValuesInOrder) {
    Connection->Credentials().SetOptions({L"__ProviderArchitecture=64", L"Locale=zh", L"Empty="});
    Connection->SetConnected(true);
    ASSERT_EQ(Wmi.Connects().size(), 1u);
    const TSimConnect& connect = Wmi.Connects()[0];
    ASSERT_TRUE(connect.HasContext);
    ASSERT_EQ(connect.Context.size(), 3u);
    EXPECT_EQ(connect.Context[0].Name, L"__ProviderArchitecture");
    EXPECT_EQ(connect.Context[0].Value, L"64");
    EXPECT_EQ(connect.Context[0].Flags, 0);
    EXPECT_EQ(connect.Context[1].Name, L"Locale");
    EXPECT_EQ(connect.Context[2].Name, L"Empty");
    EXPECT_EQ(connect.Context[2].Value, L"");
}

TEST_F(WmiConnectionTest, SameMachineKeepsTheConnectionAnotherDropsIt) {
    Connection->SetConnected(true);
    Connection->SetMachineName(L"");
    Connection->SetNameSpace(L"root\\cimv2");
    EXPECT_TRUE(Connection->Connected());
    Connection->SetMachineName(L".");
    EXPECT_FALSE(Connection->Connected());
    EXPECT_EQ(Wmi.Connects().size(), 1u); // not opened again
    Connection->SetConnected(true);
    EXPECT_EQ(Wmi.Connects().back().Server, L".");
    Connection->Credentials().SetAuthority(L"ntlmdomain:HOME");
    EXPECT_FALSE(Connection->Connected());
}

TEST_F(WmiConnectionTest, StoredAsConnectedConnectsWhenLoadingEnds) {
    TComponent form;
    form.BeginLoading();
    auto* stored = form.Own<TWmiConnection>();
    stored->SetConnected(true);
    stored->SetMachineName(L"."); // a setting read after Connected keeps it
    EXPECT_FALSE(stored->Connected());
    EXPECT_TRUE(Wmi.Connects().empty());
    form.EndLoading();
    EXPECT_TRUE(stored->Connected());
    EXPECT_EQ(Wmi.Connects().size(), 1u);
}

TEST_F(WmiConnectionTest, MissingNamespaceRaisesAndStaysDisconnected) {
    Connection->SetNameSpace(L"root\\nothere");
    EXPECT_EQ(RaisedMessage<TWmiException>([&] { Connection->SetConnected(true); }),
              L"The namespace specified could not be found.: 8004100E");
    EXPECT_FALSE(Connection->Connected());
    EXPECT_EQ(Connection->GetWmiServices(), nullptr);
}

TEST_F(WmiConnectionTest, ObjectAtPathIsFetchedOnceAndDroppedWithTheConnection) {
    Connection->SetObjectPath(L"Win32_NetworkAdapterConfiguration.Index=8");
    EXPECT_EQ(Connection->GetWmiObject(), nullptr); // not connected
    Connection->SetConnected(true);
    ComPtr<IDispatch> first = Connection->GetWmiObject();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Connection->GetWmiObject(), first);
    ASSERT_EQ(Wmi.Gets().size(), 1u);
    EXPECT_EQ(Wmi.Gets()[0].Flags, kWbemFlagUseAmendedQualifiers);
    EXPECT_EQ(WmiInt(WmiGet(first.Get(), L"Index")), 8);
    // Moving to another machine must not leave the first machine's object behind.
    Connection->SetMachineName(L".");
    EXPECT_EQ(Connection->GetWmiObject(), nullptr);
    Connection->SetConnected(true);
    Connection->GetWmiObject();
    EXPECT_EQ(Wmi.Gets().size(), 2u);
    Connection->SetObjectPath(L"Win32_NetworkAdapterConfiguration.Index=1");
    EXPECT_EQ(WmiInt(WmiGet(Connection->GetWmiObject().Get(), L"Index")), 1);
}

// An event source that answers NextEvent with what it is told.
class TEventSource : public IDispatch {
public:
    std::vector<HRESULT> Answers;
    std::vector<int> Waits;
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        *object = riid == IID_IUnknown || riid == IID_IDispatch ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; } // lives on the test's stack
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
        *ids = 1;
        return std::wstring(names[0]) == L"NextEvent" ? S_OK : DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* info, UINT*) override {
        Waits.push_back(params->rgvarg[0].lVal);
        const HRESULT answer = Answers.at(Waits.size() - 1);
        if (FAILED(answer)) {
            *info = EXCEPINFO{};
            info->scode = answer;
            return DISP_E_EXCEPTION;
        }
        VariantInit(result);
        result->vt = VT_DISPATCH;
        result->pdispVal = this;
        return S_OK;
    }
};

TEST_F(WmiConnectionTest, PollingHandsEventsOnSkipsTimeOutsAndRaisesOtherFailures) {
    auto* component = Owner.Own<TWmiComponent>();
    TEventSource source;
    source.Answers = {kWbemErrTimedOut, S_OK, static_cast<HRESULT>(0x80041001)};
    int events = 0, polls = 0;
    component->OnPoll = [&](TComponent*) { ++polls; };
    component->AddPollSubscription({&source, [&](IDispatch*) { ++events; }});
    component->Poll();
    EXPECT_EQ(events, 0);
    component->Poll();
    EXPECT_EQ(events, 1);
    EXPECT_THROW(component->Poll(), TWmiException);
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(source.Waits, (std::vector<int>{10, 10, 10}));
    // The timer runs only while connected with something to poll, and disconnecting empties
    // the list.
    component->SetActive(true);
    EXPECT_TRUE(component->PollTimer()->Enabled());
    component->SetActive(false);
    EXPECT_FALSE(component->PollTimer()->Enabled());
    EXPECT_TRUE(component->PollList().empty());
}

TEST_F(WmiConnectionTest, AConnectionWithNothingToPollRunsNoTimer) {
    auto* component = Owner.Own<TWmiComponent>();
    EXPECT_FALSE(component->PollTimer()->Enabled()) << "inactive";
    component->SetActive(true);
    EXPECT_FALSE(component->PollTimer()->Enabled()) << "active, nothing polled";
    TEventSource source;
    component->AddPollSubscription({&source, nullptr});
    EXPECT_TRUE(component->PollTimer()->Enabled());
    component->SetActive(false); // lets go of the source before it goes
}

} // namespace
