// The engine library finds its tracing settings beside its own file, wherever that file is: a
// copy of the library in a folder of its own, with "KivLogSysMgr.log.xml" beside it, traces into
// the folder that file names (here an absolute one; relative ones start at the program's folder).
#include "KivLogSysMgr/KivLogSysMgr.h"

#include "KivObject/ComPtr.h"

#include "KivTestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>

namespace {

using CreateLogSysMgrFunction = HRESULT (*)(IKivLogSysMgr**);

TEST(ModuleSettingsTest, SettingsBesideTheLibraryFileSwitchTracingOn)
{
    KivTest::TempDir dir;
    const auto library = dir.Path() / "libKivLogSysMgr.so";
    std::filesystem::copy_file(KIVLOGSYSMGR_LIBRARY, library);
    const auto traceFolder = dir.Path() / "trace";
    dir.WriteFile("KivLogSysMgr.log.xml",
                  "<KivLogSysMgr><FACTORY class=\"Kiv::Log::File::CLogFactory\" location=\"" + traceFolder.string() +
                      "\"/><FILTERLIST><FILTER subject=\"CKivLogSysMgrImp\" minlevel=\"0\" maxlevel=\"10\"/>"
                      "</FILTERLIST></KivLogSysMgr>");

    // Kept loaded: the library keeps its tracing until the process ends.
    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    const auto create = reinterpret_cast<CreateLogSysMgrFunction>(
        ::dlsym(handle, "_ZN13CKivLogSysMgr15CreateLogSysMgrEPP13IKivLogSysMgr"));
    ASSERT_NE(create, nullptr) << ::dlerror();
    {
        Kiv::CComPtr<IKivLogSysMgr> manager;
        ASSERT_EQ(create(&manager), S_OK);
        EXPECT_EQ(manager->ClearLogInfo(), S_OK);
    }

    std::vector<std::filesystem::path> traces;
    ASSERT_TRUE(std::filesystem::is_directory(traceFolder)) << "no trace was written";
    for (const auto& entry : std::filesystem::directory_iterator(traceFolder)) {
        traces.push_back(entry.path());
    }
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_EQ(traces[0].filename().string().rfind("KivLogSysMgrLog[", 0), 0u) << traces[0];
    const std::string text = KivTest::FileBytes(traces[0]);
    EXPECT_NE(text.find("CKivLogSysMgrImp::ClearLogInfo()"), std::string::npos);
    EXPECT_NE(text.find(" Not Imp\r\n"), std::string::npos);
}

} // namespace
