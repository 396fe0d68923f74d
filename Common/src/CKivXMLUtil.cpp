// CKivXMLUtil and its exported accessor.
#include "CKivXMLUtil.h"

#include "CKivXMLDocument.h"
#include "KivObject/KivObject.h"

#include <new>

namespace Kiv {

IKivXMLDocument* CKivXMLUtil::CreateDocument()
{
    try {
        return CKivObject<CKivXMLDocument>::CreateObject(std::make_shared<CKivXMLDom>());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

IKivXMLUtil* GetKivXMLUtil()
{
    static CKivXMLUtil s_util;
    return &s_util;
}

} // namespace Kiv
