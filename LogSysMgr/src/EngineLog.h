// The engine's tracing: its module log ("KivLogSysMgrLog", configured by "KivLogSysMgr.log.xml"
// beside the library file) and the scope and message macros its operations use. Every engine
// operation traces at level 10 with its class name as the subject. Thread-safe.
#pragma once

#include "KivLog/TraceScope.h"

namespace Kiv::LogSysMgr {

// Started on the first traced call; kept until the process ends, so that a thread still tracing
// while the process exits never meets a destroyed log.
Kiv::Log::CModuleLog& EngineLog() noexcept;

inline constexpr LONG EngineTraceLevel = 10;

} // namespace Kiv::LogSysMgr

// Traces the enclosing engine operation, named once with its class:
// KIV_ENGINE_SCOPE(u"Class::Operation"[, result, initial value]) declares the result variable
// and shows its value on the exit line (see KIV_TRACE_OPERATION).
#define KIV_ENGINE_SCOPE(...) \
    KIV_TRACE_OPERATION(::Kiv::LogSysMgr::EngineLog(), ::Kiv::LogSysMgr::EngineTraceLevel, __VA_ARGS__)

// Traces one message of an engine operation: KIV_ENGINE_TRACE(subject, format, arguments...).
#define KIV_ENGINE_TRACE(subject, ...) \
    KIV_TRACE(::Kiv::LogSysMgr::EngineLog(), subject, ::Kiv::LogSysMgr::EngineTraceLevel, __VA_ARGS__)
