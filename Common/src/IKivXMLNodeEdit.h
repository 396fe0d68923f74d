// The building side of an XML node, used inside the library only: it hands out the DOM node a
// node object wraps. Kept out of the public headers so that clients never see the DOM library.
// Used by one thread at a time, like the node itself.
#pragma once

#include "KivCommon/KivXML.h"

#include <pugixml.hpp>

namespace Kiv {

// One parsed name of a path.
struct KivXMLPathElement {
    LPCWSTR name;
    LONG index;
};

struct IKivXMLNodeEdit : IUnknown {
    KIV_INTERFACE_ID("011AF82D-7961-4902-B53F-317A15C53081");
    virtual HRESULT GetDOMNode(pugi::xml_node* node) = 0;
    // The node must belong to the same DOM document (E_INVALIDARG otherwise); an empty node
    // leaves the object wrapping nothing.
    virtual HRESULT SetDOMNode(const pugi::xml_node& node) = 0;
    // One step of GetNodeByPath.
    virtual HRESULT FindPath(const KivXMLPathElement* element, LONG create, IKivXMLNode** node) = 0;
};

} // namespace Kiv
