// Loaded modules (shared libraries and the program) by their loader handle: loading one by path,
// finding a symbol it exports, and letting it go. Thread-safe (the dynamic loader locks itself).
#pragma once

#include <string_view>

namespace Kiv::Platform {

// Loads the module at path (UTF-16) and returns its handle, or null when it cannot be loaded.
// Each successful call must be matched by FreeModule.
void* LoadModule(std::u16string_view path);
// The handle of the running program itself; it needs no FreeModule.
void* GetProgramModule();
void FreeModule(void* module);
// The address of the symbol the module exports under name, or null when it exports none.
void* FindModuleSymbol(void* module, const char* name);

} // namespace Kiv::Platform
