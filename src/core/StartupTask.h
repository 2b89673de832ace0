#pragma once
// Start with Windows through Task Scheduler: a task for the session's user that runs the program
// at their logon with the highest run level. Windows elevates no program started from the Run
// keys at logon; a task is the documented way to start one elevated there without a prompt.
#include <windows.h>
#include <wtsapi32.h>

#include <functional>
#include <optional>
#include <string>

// The task's definition: a logon trigger for user (DOMAIN\name), run level highest, exePath as
// its action and the exe's folder as the working folder, no time limit, the priority of an
// interactive program (5; without one a task runs below normal), started and kept on battery,
// a second start while one runs ignored.
std::wstring StartupTaskXml(const std::wstring& exePath, const std::wstring& user);
// The user the program runs as (its token's), DOMAIN\name.
std::wstring CurrentUserName();
// The user of the session the program runs in, DOMAIN\name: the person at the keyboard, also
// when an administrator's credentials were typed at the elevation prompt and the program runs
// as that administrator. CurrentUserName() when the session cannot be asked.
std::wstring SessionUserName();
// The question SessionUserName asks of the current session (WTSUserName, WTSDomainName); none
// when it cannot be asked. Tests answer for the session; an empty function asks Windows again.
// Answers the function replaced.
using TSessionQuery = std::function<std::optional<std::wstring>(WTS_INFO_CLASS info)>;
TSessionQuery SetSessionQueryFunction(TSessionQuery f);

// The task's definition as Task Scheduler holds it; none when there is no such task or Task
// Scheduler cannot be reached.
std::optional<std::wstring> RegisteredTaskXml(const std::wstring& name);
// Whether the task of that name exists and starts exePath; false when Task Scheduler cannot be
// reached.
bool StartupTaskStarts(const std::wstring& name, const std::wstring& exePath);
// Registers (or replaces) the task for exePath, for the session's user. Raises when Task
// Scheduler refuses, as it does a process that is not elevated.
void RegisterStartupTask(const std::wstring& name, const std::wstring& exePath);
// Deletes the task; one that is not there is no failure. Raises when it cannot be deleted.
void DeleteStartupTask(const std::wstring& name);

// Starts the program at logon (on) or not (off) under the application's title: the task for
// exePath registered or deleted. Raises what Windows refused; a process that is not elevated is
// refused.
void SetAutoRunFor(bool on, const std::wstring& exePath);
// The same for the running exe.
void SetAutoRun(bool on);
// Whether the task is there and starts the running exe.
bool AutoRunInPlace();
