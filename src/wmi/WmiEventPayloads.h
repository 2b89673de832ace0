#pragma once
// What each kind of event hands its handler, read from the event object WMI delivered, and
// which event-log handler an event reaches.
#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "framework/Component.h"
#include "wmi/WmiEventKinds.h"

// The value of key in an object path (`\\PC\root\cimv2:Win32_Group.Domain="PC",Name="x"`), with
// its escapes undone; "" when the key is absent.
std::wstring ObjectPathKey(const std::wstring& path, const std::wstring& key);

// The values of those properties of the object a path refers to, fetched through services;
// when the object cannot be fetched (it is gone, say), they are cut out of the path instead.
std::vector<std::wstring> ReferencedValues(IDispatch* services, const std::wstring& path,
                                           const std::vector<std::wstring>& properties);

// Whether a registration of that event-log kind serves an event of that Logfile: the any-log
// kind serves every event, a log's own kind the events of its log (names ignore case).
bool EventLogMatches(TWmiEventKind kind, const std::wstring& logfile);

void DeliverAccountEvent(const TWin32AccountEvent& handler, TComponent* sender, IDispatch* event);
void DeliverGroupMembershipEvent(const TWin32GroupMembershipEvent& handler, TComponent* sender,
                                 IDispatch* event, IDispatch* services);
// Reaches the handler only when the registration of kind serves the event's log, so an event
// that two registrations receive reaches each handler once.
void DeliverEventLogEvent(const TWin32EventLogEvent& handler, TWmiEventKind kind,
                          TComponent* sender, IDispatch* event);
void DeliverUserSessionEvent(const TWin32UserSessionEvent& handler, TComponent* sender,
                             IDispatch* event, IDispatch* services);
void DeliverPrinterEvent(const TWin32PrinterEvent& handler, TComponent* sender, IDispatch* event);
void DeliverPrintJobEvent(const TWin32PrintJobEvent& handler, TComponent* sender, IDispatch* event);
void DeliverServiceEvent(const TWin32ServiceEvent& handler, TComponent* sender, IDispatch* event);
void DeliverCDROMEvent(const TWin32CDROMEvent& handler, TComponent* sender, IDispatch* event);
