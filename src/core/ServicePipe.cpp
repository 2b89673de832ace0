#include "core/ServicePipe.h"

#include <sddl.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <utility>
#include <vector>

#include "core/ProgramFolder.h"

namespace {
// A request is eight bytes: a longer message is refused without being read further.
constexpr DWORD kReadBufferSize = 64;
// A client that does not take its answer within this is not waited for.
constexpr ULONGLONG kWriteLimitMs = 1000;
// A connection with no request in hand: a client sends one as soon as it connects and the next
// as soon as it has its answer, so one that sends nothing holds an instance others need.
constexpr ULONGLONG kIdleLimitMs = 3000;
// An instance whose client left before it was taken listens again after this.
constexpr ULONGLONG kListenAgainMs = 50;

ScopedHandle ManualEvent() {
    return ScopedHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

// Waits for an overlapped operation on handle for at most ms; cancels it when it has not ended
// then, and waits for the cancellation, so that its buffer and OVERLAPPED may go. Answers
// whether it succeeded in time, with the bytes it moved.
bool FinishWithin(HANDLE handle, OVERLAPPED& overlapped, DWORD ms, DWORD& moved,
                  HANDLE cancel = nullptr) {
    const HANDLE events[] = {overlapped.hEvent, cancel};
    if (WaitForMultipleObjects(cancel ? 2 : 1, events, FALSE, ms) != WAIT_OBJECT_0)
        CancelIoEx(handle, &overlapped);
    return GetOverlappedResult(handle, &overlapped, &moved, TRUE) != FALSE;
}
// Waits ms (no longer than the event cancel takes to be set, when given): whether it was set.
bool CancelledWithin(HANDLE cancel, DWORD ms) {
    if (cancel) return WaitForSingleObject(cancel, ms) == WAIT_OBJECT_0;
    Sleep(ms);
    return false;
}
} // namespace

// What other threads hand to the I/O thread: answers to requests, and published changes.
struct TServicePipeServer::TQueue {
    struct TItem {
        uint64_t Request; // 0: a published change
        TServiceState State;
    };
    std::mutex Lock;
    std::vector<TItem> Items;
    bool Closed = true;
    // Requests are numbered for the server's life: an answer from an earlier start finds none.
    uint64_t Requests = 0;
    ScopedHandle Wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};

    void Post(uint64_t request, const TServiceState& state) {
        std::lock_guard guard(Lock);
        if (Closed) return;
        Items.push_back({request, state});
        SetEvent(Wake.Get());
    }
    std::vector<TItem> Take() {
        std::lock_guard guard(Lock);
        return std::exchange(Items, {});
    }
};

void TServicePipeServer::TReply::Send(const TServiceState& state) const {
    if (const std::shared_ptr<TQueue> queue = FQueue.lock()) queue->Post(FRequest, state);
}

// One instance of the pipe and the client connected to it, if any. Connecting uses the read's
// OVERLAPPED; a read stays pending for as long as a client is connected, so that one that goes
// away, or speaks out of turn, is noticed at once.
struct TServicePipeServer::TConnection {
    ScopedHandle Pipe;
    ScopedHandle ReadEvent = ManualEvent(), WriteEvent = ManualEvent();
    OVERLAPPED ReadOverlapped{}, WriteOverlapped{};
    bool ConnectPending = false, ConnectedAlready = false, Connected = false;
    bool ReadPending = false, WritePending = false;
    uint8_t ReadBuffer[kReadBufferSize];
    TServiceState Answer;
    // The request whose answer the owner has yet to send (0: none), and its kind.
    uint64_t Request = 0;
    TServiceRequestKind Kind = TServiceRequestKind::State;
    bool WaitingForChange = false;
    // The number of the last change this connection was sent (0: none yet).
    uint64_t ChangeSent = 0;
    ULONGLONG WriteDeadline = 0, IdleDeadline = 0, ListenAgainAt = 0;

    bool Busy() const { return Request != 0 || WaitingForChange || WritePending; }
    // Nothing of the last client's is left.
    void Forget() {
        ReadOverlapped = {};
        ReadOverlapped.hEvent = ReadEvent.Get();
        WriteOverlapped = {};
        WriteOverlapped.hEvent = WriteEvent.Get();
        ConnectPending = ConnectedAlready = Connected = ReadPending = WritePending = false;
        Request = 0;
        WaitingForChange = false;
        ChangeSent = 0;
    }
};

class TServicePipeServer::TIoLoop {
public:
    TIoLoop(std::shared_ptr<TQueue> queue, THandler handler)
        : FQueue(std::move(queue)), FHandler(std::move(handler)) {}

    // Makes the instances, the first one alone allowed to make the name; false when it is taken.
    bool Create(const std::wstring& name) {
        ScopedSecurityDescriptor descriptor;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(ServicePipeSddl, SDDL_REVISION_1,
                                                                  descriptor.Receive(), nullptr))
            return false;
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
        for (size_t i = 0; i < FConnections.size(); ++i) {
            TConnection& c = FConnections[i];
            if (!c.ReadEvent || !c.WriteEvent) return false;
            c.ReadOverlapped.hEvent = c.ReadEvent.Get();
            c.WriteOverlapped.hEvent = c.WriteEvent.Get();
            // The out buffer holds one answer: a client that does not read its answers makes
            // the next write wait, and the write's time limit drops it.
            c.Pipe.Reset(CreateNamedPipeW(
                name.c_str(),
                PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED |
                    (i == 0 ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
                PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                ServicePipeInstances, sizeof(TServiceState), kReadBufferSize, 0, &attributes));
            if (!c.Pipe) return false;
        }
        for (TConnection& c : FConnections)
            Listen(c);
        return true;
    }

    // Serves until stop is set. Whatever ends the loop, no operation is left pending on the
    // buffers and OVERLAPPEDs that go with this object.
    void Run(HANDLE stop) {
        try {
            Serve(stop);
        } catch (...) {
            // A handler that throws is dropped with its connection; this is anything else.
        }
        for (TConnection& c : FConnections)
            Abandon(c);
    }

private:
    void Serve(HANDLE stop) {
        std::array<HANDLE, 2 + 2 * ServicePipeInstances> handles{stop, FQueue->Wake.Get()};
        for (size_t i = 0; i < FConnections.size(); ++i) {
            handles[2 + 2 * i] = FConnections[i].ReadEvent.Get();
            handles[3 + 2 * i] = FConnections[i].WriteEvent.Get();
        }
        for (;;) {
            ULONGLONG next = ~0ULL;
            for (const TConnection& c : FConnections) {
                if (c.WritePending) next = std::min(next, c.WriteDeadline);
                if (c.Connected && !c.Busy()) next = std::min(next, c.IdleDeadline);
                if (!c.Connected && !c.ConnectPending) next = std::min(next, c.ListenAgainAt);
            }
            const ULONGLONG now = GetTickCount64();
            const DWORD timeout =
                next == ~0ULL ? INFINITE : DWORD(next > now ? std::min(next - now, 60000ULL) : 0);
            const DWORD woken =
                WaitForMultipleObjects(DWORD(handles.size()), handles.data(), FALSE, timeout);
            if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) return;
            for (const TQueue::TItem& item : FQueue->Take())
                Deliver(item);
            for (TConnection& c : FConnections)
                Poll(c);
        }
    }

    void Listen(TConnection& c) {
        c.Connected = c.ConnectedAlready = false;
        ResetEvent(c.ReadEvent.Get());
        if (ConnectNamedPipe(c.Pipe.Get(), &c.ReadOverlapped) ||
            GetLastError() == ERROR_IO_PENDING) {
            c.ConnectPending = true;
        } else if (GetLastError() == ERROR_PIPE_CONNECTED) {
            // A client came between the instance's making (or last disconnect) and now; it is
            // taken on the next turn of the loop.
            c.ConnectPending = c.ConnectedAlready = true;
            SetEvent(c.ReadEvent.Get());
        } else {
            // A client that connected and left at once: the instance is freed and listens again
            // a moment later.
            DisconnectNamedPipe(c.Pipe.Get());
            c.ConnectPending = c.ConnectedAlready = false;
            c.ListenAgainAt = GetTickCount64() + kListenAgainMs;
        }
    }

    // Ends whatever the connection is doing and makes the instance wait for the next client.
    void Drop(TConnection& c) {
        Abandon(c);
        c.Forget();
        Listen(c);
    }

    void Abandon(TConnection& c) {
        DisconnectNamedPipe(c.Pipe.Get());
        DWORD moved = 0;
        if (c.ConnectPending && !c.ConnectedAlready)
            FinishWithin(c.Pipe.Get(), c.ReadOverlapped, 0, moved);
        if (c.ReadPending) FinishWithin(c.Pipe.Get(), c.ReadOverlapped, 0, moved);
        if (c.WritePending) FinishWithin(c.Pipe.Get(), c.WriteOverlapped, 0, moved);
        c.ConnectPending = c.ConnectedAlready = c.ReadPending = c.WritePending = false;
        ResetEvent(c.ReadEvent.Get());
        ResetEvent(c.WriteEvent.Get());
    }

    void Read(TConnection& c) {
        ResetEvent(c.ReadEvent.Get());
        if (ReadFile(c.Pipe.Get(), c.ReadBuffer, kReadBufferSize, nullptr, &c.ReadOverlapped) ||
            GetLastError() == ERROR_IO_PENDING)
            c.ReadPending = true;
        else
            Drop(c); // ERROR_MORE_DATA included: the message is longer than any request
    }

    void Write(TConnection& c, const TServiceState& state, TServiceRequestKind kind) {
        c.Answer = state;
        c.Answer.Magic = ServiceStateMagic;
        c.Answer.Kind = static_cast<uint16_t>(kind);
        ResetEvent(c.WriteEvent.Get());
        if (WriteFile(c.Pipe.Get(), &c.Answer, sizeof c.Answer, nullptr, &c.WriteOverlapped) ||
            GetLastError() == ERROR_IO_PENDING) {
            c.WritePending = true;
            c.WriteDeadline = GetTickCount64() + kWriteLimitMs;
        } else {
            Drop(c);
        }
    }

    void Poll(TConnection& c) {
        DWORD moved = 0;
        if (c.ConnectPending) {
            const bool connected =
                c.ConnectedAlready ||
                GetOverlappedResult(c.Pipe.Get(), &c.ReadOverlapped, &moved, FALSE);
            if (!connected && GetLastError() == ERROR_IO_INCOMPLETE) return;
            c.ConnectPending = c.ConnectedAlready = false;
            if (!connected) return Drop(c);
            c.Connected = true;
            c.IdleDeadline = GetTickCount64() + kIdleLimitMs;
            Read(c);
            return;
        }
        if (!c.Connected) {
            if (GetTickCount64() >= c.ListenAgainAt) Listen(c);
            return;
        }
        // The write first: a client that has read its answer may have sent the next request.
        if (c.WritePending) {
            if (GetOverlappedResult(c.Pipe.Get(), &c.WriteOverlapped, &moved, FALSE)) {
                c.WritePending = false;
                ResetEvent(c.WriteEvent.Get());
                if (moved != sizeof c.Answer) return Drop(c);
                c.IdleDeadline = GetTickCount64() + kIdleLimitMs;
            } else if (GetLastError() != ERROR_IO_INCOMPLETE ||
                       GetTickCount64() >= c.WriteDeadline) {
                return Drop(c);
            }
        }
        if (c.ReadPending) {
            if (GetOverlappedResult(c.Pipe.Get(), &c.ReadOverlapped, &moved, FALSE)) {
                c.ReadPending = false;
                const std::optional<TServiceRequest> request =
                    ParseServiceRequest(c.ReadBuffer, moved);
                // A request while the last is unanswered is out of turn.
                if (!request || c.Busy()) return Drop(c);
                if (!Accept(c, request->Kind)) return;
                Read(c);
            } else if (GetLastError() != ERROR_IO_INCOMPLETE) {
                return Drop(c); // gone, or a message longer than the buffer
            }
        }
        if (c.Connected && !c.Busy() && GetTickCount64() >= c.IdleDeadline) Drop(c);
    }

    // Takes a well-formed request; false when the connection was dropped meanwhile.
    bool Accept(TConnection& c, TServiceRequestKind kind) {
        if (kind == TServiceRequestKind::WaitForChange) {
            // A change published since this connection's last one was not seen by its client:
            // it is sent now rather than lost.
            if (c.ChangeSent != 0 && c.ChangeSent < FChanges) {
                c.ChangeSent = FChanges;
                Write(c, FLastChange, kind);
                return c.Connected;
            }
            c.WaitingForChange = true;
            return true;
        }
        c.Request = ++FQueue->Requests;
        c.Kind = kind;
        try {
            FHandler(kind, TReply(FQueue, c.Request));
        } catch (...) {
            Drop(c);
            return false;
        }
        return true;
    }

    void Deliver(const TQueue::TItem& item) {
        if (item.Request == 0) {
            ++FChanges;
            FLastChange = item.State;
            for (TConnection& c : FConnections) {
                if (!c.Connected || !c.WaitingForChange) continue;
                c.WaitingForChange = false;
                c.ChangeSent = FChanges;
                Write(c, item.State, TServiceRequestKind::WaitForChange);
            }
            return;
        }
        for (TConnection& c : FConnections) {
            if (!c.Connected || c.Request != item.Request) continue;
            c.Request = 0;
            Write(c, item.State, c.Kind);
        }
    }

    std::shared_ptr<TQueue> FQueue;
    THandler FHandler;
    std::array<TConnection, ServicePipeInstances> FConnections;
    uint64_t FChanges = 0;
    TServiceState FLastChange;
};

TServicePipeServer::TServicePipeServer(std::wstring pipeName)
    : FPipeName(std::move(pipeName)), FQueue(std::make_shared<TQueue>()) {}

TServicePipeServer::~TServicePipeServer() {
    Stop();
}

bool TServicePipeServer::Start(THandler handler) {
    if (FThread.joinable() || !handler || !FQueue->Wake) return false;
    ScopedHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop) return false;
    auto loop = std::make_unique<TIoLoop>(FQueue, std::move(handler));
    if (!loop->Create(FPipeName)) return false;
    {
        std::lock_guard guard(FQueue->Lock);
        FQueue->Items.clear();
        FQueue->Closed = false;
    }
    FStop = std::move(stop);
    FLoop = std::move(loop);
    FThread = std::thread([loop = FLoop.get(), stop = FStop.Get()] { loop->Run(stop); });
    return true;
}

void TServicePipeServer::Stop() {
    if (!FThread.joinable()) return;
    {
        std::lock_guard guard(FQueue->Lock);
        FQueue->Closed = true;
        FQueue->Items.clear();
    }
    SetEvent(FStop.Get());
    FThread.join();
    FLoop.reset();
    FStop.Reset();
}

void TServicePipeServer::PublishChange(const TServiceState& state) {
    FQueue->Post(0, state);
}

std::optional<TServiceState> AskService(TServiceRequestKind kind, DWORD timeoutMs,
                                        const std::wstring& pipeName,
                                        std::optional<DWORD> serverProcessId, HANDLE cancel) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    auto remaining = [deadline] {
        const ULONGLONG now = GetTickCount64();
        return DWORD(now < deadline ? deadline - now : 0);
    };
    // Identification only: whoever serves the name may learn who asks, never act as them.
    ScopedHandle pipe;
    for (;;) {
        pipe.Reset(CreateFileW(
            pipeName.c_str(), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING,
            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (pipe) break;
        const DWORD error = GetLastError();
        if (remaining() == 0) return std::nullopt;
        if (error == ERROR_PIPE_BUSY)
            WaitNamedPipeW(pipeName.c_str(), std::max<DWORD>(remaining(), 1));
        else if (error != ERROR_FILE_NOT_FOUND || CancelledWithin(cancel, 50))
            return std::nullopt; // else the server may be starting
    }
    if (serverProcessId) {
        ULONG server = 0;
        if (!GetNamedPipeServerProcessId(pipe.Get(), &server) || server != *serverProcessId)
            return std::nullopt;
    }
    const ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return std::nullopt;
    const TServiceRequestBytes request = ServiceRequestBytesOf(kind);
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Get();
    DWORD moved = 0;
    if (!WriteFile(pipe.Get(), request.Bytes, sizeof request.Bytes, nullptr, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        return std::nullopt;
    if (!FinishWithin(pipe.Get(), overlapped, remaining(), moved, cancel) ||
        moved != sizeof request.Bytes)
        return std::nullopt;
    // Read as bytes (the client may not change the read mode: that takes a right it is not
    // given), so the answer is collected until it is whole; one byte more than an answer
    // shows a message that is none.
    uint8_t answer[sizeof(TServiceState) + 1];
    size_t have = 0;
    while (have < sizeof(TServiceState)) {
        overlapped = {};
        overlapped.hEvent = event.Get();
        ResetEvent(event.Get());
        if (!ReadFile(pipe.Get(), answer + have, DWORD(sizeof answer - have), nullptr,
                      &overlapped) &&
            GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA)
            return std::nullopt;
        if (!FinishWithin(pipe.Get(), overlapped, remaining(), moved, cancel) &&
            GetLastError() != ERROR_MORE_DATA)
            return std::nullopt;
        if (moved == 0) return std::nullopt;
        have += moved;
    }
    std::optional<TServiceState> state = ParseServiceState(answer, have);
    if (!state || state->Kind != static_cast<uint16_t>(kind)) return std::nullopt;
    return state;
}
