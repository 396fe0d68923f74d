// Fault injection for tests: while a CFailingAllocations lives, the calling thread's allocations
// through operator new succeed a given number of times and then all fail with std::bad_alloc.
// Other threads are not affected. The test binary's operator new and delete stand in for the
// standard ones (FailingAllocations.cpp) and behave like them while nothing is armed.
#pragma once

namespace KivTest {

class CFailingAllocations {
public:
    // allowed: how many allocations still succeed. failed receives, when this object goes,
    // the number of allocations that failed meanwhile.
    CFailingAllocations(long allowed, long& failed);
    ~CFailingAllocations();
    CFailingAllocations(const CFailingAllocations&) = delete;
    CFailingAllocations& operator=(const CFailingAllocations&) = delete;

private:
    long& m_failed;
};

} // namespace KivTest
