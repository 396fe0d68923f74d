// The interfaces of the tracing library: locks, outputs, logs, their factories, the output
// filter and the settings. Their objects are counted (CUnknown) but answer no interface id
// beyond IUnknown; the library hands them around as typed pointers. Every operation is noexcept:
// tracing runs inside the traced operations, their destructors included, and must never throw
// into them; a line that cannot be made (out of memory) is dropped instead.
#pragma once

#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

namespace Kiv::Log {

namespace Common {

struct ILock : IUnknown {
    // Enters the lock (recursively); returns 1.
    virtual LONG Lock() noexcept = 0;
    // Leaves it; returns 0.
    virtual LONG Unlock() noexcept = 0;
    virtual ~ILock() = default;
};

} // namespace Common

// Where log text goes: a file, the debugger channel, or nowhere.
struct ILogIO : IUnknown {
    virtual LONG Lock() noexcept = 0;
    virtual LONG Unlock() noexcept = 0;
    // Writes one text; returns the number of bytes written.
    virtual LONG Write(LPCWSTR text) noexcept = 0;
    virtual void Flush() noexcept = 0;
    virtual ~ILogIO() = default;
};

// What ILog::Write returns for a line it could not make and dropped.
inline constexpr LONG LineDropped = -1;

// One thread's log (or the error log): composes lines and hands them to its output.
struct ILog : IUnknown {
    virtual LONG IncIndent() noexcept = 0;
    virtual LONG DecIndent() noexcept = 0;
    virtual LONG Lock() noexcept = 0;
    virtual LONG Unlock() noexcept = 0;
    // The bytes written, or LineDropped when the line could not be made (out of memory).
    virtual LONG Write(LPCWSTR text) noexcept = 0;
    virtual ~ILog() = default;
};

// Makes the outputs and logs of one kind of output.
struct ILogFactory : IUnknown {
    // A new output for the log of that name, with a count of 1; null when it cannot be made.
    virtual ILogIO* CreateLogIO(LPCWSTR name) noexcept = 0;
    // A new log over the output, with a count of 1; null when it cannot be made.
    virtual ILog* CreateLog(ILogIO* output) noexcept = 0;
    virtual ~ILogFactory() = default;
};

// Decides which messages pass: S_OK for a subject with a band that holds the level, S_FALSE
// when the level lies outside the subject's band, E_FAIL for a subject without a band.
struct IOutputFilter : IUnknown {
    virtual HRESULT Check(LPCWSTR subject, LONG level) noexcept = 0;
    virtual ~IOutputFilter() = default;
};

// The settings of one library's tracing.
struct ILogSetting : IUnknown {
    // The current factory, counted (may be null).
    virtual HRESULT GetLogFactory(ILogFactory** factory) noexcept = 0;
    // The filter, counted.
    virtual HRESULT GetOutputFilter(IOutputFilter** filter) noexcept = 0;
    // True when at least one filter entry exists.
    virtual bool IsEnabled() noexcept = 0;
    // The error log, created at the first call and kept; counted.
    virtual HRESULT GetErrorLog(ILog** errorLog) noexcept = 0;
    virtual ~ILogSetting() = default;
};

} // namespace Kiv::Log
