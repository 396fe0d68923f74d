// The resource table a module carries for Kiv::IKivImageStreamFactory::CreateFromResource.
//
// A shared library or program has no resource section on Linux, so a module that offers
// resources exports one table under the C symbol "KivModuleResources" (KivModuleResourcesSymbol):
//
//     extern "C" KIVCOMMON_RESOURCES_API const Kiv::KivResourceTable KivModuleResources = {count, entries};
//
// The factory finds it with the module's loader handle. Each entry names its resource by a string
// or, when name is null, by a 16-bit number, and belongs to a type (a string such as u"PNG").
// Names and types compare exactly. The bytes stay where the module keeps them.
// Plain constant data: thread-safe.
#pragma once

#include "KivPlatform/Types.h"

#define KIVCOMMON_RESOURCES_API __attribute__((visibility("default")))

namespace Kiv {

struct KivResourceEntry {
    const char16_t* type;
    // Null for a resource known by its number.
    const char16_t* name;
    WORD id;
    const BYTE* data;
    DWORD size;
};

struct KivResourceTable {
    DWORD count;
    const KivResourceEntry* entries;
};

inline constexpr const char* KivModuleResourcesSymbol = "KivModuleResources";

} // namespace Kiv
