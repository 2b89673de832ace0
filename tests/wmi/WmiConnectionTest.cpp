// Error texts, credentials, the polling interval and connecting to a namespace.
#include <gtest/gtest.h>

#include "FakeWmi.h"
#include "framework/Strings.h"
#include "wmi/WmiConnection.h"
#include "wmi/WmiException.h"

namespace {

TEST(WmiErrorText, TableTextsThenCodeInHex) {
    EXPECT_EQ(WmiErrorText(static_cast<HRESULT>(0x80041001)), L"The call failed.: 80041001");
    EXPECT_EQ(WmiErrorText(static_cast<HRESULT>(0x8004100E)),
              L"The namespace specified could not be found.: 8004100E");
    EXPECT_EQ(WmiErrorText(static_cast<HRESULT>(0x80042002)),
              L"A WITHIN clause was not used in this query.: 80042002");
    EXPECT_EQ(WmiErrorText(static_cast<HRESULT>(0x80043001)),
              L"Reserved for future use: WBEM_E_RETRY_LATER: 80043001");
    EXPECT_EQ(WmiErrorText(static_cast<HRESULT>(0x80041044)), L"Reserved for future use.: 80041044");
    EXPECT_EQ(WmiErrorText(static_cast<HRESULT>(0x80041087)).rfind(L"Windows XP: ", 0), 0u);
    // The gaps of the range are not WMI's: the system's message serves.
    EXPECT_EQ(WmiErrorText(static_cast<HRESULT>(0x8004104A)),
              SystemErrorMessage(static_cast<long>(0x8004104A)) + L": 8004104A");
    EXPECT_EQ(WmiErrorText(E_ACCESSDENIED), SystemErrorMessage(E_ACCESSDENIED) + L": 80070005");
}

TEST(WmiCheck, RaisesForNegativeCodesOnly) {
    EXPECT_NO_THROW(WmiCheck(S_OK));
    EXPECT_NO_THROW(WmiCheck(S_FALSE));
    try {
        WmiCheck(static_cast<HRESULT>(0x80041010));
        FAIL();
    } catch (const TWmiException& e) {
        EXPECT_EQ(e.Code(), static_cast<HRESULT>(0x80041010));
        EXPECT_EQ(e.Message(), L"The specified class is not valid.: 80041010");
    }
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

class WmiConnectionTest : public ::testing::Test {
protected:
    TFakeWmi Wmi;
    TComponent Owner;
    TWmiConnection* Connection = Owner.Own<TWmiConnection>();
};

TEST_F(WmiConnectionTest, ConnectsWithItsSettingsAndImpersonates) {
    std::vector<std::string> events;
    Connection->BeforeConnect = [&](TComponent*) { events.push_back("before"); };
    Connection->AfterConnect = [&](TComponent*) { events.push_back(Connection->Connected() ? "after" : "?"); };
    Connection->SetMachineName(L"host");
    Connection->SetNameSpace(L"root\\wmi");
    Connection->Credentials().SetUserName(L"user");
    Connection->Credentials().SetPassword(L"pw");
    Connection->SetConnected(true);
    EXPECT_TRUE(Connection->Connected());
    EXPECT_EQ(events, (std::vector<std::string>{"before", "after"}));
    ASSERT_EQ(Wmi.Connects.size(), 1u);
    EXPECT_EQ(Wmi.Connects[0].Args,
              (std::vector<std::wstring>{L"host", L"root\\wmi", L"user", L"pw", L"", L"", L"0"}));
    EXPECT_FALSE(Wmi.Connects[0].HasContext);
    EXPECT_EQ(Wmi.ImpersonationLevel, 3);
}

TEST_F(WmiConnectionTest, OptionLinesBecomeNamedValuesInOrder) {
    Connection->Credentials().SetOptions({L"__ProviderArchitecture=64", L"Locale=zh", L"Empty="});
    Connection->SetConnected(true);
    ASSERT_EQ(Wmi.Connects.size(), 1u);
    ASSERT_TRUE(Wmi.Connects[0].HasContext);
    using TPair = std::pair<std::wstring, std::wstring>;
    EXPECT_EQ(Wmi.Connects[0].Context, (std::vector<TPair>{{L"__ProviderArchitecture", L"64"},
                                                           {L"Locale", L"zh"},
                                                           {L"Empty", L""}}));
}

TEST_F(WmiConnectionTest, SameMachineKeepsTheConnectionAnotherDropsIt) {
    Connection->SetConnected(true);
    Connection->SetMachineName(L"");
    EXPECT_TRUE(Connection->Connected());
    Connection->SetMachineName(L"other");
    EXPECT_FALSE(Connection->Connected());
    EXPECT_EQ(Wmi.Connects.size(), 1u);  // not opened again
    Connection->Credentials().SetUserName(L"someone");
    EXPECT_FALSE(Connection->Connected());
}

TEST_F(WmiConnectionTest, StoredAsConnectedConnectsWhenLoadingEnds) {
    TComponent form;
    form.BeginLoading();
    auto* stored = form.Own<TWmiConnection>();
    stored->SetNameSpace(L"root\\cimv2");
    stored->SetConnected(true);
    stored->SetMachineName(L"localhost");  // a setting read after Connected keeps it
    EXPECT_FALSE(stored->Connected());
    EXPECT_TRUE(Wmi.Connects.empty());
    form.EndLoading();
    EXPECT_TRUE(stored->Connected());
    EXPECT_EQ(Wmi.Connects.size(), 1u);
}

TEST_F(WmiConnectionTest, FailedConnectRaisesAndStaysDisconnected) {
    Wmi.ConnectError = static_cast<HRESULT>(0x8004100E);
    try {
        Connection->SetConnected(true);
        FAIL();
    } catch (const TWmiException& e) {
        EXPECT_EQ(e.Message(), L"The namespace specified could not be found.: 8004100E");
    }
    EXPECT_FALSE(Connection->Connected());
    EXPECT_EQ(Connection->GetWmiServices(), nullptr);
}

TEST_F(WmiConnectionTest, ObjectAtPathIsFetchedOnceAndDroppedWithTheConnection) {
    Wmi.Objects[L"Win32_NetworkAdapter.DeviceID=\"1\""] = MakeWmiObject(L"Win32_NetworkAdapter", {});
    Connection->SetObjectPath(L"Win32_NetworkAdapter.DeviceID=\"1\"");
    EXPECT_EQ(Connection->GetWmiObject(), nullptr);  // not connected
    Connection->SetConnected(true);
    ComPtr<IDispatch> first = Connection->GetWmiObject();
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(Connection->GetWmiObject(), first);
    ASSERT_EQ(Wmi.Gets.size(), 1u);
    EXPECT_EQ(Wmi.Gets[0].second, 0x20000);
    // Moving to another machine must not leave the first machine's object behind.
    Connection->SetMachineName(L"other");
    EXPECT_EQ(Connection->GetWmiObject(), nullptr);
    Connection->SetMachineName(L"");
    Connection->SetConnected(true);
    Connection->GetWmiObject();
    EXPECT_EQ(Wmi.Gets.size(), 2u);
}

}  // namespace

namespace {

TEST_F(WmiConnectionTest, PollingHandsEventsOnSkipsTimeOutsAndRaisesOtherFailures) {
    auto* component = Owner.Own<TWmiComponent>();
    std::vector<HRESULT> answers{static_cast<HRESULT>(0x80043001), S_OK, static_cast<HRESULT>(0x80041001)};
    size_t next = 0;
    std::vector<int> waits;
    auto source = TFakeObject::Create();
    source->On(L"NextEvent", [&](const std::vector<const VARIANT*>& args) {
        waits.push_back(args.at(0)->lVal);
        const HRESULT answer = answers.at(next++);
        if (FAILED(answer)) throw TFakeFailure{answer};
        return DispatchValue(MakeWmiObject(L"MSNdis_StatusMediaConnect", {}).Get());
    });
    int events = 0, polls = 0;
    component->OnPoll = [&](TComponent*) { ++polls; };
    component->PollList().push_back({source, [&](IDispatch*) { ++events; }});
    component->Poll();
    EXPECT_EQ(events, 0);
    component->Poll();
    EXPECT_EQ(events, 1);
    EXPECT_THROW(component->Poll(), TWmiException);
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(waits, (std::vector<int>{10, 10, 10}));
    // The timer runs only while connected, and disconnecting empties the list.
    component->SetActive(true);
    EXPECT_TRUE(component->PollTimer()->Enabled());
    component->SetActive(false);
    EXPECT_FALSE(component->PollTimer()->Enabled());
    EXPECT_TRUE(component->PollList().empty());
}

}  // namespace
