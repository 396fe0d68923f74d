// The exported accessors, called through the shared library as its clients call them: each
// hands out the same utility on every call, and the image and identifier utilities work from
// outside the library (one identifier table for the whole library).
#include "KivCommon/KivCommon.h"

#include "KivObject/ComPtr.h"

#include <gtest/gtest.h>

#include <functional>

using namespace Kiv;

namespace {

TEST(KivCommonAccessors, EachReturnsTheSameUtilityOnEveryCall)
{
    const std::function<const void*()> accessors[] = {
        [] { return static_cast<const void*>(GetKivCommonUtil()); },
        [] { return static_cast<const void*>(GetKivXMLUtil()); },
        [] { return static_cast<const void*>(GetKivResizePanelUtil()); },
        [] { return static_cast<const void*>(GetHttpUtil()); },
        [] { return static_cast<const void*>(GetMemoryUtil()); },
        [] { return static_cast<const void*>(GetKivImageUtil()); },
        [] { return static_cast<const void*>(GetKivGenIdUtil()); },
        [] { return static_cast<const void*>(GetNTServiceUtil()); },
        [] { return static_cast<const void*>(GetKivSocketUtil()); },
        [] { return static_cast<const void*>(GetRegistryUtil()); },
    };
    for (const auto& accessor : accessors) {
        const void* first = accessor();
        EXPECT_NE(first, nullptr);
        EXPECT_EQ(accessor(), first);
    }
}

TEST(KivCommonAccessors, ImagesAndIdentifiersWorkFromOutsideTheLibrary)
{
    CComPtr<IKivImageStreamFactory> factory(GetKivImageUtil()->CreateFactory());
    ASSERT_TRUE(factory);
    CComPtr<IKivImageStream> stream;
    ASSERT_EQ(factory->CreateImage(3, 2, KivImageBits24, &stream), S_OK);
    KivImageInfo info{};
    info.size = KivImageInfoSize;
    ASSERT_EQ(stream->GetImageInfo(&info), S_OK);
    EXPECT_EQ(info.stride, 12);

    CComPtr<IKivGenId> first(GetKivGenIdUtil()->CreateGenId());
    CComPtr<IKivGenId> second(GetKivGenIdUtil()->CreateGenId());
    DWORD one = 0;
    DWORD two = 0;
    ASSERT_EQ(first->GetId(u"accessor test name", &one), S_OK);
    ASSERT_EQ(second->GetId(u"accessor test name", &two), S_OK);
    EXPECT_EQ(one, two);
    EXPECT_GE(one, KivGenIdFirst);
}

} // namespace
