#pragma once
// The demo's two networks and the two profiles for them, as the tests of automatic switching
// (in the tray and in the service) use them: 内网 static, 外网 by DHCP.
#include "fakes/SimulatedWmi.h"
#include "support/TempFolder.h"

const char kDemoProfiles[] =
    "[NET]\r\nNET=A\r\nAutoSwitch=1\r\n"
    "[A]\r\nName=Inner\r\nIPAddress=10.20.30.41\r\nIPSubnet=255.255.255.0\r\n"
    "DefaultIPGateway=10.20.30.1\r\nDNSEnabled=1\r\n"
    "[B]\r\nName=Outer\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n";

// The default adapters in the demo's networks, leases quick to come, and the profiles in the
// folder's Config.ini, which becomes the settings store.
inline void UseDemoNetworks(TSimulatedWmi& sim, const TempFolder& folder) {
    sim.SetDefaultAdapters();
    TSimProvider& provider = *TSimProvider::Installed();
    provider.SetDemoNetworks();
    for (TSimNetwork& network : provider.Networks())
        network.LeaseDelayMs = 150;
    OpenSettingsAt(folder.File(L"Config.ini"));
    folder.WriteBytes(L"Config.ini", kDemoProfiles);
}
