// CKivXMLNode: reading and editing one node, and the dotted element paths.
#include "CKivXMLNode.h"

#include "KivXMLSyntax.h"
#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"
#include "KivPlatform/Boundary.h"
#include "KivPlatform/Text.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace Kiv {

namespace {

struct PathName {
    std::string name; // UTF-8, as the DOM holds names
    LONG index;
};

// Splits "a.b[2].c" into names with their indices. False for a path that names nothing, a name
// that is not an XML name, or an index that is not "[" decimal digits "]" fitting a LONG.
bool ParsePath(std::u16string_view path, std::vector<PathName>& names)
{
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t dot = std::min(path.find(u'.', start), path.size());
        std::u16string_view piece = path.substr(start, dot - start);
        start = dot + 1;
        if (piece.empty()) {
            continue;
        }
        std::int64_t index = 0;
        const std::size_t open = piece.find(u'[');
        if (open != std::u16string_view::npos) {
            if (piece.back() != u']' || open + 2 >= piece.size()) {
                return false;
            }
            const std::u16string_view digits = piece.substr(open + 1, piece.size() - open - 2);
            for (const char16_t digit : digits) {
                if (digit < u'0' || digit > u'9') {
                    return false;
                }
                index = index * 10 + (digit - u'0');
                if (index > INT32_MAX) {
                    return false;
                }
            }
            piece = piece.substr(0, open);
        }
        if (!IsXmlName(piece)) {
            return false;
        }
        names.push_back({Platform::Utf16ToUtf8(piece), static_cast<LONG>(index)});
    }
    return !names.empty();
}

// The index-th child element (0-based) of that name, or empty; count gets how many were seen.
pugi::xml_node FindNamed(pugi::xml_node parent, const std::string& name, LONG index, std::int64_t& count)
{
    count = 0;
    for (pugi::xml_node child : parent.children(name.c_str())) {
        if (count == index) {
            return child;
        }
        ++count;
    }
    return {};
}

// True when creating the path's missing elements stays within KivXMLMaxCreatedPerStep for every
// name, checked before anything is added so that a refused path leaves the document unchanged.
bool CreationWithinBound(pugi::xml_node node, const std::vector<PathName>& names)
{
    bool missing = false;
    for (const PathName& name : names) {
        std::int64_t count = 0;
        if (!missing) {
            node = FindNamed(node, name.name, name.index, count);
            missing = !node;
        }
        if (missing && std::int64_t{name.index} + 1 - count > KivXMLMaxCreatedPerStep) {
            return false;
        }
    }
    return true;
}

// Indentation stops growing at this many tabs. Every level stores its own line breaks, so tabs
// growing with the level would make the memory of a created path quadratic in its length;
// documents meant to be read stay well within it and keep exactly one tab per level.
constexpr LONG MaxIndentTabs = 32;

// A line feed followed by the indentation of that level.
std::string LineAtLevel(LONG level)
{
    return "\n" + std::string(static_cast<std::size_t>(std::clamp<LONG>(level, 0, MaxIndentTabs)), '\t');
}

// Appends an element with the tab layout of a parent at the given level: the element on a line
// of its own at level tabs, the parent's end tag on the next line at level - 1 tabs. Empty on
// failure, with the parent as it was.
pugi::xml_node AppendIndented(pugi::xml_node parent, LONG level, const std::string& name)
{
    // Existing content already ends with the line of the parent's end tag, so one tab more
    // starts the element's line (none once the indentation has stopped growing).
    const std::string lead = !parent.first_child() ? LineAtLevel(level) : level <= MaxIndentTabs ? "\t" : "";
    const std::string trail = LineAtLevel(level - 1);
    pugi::xml_node leadNode = lead.empty() ? pugi::xml_node() : parent.append_child(pugi::node_pcdata);
    pugi::xml_node element = parent.append_child(name.c_str());
    pugi::xml_node trailNode = parent.append_child(pugi::node_pcdata);
    if ((!lead.empty() && (!leadNode || !leadNode.set_value(lead.c_str()))) || !element || !trailNode ||
        !trailNode.set_value(trail.c_str())) {
        // Nothing wraps these new nodes yet, so they can simply go.
        parent.remove_child(leadNode);
        parent.remove_child(element);
        parent.remove_child(trailNode);
        return {};
    }
    return element;
}

// One step of a path: the index-th child of that name, appending elements up to it on request.
HRESULT Step(pugi::xml_node parent, LONG level, const PathName& name, bool create, pugi::xml_node& match)
{
    std::int64_t count = 0;
    match = FindNamed(parent, name.name, name.index, count);
    if (match) {
        return S_OK;
    }
    if (!create || parent.type() != pugi::node_element ||
        std::int64_t{name.index} + 1 - count > KivXMLMaxCreatedPerStep) {
        return E_FAIL;
    }
    for (; count <= name.index; ++count) {
        match = AppendIndented(parent, level, name.name);
        if (!match) {
            return E_OUTOFMEMORY;
        }
    }
    return S_OK;
}

bool IsText(const pugi::xml_node& node)
{
    return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

} // namespace

HRESULT CKivXMLNode::Create(IKivXMLDocument* document, std::shared_ptr<CKivXMLDom> dom, pugi::xml_node node,
                            LONG level, IKivXMLNode** out)
{
    return Platform::StatusFromExceptions([&] {
        // The hold is taken before the object exists, since an object's constructor must not
        // throw; the object releases it when it goes.
        dom->Hold(node);
        auto* object = CKivObject<CKivXMLNode>::CreateObject(document, dom, node, level);
        if (object == nullptr) {
            dom->Unhold(node);
            return E_OUTOFMEMORY;
        }
        return object->QueryInterface(IKivXMLNode::Iid, reinterpret_cast<void**>(out));
    });
}

CKivXMLNode::~CKivXMLNode()
{
    if (m_node) {
        m_dom->Unhold(m_node);
    }
}

HRESULT CKivXMLNode::MakeNode(pugi::xml_node node, LONG level, IKivXMLNode** out)
{
    return Create(m_document, m_dom, node, level, out);
}

HRESULT CKivXMLNode::GetText(BSTR* text)
{
    if (text == nullptr) {
        return E_INVALIDARG;
    }
    if (!m_node) {
        return E_FAIL;
    }
    return Platform::StatusFromExceptions([&] {
        if (m_node.type() != pugi::node_element) {
            return ToBstr(m_node.value(), text);
        }
        // The text of the node and its descendants in document order.
        std::string content;
        ForEachNode(m_node, [&](const pugi::xml_node& node) {
            if (IsText(node)) {
                content += node.value();
            }
        });
        return ToBstr(content, text);
    });
}

HRESULT CKivXMLNode::SetText(LPCWSTR text)
{
    if (!m_node) {
        return E_FAIL;
    }
    if (text != nullptr && !IsXmlText(text)) {
        return E_INVALIDARG;
    }
    return Platform::StatusFromExceptions([&] {
        const std::string value = ToUtf8(text);
        if (m_node.type() != pugi::node_element) {
            return m_node.set_value(value.c_str()) ? S_OK : E_FAIL;
        }
        // Old children that other node objects wrap are kept aside for them.
        while (pugi::xml_node child = m_node.first_child()) {
            if (!m_dom->Detach(child)) {
                return E_OUTOFMEMORY;
            }
        }
        if (value.empty()) {
            return S_OK;
        }
        pugi::xml_node textNode = m_node.append_child(pugi::node_pcdata);
        return textNode && textNode.set_value(value.c_str()) ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT CKivXMLNode::GetName(BSTR* name)
{
    if (name == nullptr) {
        return E_INVALIDARG;
    }
    if (!m_node) {
        return E_FAIL;
    }
    return Platform::StatusFromExceptions([&] {
        switch (m_node.type()) {
        case pugi::node_pcdata:
            return ToBstr("#text", name);
        case pugi::node_cdata:
            return ToBstr("#cdata-section", name);
        case pugi::node_comment:
            return ToBstr("#comment", name);
        default:
            return ToBstr(m_node.name(), name);
        }
    });
}

HRESULT CKivXMLNode::GetAttribute(LPCWSTR name, BSTR* value)
{
    if (name == nullptr || value == nullptr) {
        return E_INVALIDARG;
    }
    if (!m_node) {
        return E_FAIL;
    }
    return Platform::StatusFromExceptions([&] {
        const pugi::xml_attribute attribute = m_node.attribute(ToUtf8(name).c_str());
        return attribute ? ToBstr(attribute.value(), value) : S_FALSE;
    });
}

HRESULT CKivXMLNode::SetAttribute(LPCWSTR name, LPCWSTR value)
{
    if (name == nullptr) {
        return E_INVALIDARG;
    }
    if (!m_node) {
        return E_FAIL;
    }
    if (!IsXmlName(name) || (value != nullptr && !IsXmlText(value))) {
        return E_INVALIDARG;
    }
    if (m_node.type() != pugi::node_element) {
        return E_FAIL;
    }
    return Platform::StatusFromExceptions([&] {
        const std::string name8 = ToUtf8(name);
        pugi::xml_attribute attribute = m_node.attribute(name8.c_str());
        if (!attribute) {
            attribute = m_node.append_attribute(name8.c_str());
        }
        return attribute && attribute.set_value(ToUtf8(value).c_str()) ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT CKivXMLNode::GetChildCount(LONG* count)
{
    if (count == nullptr) {
        return E_INVALIDARG;
    }
    if (!m_node) {
        return E_FAIL;
    }
    LONG children = 0;
    for (pugi::xml_node child = m_node.first_child(); child; child = child.next_sibling()) {
        ++children;
    }
    *count = children;
    return S_OK;
}

HRESULT CKivXMLNode::GetChild(LONG index, IKivXMLNode** child)
{
    if (index < 0 || child == nullptr) {
        return E_INVALIDARG;
    }
    if (!m_node) {
        return E_FAIL;
    }
    pugi::xml_node node = m_node.first_child();
    for (LONG i = 0; node && i < index; ++i) {
        node = node.next_sibling();
    }
    return node ? MakeNode(node, m_level + 1, child) : E_FAIL;
}

HRESULT CKivXMLNode::AddChild(LPCWSTR name, IKivXMLNode** child)
{
    if (name == nullptr || child == nullptr) {
        return E_INVALIDARG;
    }
    if (!m_node) {
        return E_FAIL;
    }
    if (!IsXmlName(name)) {
        return E_INVALIDARG;
    }
    if (m_node.type() != pugi::node_element) {
        return E_FAIL;
    }
    return Platform::StatusFromExceptions([&] {
        const pugi::xml_node element = AppendIndented(m_node, m_level, ToUtf8(name));
        return element ? MakeNode(element, m_level + 1, child) : E_OUTOFMEMORY;
    });
}

HRESULT CKivXMLNode::RemoveChild(IKivXMLNode* child)
{
    if (child == nullptr) {
        return E_INVALIDARG;
    }
    if (!m_node) {
        return E_FAIL;
    }
    CComPtr<IKivXMLNodeEdit> edit;
    pugi::xml_node node;
    if (FAILED(child->QueryInterface(IID_PPV_ARGS(&edit))) || FAILED(edit->GetDOMNode(&node)) ||
        node.parent() != m_node) {
        return E_INVALIDARG;
    }
    // The child object keeps wrapping the node, which now stands outside the tree.
    return m_dom->Detach(node) ? S_OK : E_OUTOFMEMORY;
}

HRESULT CKivXMLNode::GetNodeByPath(LPCWSTR path, LONG create, IKivXMLNode** node)
{
    if (path == nullptr || node == nullptr) {
        return E_INVALIDARG;
    }
    if (!m_node) {
        return E_FAIL;
    }
    return Platform::StatusFromExceptions([&] {
        std::vector<PathName> names;
        if (!ParsePath(path, names) || (create != 0 && !CreationWithinBound(m_node, names))) {
            return E_FAIL;
        }
        pugi::xml_node current = m_node;
        LONG level = m_level;
        for (const PathName& name : names) {
            const HRESULT hr = Step(current, level, name, create != 0, current);
            if (FAILED(hr)) {
                return hr;
            }
            ++level;
        }
        return MakeNode(current, level, node);
    });
}

HRESULT CKivXMLNode::CountNodesByPath(LPCWSTR path, LONG* count)
{
    if (path == nullptr || count == nullptr) {
        return E_INVALIDARG;
    }
    if (!m_node) {
        return E_FAIL;
    }
    return Platform::StatusFromExceptions([&] {
        std::vector<PathName> names;
        if (!ParsePath(path, names)) {
            return E_FAIL;
        }
        pugi::xml_node parent = m_node;
        for (std::size_t i = 0; i + 1 < names.size() && parent; ++i) {
            std::int64_t seen = 0;
            parent = FindNamed(parent, names[i].name, names[i].index, seen);
        }
        LONG matches = 0;
        if (parent) {
            for ([[maybe_unused]] pugi::xml_node child : parent.children(names.back().name.c_str())) {
                ++matches;
            }
        }
        *count = matches;
        return S_OK;
    });
}

HRESULT CKivXMLNode::GetDocument(REFIID riid, void** document)
{
    if (document == nullptr) {
        return E_INVALIDARG;
    }
    return m_document->QueryInterface(riid, document);
}

HRESULT CKivXMLNode::GetDOMNode(pugi::xml_node* node)
{
    if (node == nullptr) {
        return E_INVALIDARG;
    }
    if (!m_node) {
        return E_FAIL;
    }
    *node = m_node;
    return S_OK;
}

HRESULT CKivXMLNode::SetDOMNode(const pugi::xml_node& node)
{
    if (node && !m_dom->Owns(node)) {
        return E_INVALIDARG;
    }
    return Platform::StatusFromExceptions([&] {
        if (node) {
            m_dom->Hold(node);
        }
        if (m_node) {
            m_dom->Unhold(m_node);
        }
        m_node = node;
    });
}

HRESULT CKivXMLNode::FindPath(const KivXMLPathElement* element, LONG create, IKivXMLNode** node)
{
    if (element == nullptr || element->name == nullptr || node == nullptr) {
        return E_INVALIDARG;
    }
    if (!m_node) {
        return E_FAIL;
    }
    if (element->index < 0 || !IsXmlName(element->name)) {
        return E_INVALIDARG;
    }
    return Platform::StatusFromExceptions([&] {
        pugi::xml_node match;
        const HRESULT hr = Step(m_node, m_level, {ToUtf8(element->name), element->index}, create != 0, match);
        return FAILED(hr) ? hr : MakeNode(match, m_level + 1, node);
    });
}

HRESULT CKivXMLNode::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivXMLNode*>(this)},
                               {IKivXMLNode::Iid, static_cast<IKivXMLNode*>(this)},
                               {IKivXMLNodeEdit::Iid, static_cast<IKivXMLNodeEdit*>(this)}},
                              riid, ppv);
}

} // namespace Kiv
