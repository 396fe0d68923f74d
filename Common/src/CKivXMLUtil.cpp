// CKivXMLUtil and its exported accessor.
#include "CKivXMLUtil.h"

#include "CKivXMLDocument.h"
#include "KivObject/KivObject.h"
#include "KivPlatform/Boundary.h"

namespace Kiv {

IKivXMLDocument* CKivXMLUtil::CreateDocument()
{
    // Null, as for a failed object allocation, when the DOM cannot be made.
    IKivXMLDocument* document = nullptr;
    Platform::StatusFromExceptions(
        [&] { document = CKivObject<CKivXMLDocument>::CreateObject(std::make_shared<CKivXMLDom>()); });
    return document;
}

IKivXMLUtil* GetKivXMLUtil()
{
    static CKivXMLUtil s_util;
    return &s_util;
}

} // namespace Kiv
