// CKivXMLUtil: the XML utility that creates documents. One static, uncounted instance;
// stateless and thread-safe.
#pragma once

#include "KivCommon/KivXML.h"

namespace Kiv {

class CKivXMLUtil : public IKivXMLUtil {
public:
    IKivXMLDocument* CreateDocument() override;
};

} // namespace Kiv
