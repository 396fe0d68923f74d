// Trace scopes: the entry line "┌ name()" when a traced operation starts and the exit line with
// its result when it ends, one indentation level apart from what the operation traces in between.
//
// Each call site keeps a CTraceSite that remembers whether its subject and level pass the module
// log's filter, so a disabled trace costs a load and a branch: no lock, no allocation, no
// formatting. The settings never change after start-up, so the remembered answer stays right.
// Thread-safety: sites are shared by all threads (their cache is atomic); a scope belongs to the
// thread whose stack it is on. Scopes never throw: a line that cannot be made is dropped.
#pragma once

#include "KivLog/ModuleLog.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace Kiv::Log {

// The subject and level of one call site, and the cached answer of the filter for them.
class CTraceSite {
public:
    constexpr CTraceSite(LPCWSTR subject, LONG level) : m_subject(subject), m_level(level) {}

    bool IsEnabled(CModuleLog& log) noexcept
    {
        const std::uint32_t state = m_state.load(std::memory_order_relaxed);
        if ((state >> 1) == log.Generation()) {
            return (state & 1) != 0;
        }
        return Evaluate(log);
    }
    LPCWSTR GetSubject() const { return m_subject; }
    LONG GetLevel() const { return m_level; }

private:
    bool Evaluate(CModuleLog& log) noexcept;

    LPCWSTR m_subject;
    LONG m_level;
    // The generation of the module log the answer belongs to (0: none yet), and the answer.
    std::atomic<std::uint32_t> m_state{0};
};

// The subject of a traced operation, taken from its qualified name at compile time: the class part
// just before the operation ("CLoadLogThread" of "CKivLogSysMgrImp::CLoadLogThread::DoStart"),
// or the whole name when it has no class part. So a call site names its operation once.
template <std::size_t N>
class CTraceName {
public:
    consteval CTraceName(const char16_t (&name)[N])
    {
        constexpr std::size_t length = N - 1;
        std::size_t last = length;
        std::size_t previous = length;
        for (std::size_t i = 0; i + 1 < length; ++i) {
            if (name[i] == u':' && name[i + 1] == u':') {
                previous = last;
                last = i;
            }
        }
        const std::size_t begin = last == length || previous == length ? 0 : previous + 2;
        const std::size_t end = last;
        for (std::size_t i = begin; i < end; ++i) {
            m_subject[i - begin] = name[i];
        }
    }
    constexpr LPCWSTR GetSubject() const { return m_subject; }

private:
    char16_t m_subject[N]{};
};

class CTraceScope {
public:
    // An operation with a status result: the exit line shows it ("return %u [0x%08X]" for a
    // positive status, "return %d [0x%08X]" otherwise). result must outlive the scope.
    CTraceScope(CModuleLog& log, CTraceSite& site, LPCWSTR name, const HRESULT* result) noexcept
        : m_log(log), m_site(site), m_name(name), m_status(result)
    {
        if (site.IsEnabled(log)) {
            Enter();
        }
    }
    // An operation with a yes/no result: "return true" or "return false".
    CTraceScope(CModuleLog& log, CTraceSite& site, LPCWSTR name, const bool* result) noexcept
        : m_log(log), m_site(site), m_name(name), m_boolean(result)
    {
        if (site.IsEnabled(log)) {
            Enter();
        }
    }
    // An operation without a result: the exit line is "└ name()".
    CTraceScope(CModuleLog& log, CTraceSite& site, LPCWSTR name) noexcept
        : m_log(log), m_site(site), m_name(name)
    {
        if (site.IsEnabled(log)) {
            Enter();
        }
    }
    ~CTraceScope()
    {
        if (m_enabled) {
            Exit();
        }
    }

    CTraceScope(const CTraceScope&) = delete;
    CTraceScope& operator=(const CTraceScope&) = delete;

private:
    // The enabled paths stay out of line, so that a disabled scope is a few inlined instructions.
    void Enter() noexcept;
    void Exit() noexcept;

    CModuleLog& m_log;
    CTraceSite& m_site;
    LPCWSTR m_name;
    const HRESULT* m_status = nullptr;
    const bool* m_boolean = nullptr;
    bool m_enabled = false;
};

} // namespace Kiv::Log

#define KIV_TRACE_CONCAT_(a, b) a##b
#define KIV_TRACE_CONCAT(a, b) KIV_TRACE_CONCAT_(a, b)

// Traces the enclosing operation: KIV_TRACE_SCOPE(module log, subject, level, name[, &result]).
#define KIV_TRACE_SCOPE(moduleLog, subject, level, ...)                                                         \
    static ::Kiv::Log::CTraceSite KIV_TRACE_CONCAT(kivTraceSite_, __LINE__)(subject, level);                   \
    ::Kiv::Log::CTraceScope KIV_TRACE_CONCAT(kivTraceScope_, __LINE__)(moduleLog, KIV_TRACE_CONCAT(kivTraceSite_, \
                                                                                                    __LINE__),   \
                                                                       __VA_ARGS__)

#define KIV_TRACE_RESULT_(result, initial) result
#define KIV_TRACE_INITIAL_(result, initial) initial
#define KIV_TRACE_RESULT(...) KIV_TRACE_RESULT_(__VA_ARGS__)
#define KIV_TRACE_INITIAL(...) KIV_TRACE_INITIAL_(__VA_ARGS__)

// Traces the enclosing operation under its qualified name, given once (the subject is its class
// part): KIV_TRACE_OPERATION(module log, level, name[, result, initial value]). With a result,
// it also declares the operation's result variable (a status or a yes/no answer) with its
// initial value; the exit line shows the value it holds when the operation returns.
#define KIV_TRACE_OPERATION(moduleLog, level, name, ...)                                                         \
    static constexpr ::Kiv::Log::CTraceName KIV_TRACE_CONCAT(kivTraceName_, __LINE__){name};                     \
    static ::Kiv::Log::CTraceSite KIV_TRACE_CONCAT(kivTraceSite_, __LINE__)(                                     \
        KIV_TRACE_CONCAT(kivTraceName_, __LINE__).GetSubject(), level);                                          \
    __VA_OPT__(auto KIV_TRACE_RESULT(__VA_ARGS__) = KIV_TRACE_INITIAL(__VA_ARGS__);)                             \
    ::Kiv::Log::CTraceScope KIV_TRACE_CONCAT(kivTraceScope_, __LINE__)(                                          \
        moduleLog, KIV_TRACE_CONCAT(kivTraceSite_, __LINE__), name __VA_OPT__(, &KIV_TRACE_RESULT(__VA_ARGS__)))

// Traces one message inside a traced operation: KIV_TRACE(module log, subject, level, format,
// arguments...). The line's text is a blank and the message.
#define KIV_TRACE(moduleLog, subject, level, format, ...)                                               \
    do {                                                                                                \
        static ::Kiv::Log::CTraceSite kivTraceSite_(subject, level);                                    \
        ::Kiv::Log::CModuleLog& kivTraceLog_ = (moduleLog);                                             \
        if (kivTraceSite_.IsEnabled(kivTraceLog_)) {                                                    \
            kivTraceLog_.TraceMessage(kivTraceSite_.GetSubject(), kivTraceSite_.GetLevel(), format, {__VA_ARGS__}); \
        }                                                                                               \
    } while (false)
