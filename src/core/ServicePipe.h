#pragma once
// The service's named pipe: a server that answers the requests of ServiceProtocol.h on one I/O
// thread of its own, and the client the tray program asks it with. The server never waits for
// a client: a connection is closed when it sends anything but one well-formed request at a
// time, does not take its answer within a second, or has no request in hand for a few seconds.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "core/ServiceProtocol.h"
#include "framework/Scoped.h"

constexpr const wchar_t* ServicePipeName = L"\\\\.\\pipe\\Tarnwick";
// Who may open the pipe: SYSTEM and Administrators fully; an interactive user reads and writes
// data (FILE_GENERIC_READ | FILE_WRITE_DATA) and no more, since FILE_APPEND_DATA is, for a
// pipe, the right to create an instance of it and answer others; nobody from the network.
// Protected: nothing is inherited.
constexpr const wchar_t* ServicePipeSddl =
    L"D:P(D;;FA;;;NU)(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x12008b;;;IU)";
constexpr int ServicePipeInstances = 4;

class TServicePipeServer {
    struct TQueue;

public:
    // The answer to one request. It may be sent later from any thread, once; a connection that
    // has gone by then takes nothing, and so does a server that has stopped.
    class TReply {
    public:
        void Send(const TServiceState& state) const;

    private:
        friend class TServicePipeServer;
        TReply(std::weak_ptr<TQueue> queue, uint64_t request)
            : FQueue(std::move(queue)), FRequest(request) {}
        std::weak_ptr<TQueue> FQueue;
        uint64_t FRequest;
    };
    // Called on the server's I/O thread for the requests State, SwitchToA and SwitchToB; it must
    // not block. WaitForChange is the server's own: it answers with the next PublishChange.
    using THandler = std::function<void(TServiceRequestKind kind, TReply reply)>;

    explicit TServicePipeServer(std::wstring pipeName = ServicePipeName);
    ~TServicePipeServer();
    TServicePipeServer(const TServicePipeServer&) = delete;
    TServicePipeServer& operator=(const TServicePipeServer&) = delete;

    // Makes the pipe's instances and starts serving; false when the name is held already (by
    // another process or another server) or the pipe cannot be made.
    bool Start(THandler handler);
    // Ends the I/O thread and closes every connection, within a moment whatever the clients do.
    // Not from the handler, which runs on that thread.
    void Stop();
    // Answers every connection waiting for a change with state; any thread.
    void PublishChange(const TServiceState& state);

private:
    struct TConnection;
    class TIoLoop;

    std::wstring FPipeName;
    std::shared_ptr<TQueue> FQueue;
    ScopedHandle FStop;
    std::unique_ptr<TIoLoop> FLoop;
    std::thread FThread;
};

// Asks the service on pipeName and answers its answer, read strictly and of the kind asked;
// none when no server answered in timeoutMs, or the one that did is not the process
// serverProcessId names (when given): a pipe's name proves nothing. Also none as soon as the
// event cancel (when given) is set.
std::optional<TServiceState> AskService(TServiceRequestKind kind, DWORD timeoutMs,
                                        const std::wstring& pipeName = ServicePipeName,
                                        std::optional<DWORD> serverProcessId = std::nullopt,
                                        HANDLE cancel = nullptr);
