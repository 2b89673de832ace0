#pragma once
// Whether the adapter is on a profile's network: its gateway answers an ARP request (with the
// hardware address learned for the profile, when one is), or a DHCP lease comes. Asked after a
// connect, before automatic switching changes anything, and after every switch, to learn.
#include <windows.h>

#include <string>

#include "core/NetworkProbe.h"
#include "core/Settings.h"

// What to ask of one profile's network, on one adapter.
struct TNetworkQuestion {
    std::wstring Profile;     // "A" or "B"
    std::wstring AdapterGuid; // the interface's GUID, "{...}"
    bool Dhcp = false;
    std::wstring Gateway; // a static profile's; empty: nothing answers
    TKnownNetwork Known;
};
// The question for the profile of that section, as Config.ini holds it.
TNetworkQuestion NetworkQuestion(const std::wstring& profile, const std::wstring& adapterGuid);

struct TNetworkAnswer {
    bool Answered = false; // the gateway answered, or a lease came
    bool Same = false;     // and it is the network known for the profile (or none is known)
    TKnownNetwork Heard;   // what answered
};

// How long the network is given: the gateway about 3 s, a lease about 10 s (Windows renews it
// after a connect), and the pause between tries.
struct TProbeTimes {
    DWORD GatewayMs = 3000, LeaseMs = 10000, PauseMs = 500;
};

// Asks until the network answers or its time is up; blocks, so it runs on a worker. A set
// cancel event ends it at the next try, answering nothing.
TNetworkAnswer AskNetwork(INetworkProbe& probe, const TNetworkQuestion& question, HANDLE cancel,
                          const TProbeTimes& times = {});
