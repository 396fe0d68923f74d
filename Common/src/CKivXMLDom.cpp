// The shared DOM document and the text conversions of the XML service.
#include "CKivXMLDom.h"

#include "KivPlatform/Text.h"

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

bool CKivXMLDom::Detach(pugi::xml_node node)
{
    if (!m_detached) {
        m_detached = m_document.append_child(pugi::node_element);
        if (!m_detached) {
            return false;
        }
    }
    return static_cast<bool>(m_detached.append_move(node));
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
