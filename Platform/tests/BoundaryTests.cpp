// Tests of the helper that turns exceptions into statuses at interface boundaries.
#include "KivPlatform/Boundary.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <system_error>

namespace {

using Kiv::Platform::StatusFromExceptions;

TEST(BoundaryTest, ExceptionsBecomeStatuses)
{
    EXPECT_EQ(StatusFromExceptions([] { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(StatusFromExceptions([] { throw std::system_error(std::make_error_code(std::errc::not_enough_memory)); }),
              E_OUTOFMEMORY);
    EXPECT_EQ(StatusFromExceptions([] { throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)); }),
              E_FAIL);
    EXPECT_EQ(StatusFromExceptions([] { throw std::runtime_error("x"); }), E_FAIL);
    EXPECT_EQ(StatusFromExceptions([] { throw 42; }), E_FAIL);
}

TEST(BoundaryTest, BodiesThatReturnKeepTheirStatus)
{
    EXPECT_EQ(StatusFromExceptions([] { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(StatusFromExceptions([] { return E_INVALIDARG; }), E_INVALIDARG);
    int calls = 0;
    EXPECT_EQ(StatusFromExceptions([&] { ++calls; }), S_OK);
    EXPECT_EQ(calls, 1);
}

} // namespace
