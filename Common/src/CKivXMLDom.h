// The DOM document shared by a CKivXMLDocument and the nodes made from it, and the text
// conversions of the XML service (UTF-16 <-> UTF-8). Not thread-safe: one document and its
// nodes are used by one thread at a time.
#pragma once

#include "KivPlatform/Bstr.h"
#include "KivPlatform/Status.h"

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace Kiv {

// A pugixml document that never frees a node while it lives: removed nodes are moved under a
// hidden element instead, because node objects may still wrap them or their descendants. It is
// held by shared_ptr, so nodes keep it alive after their document has loaded another one.
class CKivXMLDom {
public:
    // Parse options for text that IsWellFormedXml accepted: whitespace text is kept, so that a
    // loaded file keeps its layout and the indentation rule of AddChild holds for it too.
    static constexpr unsigned ParseOptions = pugi::parse_full | pugi::parse_ws_pcdata;

    pugi::xml_document& Document() { return m_document; }
    // The first element at document level, the hidden one excluded.
    pugi::xml_node DocumentElement() const;
    // True when the node is this document's own (in the tree or removed from it).
    bool Owns(const pugi::xml_node& node) const;
    // Moves the node out of the tree, keeping it alive. False when memory runs out.
    bool Detach(pugi::xml_node node);
    // The document as UTF-8 text; any declaration is written as UTF-8's. Throws std::bad_alloc.
    std::string Serialize() const;

private:
    pugi::xml_document m_document;
    pugi::xml_node m_detached;
};

// UTF-16 in text as UTF-8 (null is empty). Throws std::bad_alloc.
std::string ToUtf8(LPCWSTR text);
// A new BSTR with the UTF-8 text in UTF-16; E_OUTOFMEMORY when it cannot be allocated.
HRESULT ToBstr(std::string_view utf8, BSTR* out);

} // namespace Kiv
