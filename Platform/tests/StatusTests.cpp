// Tests of the status code helpers and the errno mapping.
#include "KivPlatform/Status.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(StatusTest, HresultFromWin32)
{
    struct Case {
        LONG error;
        HRESULT expected;
    };
    const Case cases[] = {
        {0, 0},
        {-5, -5},
        {static_cast<LONG>(0x80004005u), static_cast<HRESULT>(0x80004005u)},
        {5, static_cast<HRESULT>(0x80070005u)},
        {87, E_INVALIDARG},
        {0x12345, static_cast<HRESULT>(0x80072345u)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HRESULT_FROM_WIN32(c.error), c.expected) << "error " << c.error;
    }
    static_assert(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED) == E_ACCESSDENIED);
}

TEST(StatusTest, SucceededAndFailed)
{
    EXPECT_TRUE(SUCCEEDED(S_OK));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_FALSE(FAILED(S_FALSE));
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_FALSE(SUCCEEDED(E_FAIL));
    EXPECT_TRUE(FAILED(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
}

TEST(StatusTest, Win32ErrorFromErrno)
{
    struct Case {
        int error;
        DWORD expected;
    };
    const Case cases[] = {
        {ENOENT, ERROR_FILE_NOT_FOUND},
        {ENOTDIR, ERROR_PATH_NOT_FOUND},
        {EACCES, ERROR_ACCESS_DENIED},
        {EPERM, ERROR_ACCESS_DENIED},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
        {EEXIST, ERROR_ALREADY_EXISTS},
        {EINVAL, ERROR_INVALID_PARAMETER},
        {EIO, ERROR_INVALID_PARAMETER},
        {0, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Kiv::Platform::Win32ErrorFromErrno(c.error), c.expected) << "errno " << c.error;
    }
}

} // namespace
