#include "CKivAtlModule.h"

namespace Kiv {

namespace {

// Constant-initialised, so it exists before any object of the library can lock it and outlives
// every static that might still release one.
constinit CKivAtlModule g_module;

} // namespace

CKivAtlModule& CKivAtlModule::Instance()
{
    return g_module;
}

} // namespace Kiv
