// The service's pipe: its requests and its answer read strictly, and a real server (Wine's
// named pipes are real) played against by clients that send odd messages, speak out of turn,
// never read their answers or come five at a time.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/ProgramFolder.h"
#include "core/ServicePipe.h"
#include "core/ServiceProtocol.h"
#include "framework/Scoped.h"
#include "support/Pumping.h"

namespace {

// A name of each test's own, so that no test meets a real service or another test's server.
std::wstring TestPipeName() {
    static int count = 0;
    return L"\\\\.\\pipe\\TarnwickTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++count);
}

TServiceState StateWith(const std::wstring& active, uint32_t changes = 0) {
    TServiceState state;
    SetServiceText(state.ActiveProfile, active);
    SetServiceText(state.NameA, L"内网");
    SetServiceText(state.NameB, L"外网");
    state.ChangeCount = changes;
    return state;
}

// A server whose handler counts the requests and answers a state request at once; a switch
// is answered by Switch, which may keep the reply for later.
struct TTestServer {
    std::wstring Name = TestPipeName();
    TServicePipeServer Server{Name};
    std::atomic<int> Calls = 0;
    std::function<void(TServicePipeServer::TReply)> Switch = [](TServicePipeServer::TReply r) {
        r.Send(StateWith(L"A"));
    };
    bool Start() {
        return Server.Start([this](TServiceRequestKind kind, TServicePipeServer::TReply reply) {
            ++Calls;
            if (kind == TServiceRequestKind::State)
                reply.Send(StateWith(L"B"));
            else
                Switch(reply);
        });
    }
};

ScopedHandle Connect(const std::wstring& name) {
    return ScopedHandle(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
}

// One overlapped write or read, waited for up to ms; answers the bytes moved, or -1.
int Transfer(HANDLE pipe, bool write, void* bytes, DWORD size, DWORD ms) {
    const ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Get();
    const BOOL done = write ? WriteFile(pipe, bytes, size, nullptr, &overlapped)
                            : ReadFile(pipe, bytes, size, nullptr, &overlapped);
    if (!done && GetLastError() != ERROR_IO_PENDING) return -1;
    if (WaitForSingleObject(event.Get(), ms) != WAIT_OBJECT_0) CancelIoEx(pipe, &overlapped);
    DWORD moved = 0;
    return GetOverlappedResult(pipe, &overlapped, &moved, TRUE) ? int(moved) : -1;
}

int WriteMessage(HANDLE pipe, const void* bytes, DWORD size) {
    return Transfer(pipe, true, const_cast<void*>(bytes), size, 1000);
}

int WriteRequest(HANDLE pipe, TServiceRequestKind kind) {
    const TServiceRequestBytes request = ServiceRequestBytesOf(kind);
    return WriteMessage(pipe, request.Bytes, sizeof request.Bytes);
}

// Whether the server ends the connection within ms: a read fails instead of bringing data.
bool ClosedByServer(HANDLE pipe, DWORD ms) {
    uint8_t buffer[1024];
    return Transfer(pipe, false, buffer, sizeof buffer, ms) < 0;
}

ULONGLONG MillisecondsOf(const std::function<void()>& action) {
    const ULONGLONG start = GetTickCount64();
    action();
    return GetTickCount64() - start;
}

TEST(ServiceProtocol, TakesTheFourRequestsAndNothingElse) {
    const uint8_t switchToA[] = {0x54, 0x57, 0x4B, 0x31, 0x02, 0x00, 0x00, 0x00};
    ASSERT_TRUE(ParseServiceRequest(switchToA, sizeof switchToA));
    EXPECT_EQ(ParseServiceRequest(switchToA, sizeof switchToA)->Kind,
              TServiceRequestKind::SwitchToA)
        << "little-endian";
    for (uint16_t kind = 1; kind <= 4; ++kind) {
        const auto bytes = ServiceRequestBytesOf(TServiceRequestKind(kind));
        const auto request = ParseServiceRequest(bytes.Bytes, sizeof bytes.Bytes);
        ASSERT_TRUE(request) << kind;
        EXPECT_EQ(request->Kind, TServiceRequestKind(kind));
    }

    uint8_t bytes[65] = {};
    memcpy(bytes, switchToA, sizeof switchToA);
    for (size_t size = 0; size <= 64; ++size)
        if (size != 8) {
            EXPECT_FALSE(ParseServiceRequest(bytes, size)) << size << " bytes";
        }
    EXPECT_FALSE(ParseServiceRequest(nullptr, 8));
    for (const uint16_t kind : {0, 5, 0xFFFF}) {
        uint8_t odd[8];
        memcpy(odd, switchToA, 8);
        odd[4] = uint8_t(kind);
        odd[5] = uint8_t(kind >> 8);
        EXPECT_FALSE(ParseServiceRequest(odd, 8)) << "kind " << kind;
    }
    for (const int at : {0, 3, 6, 7}) {
        uint8_t odd[8];
        memcpy(odd, switchToA, 8);
        odd[at] ^= 0x01;
        EXPECT_FALSE(ParseServiceRequest(odd, 8))
            << "byte " << at << (at < 4 ? " of the magic" : " reserved");
    }
}

TEST(ServiceProtocol, TakesOnlyAWholeAnswerWithEveryTextEnded) {
    const TServiceState good = StateWith(L"A", 7);
    auto parsed = [](const TServiceState& s, size_t size = sizeof(TServiceState)) {
        return ParseServiceState(&s, size).has_value();
    };
    ASSERT_TRUE(parsed(good));
    EXPECT_EQ(ServiceText(ParseServiceState(&good, sizeof good)->NameA), L"内网");
    EXPECT_FALSE(parsed(good, sizeof good - 1));
    std::vector<uint8_t> longer(sizeof good + 1);
    memcpy(longer.data(), &good, sizeof good);
    EXPECT_FALSE(ParseServiceState(longer.data(), longer.size()));

    TServiceState odd = good;
    odd.Magic = ServiceRequestMagic;
    EXPECT_FALSE(parsed(odd)) << "magic";
    for (wchar_t* text : {odd.Cause, odd.NameA, odd.NameB}) {
        odd = good;
        std::fill(text, text + 63, L'x');
        EXPECT_TRUE(parsed(odd)) << "the text may fill its array but for its NUL";
    }
    odd = good;
    std::fill(std::begin(odd.Cause), std::end(odd.Cause), L'x');
    EXPECT_FALSE(parsed(odd)) << "cause unterminated";
    odd = good;
    std::fill(std::begin(odd.NameB), std::end(odd.NameB), L'x');
    EXPECT_FALSE(parsed(odd)) << "name unterminated";
    odd = good;
    std::fill(std::begin(odd.ActiveProfile), std::end(odd.ActiveProfile), L'A');
    EXPECT_FALSE(parsed(odd)) << "active profile unterminated";
    SetServiceText(odd.ActiveProfile, L"C");
    EXPECT_FALSE(parsed(odd)) << "no such profile";
}

TEST(ServiceProtocol, CutsTextsToTheirArrayAndNeverReportsAFailureAsDone) {
    TServiceState state;
    SetServiceText(state.NameA, std::wstring(100, L'x'));
    EXPECT_EQ(ServiceText(state.NameA), std::wstring(63, L'x'));
    // A character outside the BMP across the cut goes whole.
    SetServiceText(state.NameA, std::wstring(62, L'x') + L"\U0001F600");
    EXPECT_EQ(ServiceText(state.NameA), std::wstring(62, L'x'));
    SetServiceText(state.NameA, L"短");
    EXPECT_EQ(ServiceText(state.NameA), L"短");
    EXPECT_EQ(state.NameA[2], L'\0') << "nothing of the longer text is left to be sent";
    EXPECT_TRUE(ParseServiceState(&state, sizeof state));

    SetServiceResult(state, TSwitchResult::Failure(2147749889, L"拒绝访问"));
    EXPECT_EQ(state.Code, 2147749889);
    EXPECT_EQ(ServiceText(state.Cause), L"拒绝访问");
    SetServiceResult(state, TSwitchResult::Failure(0, L"失败"));
    EXPECT_EQ(state.Code, -1);
    SetServiceResult(state, TSwitchResult::Done(L"note"));
    EXPECT_EQ(state.Code, 0);
    EXPECT_EQ(ServiceText(state.Cause), L"note") << "a done switch's note is told as well";
    // And read back by the tray as the switch's result.
    EXPECT_FALSE(ServiceResult(state).Failed);
    EXPECT_EQ(ServiceResult(state).Note, L"note");
    SetServiceResult(state, TSwitchResult::Failure(66, L"无效的子网掩码"));
    EXPECT_TRUE(ServiceResult(state).Failed);
    EXPECT_EQ(ServiceResult(state).Code, 66);
    EXPECT_EQ(ServiceResult(state).Cause, L"无效的子网掩码");
    state.Code = 1;
    EXPECT_TRUE(ServiceResult(state).RestartNeeded());
}

TEST(ServicePipe, AnswersEachKindOnlyFromTheServerExpected) {
    TWatchdog watchdog(30);
    TTestServer server;
    ASSERT_TRUE(server.Start());
    const auto state = AskService(TServiceRequestKind::State, 2000, server.Name);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->Kind, uint16_t(TServiceRequestKind::State));
    EXPECT_EQ(ServiceText(state->ActiveProfile), L"B");
    EXPECT_EQ(ServiceText(state->NameB), L"外网");
    const auto switched =
        AskService(TServiceRequestKind::SwitchToA, 2000, server.Name, GetCurrentProcessId());
    ASSERT_TRUE(switched) << "the server is the process expected";
    EXPECT_EQ(switched->Kind, uint16_t(TServiceRequestKind::SwitchToA));
    EXPECT_EQ(server.Calls, 2);

    EXPECT_FALSE(
        AskService(TServiceRequestKind::SwitchToB, 2000, server.Name, GetCurrentProcessId() + 4))
        << "another process serves the name";
    EXPECT_EQ(server.Calls, 2) << "nothing was asked of it";
    EXPECT_FALSE(AskService(TServiceRequestKind::State, 300, TestPipeName())) << "no server";
}

TEST(ServicePipe, ClosesAConnectionThatSendsAnythingButARequest) {
    TWatchdog watchdog(120);
    TTestServer server;
    ASSERT_TRUE(server.Start());
    const TServiceRequestBytes good = ServiceRequestBytesOf(TServiceRequestKind::SwitchToA);
    std::vector<std::vector<uint8_t>> messages;
    for (size_t size : {0, 1, 4, 7, 9, 16, 63, 64, 65, 4096}) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = i < 8 ? good.Bytes[i] : 0;
        messages.push_back(bytes);
    }
    for (const int at : {0, 4, 6}) {
        std::vector<uint8_t> bytes(good.Bytes, good.Bytes + 8);
        bytes[at] = at == 4 ? 5 : 1; // a wrong magic, a kind beyond the four, reserved set
        messages.push_back(bytes);
    }
    // Each is closed at once, well before a silent connection would be.
    for (const auto& message : messages) {
        const ScopedHandle pipe = Connect(server.Name);
        ASSERT_TRUE(pipe) << GetLastError();
        WriteMessage(pipe.Get(), message.data(), DWORD(message.size()));
        EXPECT_TRUE(ClosedByServer(pipe.Get(), 1000)) << message.size() << " bytes";
    }
    {
        // Half a request, then the other half: two messages, neither a request.
        const ScopedHandle pipe = Connect(server.Name);
        ASSERT_TRUE(pipe);
        EXPECT_EQ(WriteMessage(pipe.Get(), good.Bytes, 4), 4);
        WriteMessage(pipe.Get(), good.Bytes + 4, 4);
        EXPECT_TRUE(ClosedByServer(pipe.Get(), 1000)) << "split request";
    }
    {
        // A second request before the first is answered is out of turn.
        std::optional<TServicePipeServer::TReply> kept;
        server.Switch = [&kept](TServicePipeServer::TReply r) { kept = r; };
        const ScopedHandle pipe = Connect(server.Name);
        ASSERT_TRUE(pipe);
        EXPECT_EQ(WriteRequest(pipe.Get(), TServiceRequestKind::SwitchToA), 8);
        PumpUntil([&] { return server.Calls == 1; });
        EXPECT_EQ(WriteRequest(pipe.Get(), TServiceRequestKind::State), 8);
        EXPECT_TRUE(ClosedByServer(pipe.Get(), 1000)) << "out of turn";
        ASSERT_TRUE(kept);
        kept->Send(StateWith(L"A")); // to a connection gone: nobody takes it
    }
    EXPECT_EQ(server.Calls, 1) << "no odd message reached the handler";
    EXPECT_TRUE(AskService(TServiceRequestKind::State, 2000, server.Name))
        << "the next client is served";
}

// What the pipe's descriptor says, as SDDL of its DACL; empty when it cannot be read.
std::wstring DaclText(PSECURITY_DESCRIPTOR descriptor) {
    LPWSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        return {};
    const std::wstring sddl = text;
    LocalFree(text);
    return sddl;
}

TEST(ServicePipe, IsMadeWithTheDescriptorMeantAndCannotBeTakenOver) {
    TWatchdog watchdog(30);
    TTestServer server;
    ASSERT_TRUE(server.Start());
    const ScopedHandle pipe = Connect(server.Name);
    ASSERT_TRUE(pipe);
    ScopedSecurityDescriptor read;
    ASSERT_EQ(GetSecurityInfo(pipe.Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, read.Receive()),
              DWORD(ERROR_SUCCESS));
    ScopedSecurityDescriptor meant;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        ServicePipeSddl, SDDL_REVISION_1, meant.Receive(), nullptr));
    // Both written by the same converter, so the same DACL reads the same. Wine keeps the
    // descriptor as it was given, but runs every process as an administrator: that an
    // interactive user is held to reading and writing data is not seen here.
    EXPECT_EQ(DaclText(read.Get()), DaclText(meant.Get()));

    TServicePipeServer second(server.Name);
    EXPECT_FALSE(second.Start([](TServiceRequestKind, TServicePipeServer::TReply) {}))
        << "the name is served already";
    // Every instance the pipe may have is the server's: none is left for anyone else to answer
    // its clients with.
    const ScopedHandle extra(CreateNamedPipeW(server.Name.c_str(), PIPE_ACCESS_DUPLEX,
                                              PIPE_TYPE_MESSAGE, ServicePipeInstances, 64, 64, 0,
                                              nullptr));
    EXPECT_FALSE(extra) << "an instance beside the server's";
}

TEST(ServicePipe, DoesNotServeANameAnotherHolds) {
    // A name another process (here: a pipe made before) holds. Wine 8 makes a
    // first instance of a name that is taken (FILE_FLAG_FIRST_PIPE_INSTANCE is not refused),
    // so this is seen on Windows alone; the case above holds under Wine too, by the server's
    // four instances leaving a second server none.
    const std::wstring squatted = TestPipeName();
    const ScopedHandle squatter(CreateNamedPipeW(squatted.c_str(), PIPE_ACCESS_DUPLEX,
                                                 PIPE_TYPE_MESSAGE, PIPE_UNLIMITED_INSTANCES, 64,
                                                 64, 0, nullptr));
    ASSERT_TRUE(squatter);
    const ScopedHandle probe(
        CreateNamedPipeW(squatted.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                         PIPE_TYPE_MESSAGE, PIPE_UNLIMITED_INSTANCES, 64, 64, 0, nullptr));
    if (probe) GTEST_SKIP() << "the system makes a first instance of a name that is taken";
    TServicePipeServer late(squatted);
    EXPECT_FALSE(late.Start([](TServiceRequestKind, TServicePipeServer::TReply) {}));
}

// Whether the server has ended the connection, without reading what waits in it.
bool Disconnected(HANDLE pipe) {
    return !PeekNamedPipe(pipe, nullptr, 0, nullptr, nullptr, nullptr);
}

TEST(ServicePipe, AClientThatNeverReadsDelaysNobodyAndIsDropped) {
    TWatchdog watchdog(60);
    TTestServer server;
    ASSERT_TRUE(server.Start());
    // One that asks for each change as fast as it can, reading none: out of turn once its
    // answer is still being written.
    const ScopedHandle eager = Connect(server.Name);
    // One that asks twice, a moment apart: its first answer fills the pipe, the second cannot
    // be written.
    const ScopedHandle stubborn = Connect(server.Name);
    ASSERT_TRUE(eager && stubborn);
    EXPECT_EQ(WriteRequest(stubborn.Get(), TServiceRequestKind::WaitForChange), 8);
    ULONGLONG slowest = 0, stubbornDropped = 0;
    const ULONGLONG start = GetTickCount64();
    for (uint32_t change = 1; GetTickCount64() - start < 2500; ++change) {
        WriteRequest(eager.Get(), TServiceRequestKind::WaitForChange);
        server.Server.PublishChange(StateWith(L"A", change));
        slowest =
            std::max(slowest, MillisecondsOf([&] {
                         EXPECT_TRUE(AskService(TServiceRequestKind::State, 3000, server.Name));
                     }));
        if (change == 2) {
            EXPECT_EQ(WriteRequest(stubborn.Get(), TServiceRequestKind::WaitForChange), 8);
        }
        if (!stubbornDropped && Disconnected(stubborn.Get()))
            stubbornDropped = GetTickCount64() - start;
        Sleep(20);
    }
    EXPECT_LT(slowest, 1000u) << "a state request waited for a client that does not read";
    EXPECT_TRUE(Disconnected(eager.Get()));
    EXPECT_TRUE(stubbornDropped) << "dropped when its answer could not be written within 1 s";
    EXPECT_GT(stubbornDropped, 900u);
}

TEST(ServicePipe, ASlowSwitchHoldsUpNoStateRequest) {
    TWatchdog watchdog(30);
    TTestServer server;
    std::vector<std::thread> later;
    server.Switch = [&later](TServicePipeServer::TReply reply) {
        later.emplace_back([reply] {
            Sleep(2000);
            reply.Send(StateWith(L"A"));
        });
    };
    ASSERT_TRUE(server.Start());
    std::optional<TServiceState> switched;
    std::thread asking(
        [&] { switched = AskService(TServiceRequestKind::SwitchToA, 5000, server.Name); });
    PumpUntil([&] { return server.Calls == 1; });
    for (int i = 0; i < 3; ++i)
        EXPECT_LT(MillisecondsOf([&] {
                      EXPECT_TRUE(AskService(TServiceRequestKind::State, 3000, server.Name));
                  }),
                  500u);
    asking.join();
    ASSERT_TRUE(switched) << "the switch's answer came when it was sent";
    EXPECT_EQ(ServiceText(switched->ActiveProfile), L"A");
    for (std::thread& t : later)
        t.join();
}

TEST(ServicePipe, StopsAtOnceWhateverTheClientsDo) {
    TWatchdog watchdog(30);
    std::optional<TServicePipeServer::TReply> kept;
    {
        TTestServer server;
        server.Switch = [&kept](TServicePipeServer::TReply r) { kept = r; };
        ASSERT_TRUE(server.Start());
        const ScopedHandle idle = Connect(server.Name);
        ASSERT_TRUE(idle);
        std::optional<TServiceState> switched;
        std::thread asking(
            [&] { switched = AskService(TServiceRequestKind::SwitchToB, 10000, server.Name); });
        PumpUntil([&] { return server.Calls == 1; });
        ASSERT_TRUE(kept) << "a reply is pending";
        EXPECT_LT(MillisecondsOf([&] { server.Server.Stop(); }), 200u);
        EXPECT_TRUE(ClosedByServer(idle.Get(), 1000));
        asking.join();
        EXPECT_FALSE(switched) << "the client heard the end";
        kept->Send(StateWith(L"B")); // after the end: nobody takes it
        server.Server.PublishChange(StateWith(L"B"));
        ASSERT_TRUE(server.Start()) << "and the server can serve again";
        EXPECT_TRUE(AskService(TServiceRequestKind::State, 2000, server.Name));
        kept->Send(StateWith(L"B")); // from the earlier start: it answers none of this one
    }
    kept->Send(StateWith(L"B")); // and after the server is gone
}

// As many clients as the pipe has instances, each having made the request given, if any; fewer
// when one could not connect or ask.
std::vector<ScopedHandle> ConnectAll(const std::wstring& name,
                                     std::optional<TServiceRequestKind> ask) {
    std::vector<ScopedHandle> clients;
    for (int i = 0; i < ServicePipeInstances; ++i) {
        ScopedHandle pipe = Connect(name);
        if (!pipe || (ask && WriteRequest(pipe.Get(), *ask) != 8)) break;
        clients.push_back(std::move(pipe));
    }
    return clients;
}

TEST(ServicePipe, ServesFourAtOnceAndTheFifthWhenOneIsFree) {
    TWatchdog watchdog(30);
    TTestServer server;
    ASSERT_TRUE(server.Start());
    std::vector<ScopedHandle> waiting = ConnectAll(server.Name, TServiceRequestKind::WaitForChange);
    ASSERT_EQ(waiting.size(), size_t(ServicePipeInstances));
    const ScopedHandle fifth = Connect(server.Name);
    EXPECT_FALSE(fifth);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PIPE_BUSY));
    std::optional<TServiceState> asked;
    std::thread asking([&] { asked = AskService(TServiceRequestKind::State, 5000, server.Name); });

    // Every waiting client hears the change.
    PumpFor(100);
    server.Server.PublishChange(StateWith(L"A", 1));
    for (ScopedHandle& pipe : waiting) {
        TServiceState state;
        ASSERT_EQ(Transfer(pipe.Get(), false, &state, sizeof state, 2000), int(sizeof state));
        ASSERT_TRUE(ParseServiceState(&state, sizeof state));
        EXPECT_EQ(state.Kind, uint16_t(TServiceRequestKind::WaitForChange));
        EXPECT_EQ(state.ChangeCount, 1u);
    }
    // A change published before a client asks again is not lost to it.
    server.Server.PublishChange(StateWith(L"B", 2));
    PumpFor(100);
    TServiceState state;
    EXPECT_EQ(WriteRequest(waiting[0].Get(), TServiceRequestKind::WaitForChange), 8);
    ASSERT_EQ(Transfer(waiting[0].Get(), false, &state, sizeof state, 2000), int(sizeof state));
    EXPECT_EQ(state.ChangeCount, 2u);

    waiting.pop_back(); // one leaves: the fifth is served
    asking.join();
    EXPECT_TRUE(asked);
}

TEST(ServicePipe, ClientsThatSendNothingHoldNoInstanceForLong) {
    TWatchdog watchdog(30);
    TTestServer server;
    ASSERT_TRUE(server.Start());
    const std::vector<ScopedHandle> silent = ConnectAll(server.Name, std::nullopt);
    ASSERT_EQ(silent.size(), size_t(ServicePipeInstances));
    const ULONGLONG took = MillisecondsOf(
        [&] { EXPECT_TRUE(AskService(TServiceRequestKind::State, 8000, server.Name)); });
    EXPECT_LT(took, 5000u);
    for (const ScopedHandle& pipe : silent)
        EXPECT_TRUE(Disconnected(pipe.Get()));
}

} // namespace
