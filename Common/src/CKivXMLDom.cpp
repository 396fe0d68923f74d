// The shared DOM document and the text rules of the XML service.
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

bool IsWhitespace(std::string_view text)
{
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// Reads the code point at position i (advancing i); unpaired surrogates give 0xFFFFFFFF.
char32_t NextCodePoint(std::u16string_view text, std::size_t& i)
{
    const char16_t unit = text[i++];
    if (unit >= 0xD800 && unit <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
        return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i++] - 0xDC00);
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) {
        return 0xFFFFFFFF;
    }
    return unit;
}

bool IsNameStartChar(char32_t c)
{
    return c == U':' || c == U'_' || (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
           (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c)
{
    return IsNameStartChar(c) || c == U'-' || c == U'.' || (c >= U'0' && c <= U'9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

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
    // Each node at document level on a line of its own; whitespace between them is not kept.
    for (pugi::xml_node child : m_document.children()) {
        if (child == m_detached || (child.type() == pugi::node_pcdata && IsWhitespace(child.value()))) {
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

bool CKivXMLDom::HasSingleElement() const
{
    int elements = 0;
    for (pugi::xml_node child : m_document.children()) {
        if (child.type() == pugi::node_element) {
            ++elements;
        } else if ((child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) &&
                   !IsWhitespace(child.value())) {
            return false;
        }
    }
    return elements == 1;
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

bool IsXmlName(std::u16string_view name)
{
    for (std::size_t i = 0; i < name.size();) {
        const bool first = i == 0;
        const char32_t c = NextCodePoint(name, i);
        if (first ? !IsNameStartChar(c) : !IsNameChar(c)) {
            return false;
        }
    }
    return !name.empty();
}

bool IsXmlText(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = NextCodePoint(text, i);
        const bool valid = c == U'\t' || c == U'\n' || c == U'\r' || (c >= 0x20 && c <= 0xD7FF) ||
                           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
        if (!valid) {
            return false;
        }
    }
    return true;
}

} // namespace Kiv
