#pragma once
// A worker thread that subscribes to one event query in an apartment of its own, waits for
// events and hands each one over to the thread that started it, which runs the receiver while
// the worker waits. Subscribing happens before the constructor returns, so a subscription WMI
// refuses raises there.
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Scoped.h"
#include "wmi/WmiCredentials.h"

// What the worker subscribes with.
struct TWmiEventSubscription {
    std::wstring MachineName, NameSpace, Query;
    TWmiCredentials Credentials;
    std::vector<int> Privileges;
};

// What runs on the starting thread: each event, and the loss of a subscription WMI dropped
// (hadWorked: it had answered before).
struct TWmiEventReceiver {
    std::function<void(IDispatch* event)> Deliver;
    std::function<void(bool hadWorked)> Lost;
};

struct TWmiEventShared;

class TWmiEventThread {
public:
    // Starts the worker and waits until it has subscribed; raises what subscribing raised.
    TWmiEventThread(TWmiEventSubscription subscription, TWmiEventReceiver receiver);
    ~TWmiEventThread();
    TWmiEventThread(const TWmiEventThread&) = delete;
    TWmiEventThread& operator=(const TWmiEventThread&) = delete;
    bool Finished() const;
    // Ends the worker. Inside its own delivery the thread cannot be waited for: it is let go
    // and ends by itself once the delivery has unwound.
    void Stop();

private:
    static DWORD WINAPI Run(void* parameter);
    static void Loop(TWmiEventShared& shared, IDispatch* source, IDispatch* handOver);

    std::shared_ptr<TWmiEventShared> FShared;
    ScopedHandle FThread;
};
