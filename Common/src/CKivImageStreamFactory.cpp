#include "CKivImageStreamFactory.h"

#include "CKivImageStreamDevice.h"
#include "KivImageDecode.h"

#include "KivCommon/KivModuleResources.h"

#include "KivObject/ComPtr.h"
#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/FileContent.h"
#include "KivPlatform/Module.h"

#include <string_view>

namespace Kiv {

namespace {

// A new stream filled by fill, handed out through stream when fill succeeded.
template <class Fill>
HRESULT MakeStream(IKivImageStream** stream, Fill&& fill)
{
    if (stream == nullptr) {
        return E_INVALIDARG;
    }
    return Platform::StatusFromExceptions([&] {
        CComPtr<CKivObject<CKivImageStream>> object(CKivObject<CKivImageStream>::CreateObject());
        if (object == nullptr) {
            return E_OUTOFMEMORY;
        }
        const HRESULT status = fill(*object);
        if (FAILED(status)) {
            return status;
        }
        return object->QueryInterface(IID_PPV_ARGS(stream));
    });
}

// The entry of the module's resource table with that type and name (or number when name is
// null), or the status that says why there is none.
HRESULT FindResource(void* module, const OLECHAR* name, WORD id, const OLECHAR* type, const KivResourceEntry*& found)
{
    if (module == nullptr || type == nullptr) {
        return E_INVALIDARG;
    }
    const auto* table =
        static_cast<const KivResourceTable*>(Platform::FindModuleSymbol(module, KivModuleResourcesSymbol));
    if (table == nullptr) {
        return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    }
    for (DWORD i = 0; i < table->count; ++i) {
        const KivResourceEntry& entry = table->entries[i];
        if (entry.type == nullptr || std::u16string_view(entry.type) != type) {
            continue;
        }
        const bool sameName = name != nullptr ? entry.name != nullptr && std::u16string_view(entry.name) == name
                                              : entry.name == nullptr && entry.id == id;
        if (sameName) {
            found = &entry;
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT CreateFromResourceEntry(void* module, const OLECHAR* name, WORD id, const OLECHAR* type,
                                IKivImageStream** stream)
{
    if (stream == nullptr) {
        return E_INVALIDARG;
    }
    const KivResourceEntry* entry = nullptr;
    const HRESULT status = FindResource(module, name, id, type, entry);
    if (FAILED(status)) {
        return status;
    }
    return MakeStream(stream, [&](CKivImageStream& image) { return LoadImageBytes(entry->data, entry->size, image); });
}

} // namespace

HRESULT CKivImageStreamFactory::CreateFromFile(const OLECHAR* path, IKivImageStream** stream)
{
    if (path == nullptr) {
        return E_INVALIDARG;
    }
    return MakeStream(stream, [&](CKivImageStream& image) {
        Platform::PrivateMemory content;
        const Platform::ReadFileResult read = Platform::ReadWholeFile(path, content);
        if (read == Platform::ReadFileResult::OutOfMemory) {
            return E_OUTOFMEMORY;
        }
        if (read != Platform::ReadFileResult::Ok) {
            return E_FAIL;
        }
        const HRESULT status = LoadImageBytes(content.Data(), content.Size(), image);
        // Neither a BMP nor a PNG file.
        return FAILED(status) && status != E_OUTOFMEMORY ? E_FAIL : status;
    });
}

HRESULT CKivImageStreamFactory::CreateImage(LONG width, LONG height, DWORD bitsPerPixel, IKivImageStream** stream)
{
    return MakeStream(stream, [&](CKivImageStream& image) { return image.Allocate(width, height, bitsPerPixel); });
}

HRESULT CKivImageStreamFactory::CreateFromResource(void* module, const OLECHAR* name, const OLECHAR* type,
                                                   IKivImageStream** stream)
{
    if (name == nullptr) {
        return E_INVALIDARG;
    }
    return CreateFromResourceEntry(module, name, 0, type, stream);
}

HRESULT CKivImageStreamFactory::CreateFromResourceId(void* module, WORD id, const OLECHAR* type,
                                                     IKivImageStream** stream)
{
    return CreateFromResourceEntry(module, nullptr, id, type, stream);
}

HRESULT CKivImageStreamFactory::CreateDevice(IKivImageStreamDevice** device)
{
    if (device == nullptr) {
        return E_INVALIDARG;
    }
    CComPtr<CKivObject<CKivImageStreamDevice>> object(CKivObject<CKivImageStreamDevice>::CreateObject());
    if (object == nullptr) {
        return E_OUTOFMEMORY;
    }
    return object->QueryInterface(IID_PPV_ARGS(device));
}

HRESULT CKivImageStreamFactory::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivImageStreamFactory::Iid, this}}, riid, ppv);
}

IKivImageStreamFactory* CKivImageUtil::CreateFactory()
{
    return CKivObject<CKivImageStreamFactory>::CreateObject();
}

IKivImageUtil* GetKivImageUtil()
{
    static CKivImageUtil util;
    return &util;
}

} // namespace Kiv
