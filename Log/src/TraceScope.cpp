// Entry and exit lines of traced operations.
#include "KivLog/TraceScope.h"

namespace Kiv::Log {

bool CTraceSite::Evaluate(CModuleLog& log) noexcept
{
    const bool enabled = log.Passes(m_subject, m_level);
    m_state.store((log.Generation() << 1) | (enabled ? 1u : 0u), std::memory_order_relaxed);
    return enabled;
}

void CTraceScope::Enter() noexcept
{
    m_enabled = true;
    m_log.Trace(m_site.GetSubject(), m_site.GetLevel(), u"┌ %s()", {m_name});
    m_log.IncIndent();
}

void CTraceScope::Exit() noexcept
{
    m_log.DecIndent();
    LPCWSTR subject = m_site.GetSubject();
    const LONG level = m_site.GetLevel();
    if (m_status != nullptr) {
        const HRESULT result = *m_status;
        const auto bits = static_cast<unsigned>(result);
        if (result > 0) {
            m_log.Trace(subject, level, u"└ %s() : return %u [0x%08X]", {m_name, bits, bits});
        } else {
            m_log.Trace(subject, level, u"└ %s() : return %d [0x%08X]", {m_name, result, bits});
        }
    } else if (m_boolean != nullptr) {
        m_log.Trace(subject, level, u"└ %s() : return %s", {m_name, *m_boolean ? u"true" : u"false"});
    } else {
        m_log.Trace(subject, level, u"└ %s()", {m_name});
    }
}

} // namespace Kiv::Log
