// Loaded modules through the dynamic loader (dlopen, dlsym).
#include "KivPlatform/Module.h"

#include "KivPlatform/ModulePath.h"

#include <dlfcn.h>

namespace Kiv::Platform {

void* LoadModule(std::u16string_view path)
{
    return ::dlopen(ToSystemPath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* GetProgramModule()
{
    // Opening the program again only raises its count, which never reaches zero anyway.
    static void* const program = ::dlopen(nullptr, RTLD_NOW);
    return program;
}

void FreeModule(void* module)
{
    if (module != nullptr && module != GetProgramModule()) {
        ::dlclose(module);
    }
}

void* FindModuleSymbol(void* module, const char* name)
{
    if (module == nullptr || name == nullptr) {
        return nullptr;
    }
    return ::dlsym(module, name);
}

} // namespace Kiv::Platform
