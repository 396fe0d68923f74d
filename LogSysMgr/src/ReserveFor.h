// Making room in a vector before an insertion, so that the insertion itself cannot fail and an
// allocation failure leaves the vector and everything kept in step with it unchanged.
// Header-only, no state.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace Kiv::LogSysMgr {

// Room for more further elements, growing geometrically as insertions one by one would. Throws
// std::bad_alloc (the vector unchanged) when memory runs out.
template <class T>
void ReserveFor(std::vector<T>& items, std::size_t more)
{
    if (items.capacity() - items.size() < more) {
        items.reserve(std::max(items.size() + more, items.size() * 2));
    }
}

} // namespace Kiv::LogSysMgr
