#include "fakes/SimInstanceEvents.h"

#include <chrono>
#include <condition_variable>
#include <cwctype>
#include <deque>

#include "framework/Automation.h"
#include "framework/Strings.h"
#include "wbem/WbemScripting.h"
#include "sim/SimObject.h"

namespace {
struct TCondition {
    std::wstring Left;  // "TargetInstance", "TargetInstance.Logfile", "EventType", ...
    std::wstring Right; // without its quotes
    bool Isa = false;
};

struct TEventQuery {
    std::wstring EventClass;
    std::vector<TCondition> Conditions;
};

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring Trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

std::wstring Unquoted(const std::wstring& text) {
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        return text.substr(1, text.size() - 2);
    return text;
}

TEventQuery ParseEventQuery(const std::wstring& text) {
    const std::wstring lower = Lower(text);
    const std::wstring select = L"select * from ";
    if (lower.rfind(select, 0) != 0) throw SimError(WBEM_E_INVALID_QUERY);
    TEventQuery query;
    const size_t classStart = select.size();
    const size_t classEnd = std::min(text.find(L' ', classStart), text.size());
    query.EventClass = text.substr(classStart, classEnd - classStart);
    size_t at = classEnd;
    if (lower.compare(at, 8, L" within ") == 0) at = std::min(text.find(L' ', at + 8), text.size());
    if (at == text.size()) return query;
    if (lower.compare(at, 7, L" where ") != 0) throw SimError(WBEM_E_INVALID_QUERY);
    at += 7;
    while (at < text.size()) {
        const size_t end = std::min(lower.find(L" and ", at), text.size());
        const std::wstring part = text.substr(at, end - at), lowerPart = lower.substr(at, end - at);
        TCondition condition;
        if (const size_t isa = lowerPart.find(L" isa "); isa != std::wstring::npos) {
            condition = {Trimmed(part.substr(0, isa)), Unquoted(Trimmed(part.substr(isa + 5))),
                         true};
        } else if (const size_t equals = part.find(L'='); equals != std::wstring::npos) {
            condition = {Trimmed(part.substr(0, equals)),
                         Unquoted(Trimmed(part.substr(equals + 1))), false};
        } else {
            throw SimError(WBEM_E_INVALID_QUERY);
        }
        query.Conditions.push_back(condition);
        at = end == text.size() ? end : end + 5;
    }
    return query;
}

std::wstring ClassOf(IDispatch* object) {
    return VariantToText(
        GetProperty(DispatchOf(GetProperty(object, L"Path_").Get()).Get(), L"Class").Get());
}

bool Selects(const TEventQuery& query, IDispatch* event) {
    const std::wstring cls = ClassOf(event);
    const bool intrinsic = SameText(cls, L"__InstanceCreationEvent") ||
                           SameText(cls, L"__InstanceDeletionEvent") ||
                           SameText(cls, L"__InstanceModificationEvent");
    if (!SameText(query.EventClass, cls) &&
        !(intrinsic && SameText(query.EventClass, L"__InstanceOperationEvent")))
        return false;
    try {
        for (const TCondition& condition : query.Conditions) {
            const size_t dot = condition.Left.find(L'.');
            ScopedVariant value = GetProperty(event, condition.Left.substr(0, dot));
            if (condition.Isa) {
                const auto target = DispatchOf(value.Get());
                if (!target || !SameText(ClassOf(target.Get()), condition.Right)) return false;
                continue;
            }
            if (dot != std::wstring::npos) {
                const auto object = DispatchOf(value.Get());
                if (!object) return false;
                value = GetProperty(object.Get(), condition.Left.substr(dot + 1));
            }
            if (!SameText(VariantToText(value.Get()), condition.Right)) return false;
        }
    } catch (const Exception&) {
        return false; // a property the event does not have
    }
    return true;
}
} // namespace

struct TSimInstanceEventQueue {
    TEventQuery Query;
    std::mutex Lock;
    std::condition_variable Ready;
    std::deque<ComPtr<IDispatch>> Events;
};

namespace {
// NextEvent(timeout) as the provider's own media event source answers it.
class TSimInstanceEventSource : public TSimDispatch {
public:
    explicit TSimInstanceEventSource(std::shared_ptr<TSimInstanceEventQueue> queue)
        : TSimDispatch({L"NextEvent"}, kIidSWbemEventSource), FQueue(std::move(queue)) {
        MakeFreeThreaded();
    }

protected:
    ScopedVariant Call(size_t, WORD flags, const TSimArgs& args) override {
        ReadOnly(flags);
        const long timeout = args.Long(0, -1);
        std::unique_lock lock(FQueue->Lock);
        const auto arrived = [&] { return !FQueue->Events.empty(); };
        if (timeout < 0)
            FQueue->Ready.wait(lock, arrived);
        else if (!FQueue->Ready.wait_for(lock, std::chrono::milliseconds(timeout), arrived))
            throw SimError(kWbemErrTimedOut);
        ComPtr<IDispatch> event = std::move(FQueue->Events.front());
        FQueue->Events.pop_front();
        return AsVariant(event.Get());
    }

private:
    std::shared_ptr<TSimInstanceEventQueue> FQueue;
};
} // namespace

TSimInstanceEvents::TSimInstanceEvents() : FRepository(std::make_shared<TSimRepository>()) {}

TSimInstanceEvents::~TSimInstanceEvents() = default;

ComPtr<IDispatch> TSimInstanceEvents::Open(const std::wstring& query) {
    if (FAILED(FOpenError)) throw SimError(FOpenError);
    auto queue = std::make_shared<TSimInstanceEventQueue>();
    queue->Query = ParseEventQuery(query);
    {
        std::lock_guard guard(FLock);
        FQueues.push_back(queue);
    }
    return MakeSim<TSimInstanceEventSource>(queue);
}

ComPtr<IDispatch> TSimInstanceEvents::Instance(std::shared_ptr<const TSimClassDef> cls,
                                               const std::vector<VARIANT>& values) {
    if (values.size() != cls->Properties.size())
        throw Exception(L"One value per property is needed for " + cls->Name);
    std::vector<ScopedVariant> copies;
    for (const VARIANT& v : values)
        copies.push_back(ScopedVariant::Copy(v));
    auto object = MakeSim<TSimWmiObject>(FRepository, std::move(cls), L"root\\cimv2",
                                         std::move(copies), false);
    object->MakeFreeThreaded();
    return object;
}

void TSimInstanceEvents::Raise(std::shared_ptr<const TSimClassDef> eventClass,
                               const std::vector<VARIANT>& values) {
    std::lock_guard guard(FLock);
    std::erase_if(FQueues, [](const auto& queue) { return queue.expired(); });
    for (const auto& weak : FQueues) {
        const auto queue = weak.lock();
        // Each source gets an event object of its own, as WMI delivers them.
        ComPtr<IDispatch> event = Instance(eventClass, values);
        if (!queue || !Selects(queue->Query, event.Get())) continue;
        {
            std::lock_guard queued(queue->Lock);
            queue->Events.push_back(std::move(event));
        }
        queue->Ready.notify_all();
    }
}
