// KivCommon's own tracing: its module log "Kiv", configured by "Kiv.log.xml" beside the program,
// with its error log "Kiv.log" there too, and the scope macro its traced operations use. Every
// traced operation of KivCommon traces at level 10 with its class name as the subject.
// Thread-safe.
#pragma once

#include "KivLog/TraceScope.h"

namespace Kiv {

// Started on the first traced call; kept until the process ends, so that a thread still tracing
// while the process exits never meets a destroyed log.
Kiv::Log::CModuleLog& CommonLog() noexcept;

inline constexpr LONG CommonTraceLevel = 10;

} // namespace Kiv

// Traces the enclosing operation: KIV_COMMON_SCOPE(subject, full name[, &result]).
#define KIV_COMMON_SCOPE(subject, ...) \
    KIV_TRACE_SCOPE(::Kiv::CommonLog(), subject, ::Kiv::CommonTraceLevel, __VA_ARGS__)
