// The shared DOM document and the text conversions of the XML service.
#include "CKivXMLDom.h"

#include "KivPlatform/Text.h"

#include <algorithm>

namespace Kiv {

namespace {

// Collects pugixml's output in a string.
class StringWriter : public pugi::xml_writer {
public:
    explicit StringWriter(std::string& out) : m_out(out) {}
    void write(const void* data, size_t size) override { m_out.append(static_cast<const char*>(data), size); }

private:
    std::string& m_out;
};

} // namespace

pugi::xml_node CKivXMLDom::DocumentElement() const
{
    for (pugi::xml_node child : m_document.children()) {
        if (child.type() == pugi::node_element && child != m_detached) {
            return child;
        }
    }
    return {};
}

bool CKivXMLDom::Owns(const pugi::xml_node& node) const
{
    return node.root() == m_document;
}

void CKivXMLDom::Hold(const pugi::xml_node& node)
{
    ++m_held[node.internal_object()];
}

void CKivXMLDom::Unhold(const pugi::xml_node& node) noexcept
{
    const auto held = m_held.find(node.internal_object());
    if (held != m_held.end() && --held->second == 0) {
        m_held.erase(held);
    }
    AddWork(1);
}

bool CKivXMLDom::Detach(pugi::xml_node node)
{
    std::size_t nodes = 0;
    if (!IsHeldBelow(node, nodes)) {
        Free(node);
        return true;
    }
    if (!m_detached) {
        m_detached = m_document.append_child(pugi::node_element);
        if (!m_detached) {
            return false;
        }
    }
    if (!m_detached.append_move(node)) {
        return false;
    }
    AddWork(nodes);
    return true;
}

bool CKivXMLDom::IsHeldBelow(pugi::xml_node root, std::size_t& nodes) const
{
    bool held = false;
    nodes = 0;
    ForEachNode(root, [&](const pugi::xml_node& node) {
        ++nodes;
        held = held || m_held.contains(node.internal_object());
    });
    return held;
}

void CKivXMLDom::Free(pugi::xml_node root) noexcept
{
    pugi::xml_node node = root;
    for (;;) {
        while (node.first_child()) {
            node = node.first_child();
        }
        if (node == root) {
            break;
        }
        pugi::xml_node parent = node.parent();
        parent.remove_child(node);
        node = parent;
    }
    root.parent().remove_child(root);
}

void CKivXMLDom::Collect() noexcept
{
    std::size_t survivors = 0;
    pugi::xml_node root = m_detached.first_child();
    while (root) {
        const pugi::xml_node next = root.next_sibling();
        std::size_t nodes = 0;
        if (IsHeldBelow(root, nodes)) {
            survivors += nodes;
        } else {
            Free(root);
        }
        root = next;
    }
    m_survivors = survivors;
    m_work = 0;
}

void CKivXMLDom::AddWork(std::size_t units) noexcept
{
    // Below this much work a collection is not worth its walk.
    constexpr std::size_t MinimumWork = 1024;
    m_work += units;
    if (m_detached.first_child() && m_work >= std::max(m_survivors, MinimumWork)) {
        Collect();
    }
}

std::string CKivXMLDom::Serialize() const
{
    std::string out;
    StringWriter writer(out);
    // Each node at document level on a line of its own.
    for (pugi::xml_node child : m_document.children()) {
        if (child == m_detached) {
            continue;
        }
        if (child.type() == pugi::node_declaration) {
            // The text is always written as UTF-8, whatever encoding a loaded file declared.
            out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
        } else {
            child.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
        }
        out += '\n';
    }
    return out;
}

std::string ToUtf8(LPCWSTR text)
{
    return text == nullptr ? std::string() : Platform::Utf16ToUtf8(text);
}

HRESULT ToBstr(std::string_view utf8, BSTR* out)
{
    const std::u16string text = Platform::Utf8ToUtf16(utf8);
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    *out = copy;
    return S_OK;
}

} // namespace Kiv
