// The DOM document shared by a CKivXMLDocument and the nodes made from it, and the text
// conversions of the XML service (UTF-16 <-> UTF-8). Not thread-safe: one document and its
// nodes are used by one thread at a time.
#pragma once

#include "KivPlatform/Bstr.h"
#include "KivPlatform/Status.h"

#include <pugixml.hpp>

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Kiv {

// A pugixml document shared by a document object and its node objects. Node objects register
// the DOM node they wrap (Hold, Unhold), so that what is removed from the tree is freed as soon
// as no object wraps it or anything below it, and kept under a hidden element until then. It is
// held by shared_ptr, so nodes keep it alive after their document has loaded another one.
class CKivXMLDom {
public:
    // Parse options for text that IsWellFormedXml accepted: whitespace text is kept, so that a
    // loaded file keeps its layout and the indentation rule of AddChild holds for it too.
    static constexpr unsigned ParseOptions = pugi::parse_full | pugi::parse_ws_pcdata;

    CKivXMLDom() = default;
    CKivXMLDom(const CKivXMLDom&) = delete;
    CKivXMLDom& operator=(const CKivXMLDom&) = delete;

    pugi::xml_document& Document() { return m_document; }
    // The first element at document level, the hidden one excluded.
    pugi::xml_node DocumentElement() const;
    // True when the node is this document's own (in the tree or removed from it).
    bool Owns(const pugi::xml_node& node) const;
    // A node object starts wrapping the node. Throws std::bad_alloc.
    void Hold(const pugi::xml_node& node);
    // A node object stops wrapping the node. May free removed nodes that nothing wraps any more.
    void Unhold(const pugi::xml_node& node) noexcept;
    // Takes the node out of the tree: freed at once when no node object wraps it or anything
    // below it, kept aside otherwise. False when memory runs out.
    bool Detach(pugi::xml_node node);
    // The document as UTF-8 text; any declaration is written as UTF-8's. Throws std::bad_alloc.
    std::string Serialize() const;

private:
    // Counts the nodes of the subtree; true when a node object wraps any of them.
    bool IsHeldBelow(pugi::xml_node root, std::size_t& nodes) const;
    // Frees the subtree leaf by leaf: pugixml's own removal recurses over the depth.
    static void Free(pugi::xml_node root) noexcept;
    // Frees the subtrees kept aside that no node object wraps any more.
    void Collect() noexcept;
    // Collects once the work since the last collection has grown as large as what survived it,
    // so a collection's walk over the kept nodes costs a constant per unit of work.
    void AddWork(std::size_t units) noexcept;

    pugi::xml_document m_document;
    // The hidden element holding removed subtrees that node objects still wrap.
    pugi::xml_node m_detached;
    // How many node objects wrap each node.
    std::unordered_map<const pugi::xml_node_struct*, std::size_t> m_held;
    // Nodes kept aside after the last collection, and nodes kept aside plus node objects
    // released since.
    std::size_t m_survivors = 0;
    std::size_t m_work = 0;
};

// Calls visit for the node and each node below it in document order. The walk goes down to
// first children and back up through parents instead of recursing, so any depth is safe; visit
// must not change the tree.
template <class Visit>
void ForEachNode(pugi::xml_node root, Visit&& visit)
{
    pugi::xml_node current = root;
    while (current) {
        visit(current);
        if (current.first_child()) {
            current = current.first_child();
            continue;
        }
        while (current != root && !current.next_sibling()) {
            current = current.parent();
        }
        current = current == root ? pugi::xml_node() : current.next_sibling();
    }
}

// UTF-16 in text as UTF-8 (null is empty). Throws std::bad_alloc.
std::string ToUtf8(LPCWSTR text);
// A new BSTR with the UTF-8 text in UTF-16; E_OUTOFMEMORY when it cannot be allocated.
HRESULT ToBstr(std::string_view utf8, BSTR* out);

} // namespace Kiv
