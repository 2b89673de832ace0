#pragma once
// The network of simulation mode: the simulated machine's networks answer the program's ARP
// requests and report its leases, so nothing is ever sent on the real one.
#include <cstdint>

#include "core/NetworkProbe.h"

// Asks the installed simulated provider (none installed: nothing answers). Safe from a worker.
INetworkProbe& SimulatedNetworkProbe();
// Milliseconds awake, as automatic switching counts them, less the time of simulated sleeps.
uint64_t SimulatedAwakeMs();
