#include "wmi/WmiEventPayloads.h"

#include <algorithm>

#include "framework/Strings.h"
#include "wmi/WmiAutomation.h"

namespace {
// A key's value from at: a quoted text with its escapes undone, or a bare value up to the next
// comma. at ends after it.
std::wstring PathValue(const std::wstring& path, size_t& at) {
    std::wstring value;
    if (at < path.size() && path[at] == L'"') {
        for (++at; at < path.size() && path[at] != L'"'; ++at) {
            if (path[at] == L'\\' && at + 1 < path.size()) ++at;
            value += path[at];
        }
        if (at < path.size()) ++at;
        return value;
    }
    const size_t end = std::min(path.find(L',', at), path.size());
    value = path.substr(at, end - at);
    at = end;
    return value;
}

// The event's TargetInstance and the values read from it; a missing target reads as null.
class TEventTarget {
public:
    explicit TEventTarget(IDispatch* event)
        : FInstance(WmiGet(event, L"TargetInstance")), FObject(WmiObject(FInstance)) {}
    const VARIANT& Instance() const { return FInstance.Get(); }
    ScopedVariant Value(const wchar_t* property) const {
        return FObject ? WmiGet(FObject.Get(), property) : ScopedVariant();
    }
    std::wstring Text(const wchar_t* property) const { return WmiText(Value(property)); }

private:
    ScopedVariant FInstance;
    Microsoft::WRL::ComPtr<IDispatch> FObject;
};
} // namespace

std::wstring ObjectPathKey(const std::wstring& path, const std::wstring& key) {
    // Server and namespace end at the last colon before any quoted value (a value may hold
    // colons, a server name dots); the class name ends at the dot before the keys.
    const size_t colon = path.rfind(L':', path.find(L'"'));
    size_t at = path.find(L'.', colon == std::wstring::npos ? 0 : colon + 1);
    if (at == std::wstring::npos) return {};
    ++at;
    while (at < path.size()) {
        const size_t equals = path.find(L'=', at);
        if (equals == std::wstring::npos) break;
        const std::wstring name = path.substr(at, equals - at);
        at = equals + 1;
        std::wstring value = PathValue(path, at);
        if (SameText(name, key)) return value;
        if (at >= path.size() || path[at] != L',') break;
        ++at;
    }
    return {};
}

std::vector<std::wstring> ReferencedValues(IDispatch* services, const std::wstring& path,
                                           const std::vector<std::wstring>& properties) {
    std::vector<std::wstring> values;
    try {
        if (services && !path.empty()) {
            const auto object = WmiObject(WmiCall(services, L"Get", {ScopedVariant(path).Get()}));
            if (object) {
                for (const std::wstring& property : properties)
                    values.push_back(WmiText(WmiGet(object.Get(), property)));
                return values;
            }
        }
    } catch (const std::exception&) {
        values.clear();
    }
    for (const std::wstring& property : properties)
        values.push_back(ObjectPathKey(path, property));
    return values;
}

bool EventLogMatches(TWmiEventKind kind, const std::wstring& logfile) {
    switch (kind) {
    case TWmiEventKind::EventLogAny:
        return true;
    case TWmiEventKind::EventLogApplication:
        return SameText(logfile, L"Application");
    case TWmiEventKind::EventLogSecurity:
        return SameText(logfile, L"Security");
    case TWmiEventKind::EventLogSystem:
        return SameText(logfile, L"System");
    default:
        return false;
    }
}

void DeliverAccountEvent(const TWin32AccountEvent& handler, TComponent* sender, IDispatch* event) {
    const TEventTarget target(event);
    handler(sender, target.Instance(), target.Text(L"Name"), target.Text(L"Domain"),
            EventActionOf(event));
}

void DeliverGroupMembershipEvent(const TWin32GroupMembershipEvent& handler, TComponent* sender,
                                 IDispatch* event, IDispatch* services) {
    const TEventTarget target(event);
    const auto group =
        ReferencedValues(services, target.Text(L"GroupComponent"), {L"Domain", L"Name"});
    const auto user =
        ReferencedValues(services, target.Text(L"PartComponent"), {L"Domain", L"Name"});
    handler(sender, target.Instance(), group[1], group[0], user[1], user[0], EventActionOf(event));
}

void DeliverEventLogEvent(const TWin32EventLogEvent& handler, TWmiEventKind kind,
                          TComponent* sender, IDispatch* event) {
    const TEventTarget target(event);
    const std::wstring logfile = target.Text(L"Logfile");
    if (EventLogMatches(kind, logfile))
        handler(sender, target.Instance(), logfile, target.Text(L"Message"));
}

void DeliverUserSessionEvent(const TWin32UserSessionEvent& handler, TComponent* sender,
                             IDispatch* event, IDispatch* services) {
    const TEventTarget target(event);
    const auto account =
        ReferencedValues(services, target.Text(L"Antecedent"), {L"Domain", L"Name"});
    const auto session = ReferencedValues(services, target.Text(L"Dependent"), {L"LogonId"});
    handler(sender, session[0], account[1], account[0]);
}

void DeliverPrinterEvent(const TWin32PrinterEvent& handler, TComponent* sender, IDispatch* event) {
    const TEventTarget target(event);
    handler(sender, target.Instance(), target.Text(L"Name"), EventActionOf(event));
}

void DeliverPrintJobEvent(const TWin32PrintJobEvent& handler, TComponent* sender,
                          IDispatch* event) {
    const TEventTarget target(event);
    handler(sender, target.Instance(), target.Text(L"Document"), WmiInt(target.Value(L"JobId")),
            target.Text(L"JobStatus"), EventActionOf(event));
}

void DeliverServiceEvent(const TWin32ServiceEvent& handler, TComponent* sender, IDispatch* event) {
    const TEventTarget target(event);
    handler(sender, target.Instance(), target.Text(L"Name"), target.Text(L"State"),
            EventActionOf(event));
}

void DeliverCDROMEvent(const TWin32CDROMEvent& handler, TComponent* sender, IDispatch* event) {
    const TEventTarget target(event);
    handler(sender, target.Instance(), target.Text(L"Drive"));
}
