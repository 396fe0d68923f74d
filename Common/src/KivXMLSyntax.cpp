// The syntax rules of the XML service: names, characters, file encodings and the
// well-formedness check.
#include "KivXMLSyntax.h"

#include "KivPlatform/Text.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <vector>

namespace Kiv {

namespace {

// What the decoders below return for a unit sequence that is not a character.
constexpr char32_t NoCharacter = 0xFFFFFFFF;

// Reads the code point at position i (advancing i); unpaired surrogates give NoCharacter.
char32_t NextUtf16(std::u16string_view text, std::size_t& i)
{
    const char16_t unit = text[i++];
    if (unit >= 0xD800 && unit <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
        return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i++] - 0xDC00);
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) {
        return NoCharacter;
    }
    return unit;
}

// Reads the code point at position i (advancing i); NoCharacter for anything that is not
// UTF-8: stray or missing continuation bytes, overlong forms, surrogates, values past U+10FFFF.
char32_t NextUtf8(std::string_view text, std::size_t& i)
{
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) {
        return lead;
    }
    int continuations = 0;
    char32_t c = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuations = 1;
        c = lead & 0x1F;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuations = 2;
        c = lead & 0x0F;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuations = 3;
        c = lead & 0x07;
        smallest = 0x10000;
    } else {
        return NoCharacter;
    }
    for (int k = 0; k < continuations; ++k) {
        if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            return NoCharacter;
        }
        c = (c << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    }
    if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return NoCharacter;
    }
    return c;
}

bool IsXmlChar(char32_t c)
{
    return c == U'\t' || c == U'\n' || c == U'\r' || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
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

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// ASCII case-insensitive equality, for encoding names and the reserved target "xml".
bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return (IsAsciiLetter(x) ? (x | 0x20) : x) == (IsAsciiLetter(y) ? (y | 0x20) : y);
    });
}

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names)
{
    return std::any_of(names.begin(), names.end(), [name](std::string_view n) { return EqualsIgnoringCase(name, n); });
}

// The encoding name of an XML declaration at the start of an ASCII-compatible text, or empty.
// Only locates the name: IsWellFormedXml checks the declaration's syntax afterwards.
std::string_view DeclaredEncoding(std::string_view text)
{
    if (text.size() < 6 || text.substr(0, 5) != "<?xml" || !IsSpace(text[5])) {
        return {};
    }
    const std::string_view declaration = text.substr(0, text.find("?>"));
    std::size_t i = declaration.find("encoding");
    if (i == std::string_view::npos) {
        return {};
    }
    i += 8;
    while (i < declaration.size() && (IsSpace(declaration[i]) || declaration[i] == '=')) {
        ++i;
    }
    if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) {
        return {};
    }
    const std::size_t end = declaration.find(declaration[i], i + 1);
    return end == std::string_view::npos ? std::string_view() : declaration.substr(i + 1, end - i - 1);
}

// UTF-16 bytes (after the byte order mark) as UTF-8; false for an odd length or unpaired
// surrogates.
bool Utf16BytesToUtf8(std::string_view bytes, bool bigEndian, std::string& utf8)
{
    if (bytes.size() % 2 != 0) {
        return false;
    }
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        text[i] = static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    for (std::size_t i = 0; i < text.size();) {
        if (NextUtf16(text, i) == NoCharacter) {
            return false;
        }
    }
    utf8 = Platform::Utf16ToUtf8(text);
    return true;
}

// The well-formedness check: one pass over the text with a position. Elements are tracked on a
// stack of open names, never by recursion.
class WellFormednessCheck {
public:
    explicit WellFormednessCheck(std::string_view text) : m_text(text) {}

    bool Run()
    {
        if (!AllCharacters()) {
            return false;
        }
        if (m_text.size() > 5 && At("<?xml") && IsSpace(m_text[5]) && !Declaration()) {
            return false;
        }
        bool documentType = false;
        for (;;) {
            SkipSpace();
            if (At("<!DOCTYPE")) {
                if (documentType || !DocumentType()) {
                    return false;
                }
                documentType = true;
            } else if (!AtMisc()) {
                break;
            } else if (!Misc()) {
                return false;
            }
        }
        if (!Element()) {
            return false;
        }
        for (;;) {
            SkipSpace();
            if (m_pos == m_text.size()) {
                return true;
            }
            if (!AtMisc() || !Misc()) {
                return false;
            }
        }
    }

private:
    bool AllCharacters() const
    {
        for (std::size_t i = 0; i < m_text.size();) {
            if (!IsXmlChar(NextUtf8(m_text, i))) {
                return false;
            }
        }
        return true;
    }

    bool At(std::string_view literal) const { return m_text.substr(m_pos, literal.size()) == literal; }

    bool Skip(std::string_view literal)
    {
        if (!At(literal)) {
            return false;
        }
        m_pos += literal.size();
        return true;
    }

    // Skips white space; true when there was some.
    bool SkipSpace()
    {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && IsSpace(m_text[m_pos])) {
            ++m_pos;
        }
        return m_pos > start;
    }

    bool Name(std::string_view& name)
    {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size()) {
            std::size_t next = m_pos;
            const char32_t c = NextUtf8(m_text, next);
            if (m_pos == start ? !IsNameStartChar(c) : !IsNameChar(c)) {
                break;
            }
            m_pos = next;
        }
        name = m_text.substr(start, m_pos - start);
        return !name.empty();
    }

    // S? "=" S?
    bool Equals()
    {
        SkipSpace();
        if (!Skip("=")) {
            return false;
        }
        SkipSpace();
        return true;
    }

    // A value in single or double quotes, handed out without them.
    bool Quoted(std::string_view& value)
    {
        if (m_pos >= m_text.size() || (m_text[m_pos] != '"' && m_text[m_pos] != '\'')) {
            return false;
        }
        const std::size_t end = m_text.find(m_text[m_pos], m_pos + 1);
        if (end == std::string_view::npos) {
            return false;
        }
        value = m_text.substr(m_pos + 1, end - m_pos - 1);
        m_pos = end + 1;
        return true;
    }

    // '<?xml' VersionInfo EncodingDecl? SDDecl? S? '?>', in that order.
    bool Declaration()
    {
        m_pos += 5;
        std::string_view value;
        if (!SkipSpace() || !Skip("version") || !Equals() || !Quoted(value) || value.size() < 3 ||
            value.substr(0, 2) != "1." || !std::all_of(value.begin() + 2, value.end(), IsDigit)) {
            return false;
        }
        bool space = SkipSpace();
        if (space && Skip("encoding")) {
            if (!Equals() || !Quoted(value) || value.empty() || !IsAsciiLetter(value[0]) ||
                !std::all_of(value.begin(), value.end(), [](char c) {
                    return IsAsciiLetter(c) || IsDigit(c) || c == '.' || c == '_' || c == '-';
                })) {
                return false;
            }
            space = SkipSpace();
        }
        if (space && Skip("standalone")) {
            if (!Equals() || !Quoted(value) || (value != "yes" && value != "no")) {
                return false;
            }
            SkipSpace();
        }
        return Skip("?>");
    }

    // '<!DOCTYPE' S Name (S ExternalID)? S? '>'; an internal subset is refused.
    bool DocumentType()
    {
        m_pos += 9;
        std::string_view name;
        if (!SkipSpace() || !Name(name)) {
            return false;
        }
        if (SkipSpace()) {
            std::string_view literal;
            if (Skip("PUBLIC")) {
                if (!SkipSpace() || !Quoted(literal) || !IsPublicId(literal) || !SkipSpace() || !Quoted(literal)) {
                    return false;
                }
            } else if (Skip("SYSTEM")) {
                if (!SkipSpace() || !Quoted(literal)) {
                    return false;
                }
            }
            SkipSpace();
        }
        return Skip(">");
    }

    static bool IsPublicId(std::string_view literal)
    {
        return std::all_of(literal.begin(), literal.end(), [](char c) {
            return c == ' ' || c == '\r' || c == '\n' || IsAsciiLetter(c) || IsDigit(c) ||
                   std::string_view("-'()+,./:=?;!*#@$_%").find(c) != std::string_view::npos;
        });
    }

    bool AtMisc() const { return At("<!--") || At("<?"); }

    // A comment or a processing instruction.
    bool Misc() { return At("<!--") ? Comment() : ProcessingInstruction(); }

    // '<!--' text without "--" '-->'
    bool Comment()
    {
        m_pos += 4;
        const std::size_t dashes = m_text.find("--", m_pos);
        if (dashes == std::string_view::npos || m_text.substr(dashes, 3) != "-->") {
            return false;
        }
        m_pos = dashes + 3;
        return true;
    }

    // '<?' target (S text)? '?>', the target not "xml" in any case.
    bool ProcessingInstruction()
    {
        m_pos += 2;
        std::string_view target;
        if (!Name(target) || EqualsIgnoringCase(target, "xml")) {
            return false;
        }
        if (Skip("?>")) {
            return true;
        }
        const std::size_t end = m_text.find("?>", m_pos);
        if (!SkipSpace() || end == std::string_view::npos) {
            return false;
        }
        m_pos = end + 2;
        return true;
    }

    // '<![CDATA[' text ']]>'
    bool CData()
    {
        m_pos += 9;
        const std::size_t end = m_text.find("]]>", m_pos);
        if (end == std::string_view::npos) {
            return false;
        }
        m_pos = end + 3;
        return true;
    }

    // '&#' digits ';', '&#x' hex digits ';' for a character XML allows, or one of the five
    // predefined entities.
    bool Reference()
    {
        ++m_pos;
        if (Skip("#")) {
            const bool hex = Skip("x");
            const std::size_t start = m_pos;
            char32_t value = 0;
            for (; m_pos < m_text.size() && m_text[m_pos] != ';'; ++m_pos) {
                const char c = m_text[m_pos];
                const char lower = static_cast<char>(c | 0x20);
                const int digit = IsDigit(c) ? c - '0' : hex && lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
                if (digit < 0) {
                    return false;
                }
                // Past the last code point the value stays out of range instead of overflowing.
                value = std::min<char32_t>(value * (hex ? 16 : 10) + static_cast<char32_t>(digit), 0x110000);
            }
            return m_pos > start && Skip(";") && IsXmlChar(value);
        }
        std::string_view name;
        return Name(name) && Skip(";") &&
               (name == "lt" || name == "gt" || name == "amp" || name == "apos" || name == "quot");
    }

    // A quoted attribute value without "<" and with valid references.
    bool AttributeValue()
    {
        if (m_pos >= m_text.size() || (m_text[m_pos] != '"' && m_text[m_pos] != '\'')) {
            return false;
        }
        const char quote = m_text[m_pos++];
        while (m_pos < m_text.size() && m_text[m_pos] != quote) {
            if (m_text[m_pos] == '<') {
                return false;
            }
            if (m_text[m_pos] != '&') {
                ++m_pos;
            } else if (!Reference()) {
                return false;
            }
        }
        return Skip(std::string_view(&quote, 1));
    }

    // '<' Name (S Attribute)* S? ('>' | '/>'), each attribute name once.
    bool StartTag(std::string_view& name, bool& empty)
    {
        ++m_pos;
        if (!Name(name)) {
            return false;
        }
        m_attributes.clear();
        for (;;) {
            const bool space = SkipSpace();
            if (Skip("/>")) {
                empty = true;
                break;
            }
            if (Skip(">")) {
                empty = false;
                break;
            }
            std::string_view attribute;
            if (!space || !Name(attribute) || !Equals() || !AttributeValue()) {
                return false;
            }
            m_attributes.push_back(attribute);
        }
        std::sort(m_attributes.begin(), m_attributes.end());
        return std::adjacent_find(m_attributes.begin(), m_attributes.end()) == m_attributes.end();
    }

    // '</' Name S? '>' closing the innermost open element.
    bool EndTag()
    {
        m_pos += 2;
        std::string_view name;
        if (!Name(name) || name != m_open.back()) {
            return false;
        }
        SkipSpace();
        m_open.pop_back();
        return Skip(">");
    }

    // Text up to the next markup, without "]]>".
    bool CharData()
    {
        const std::size_t end = std::min(m_text.find_first_of("<&", m_pos), m_text.size());
        if (m_text.substr(m_pos, end - m_pos).find("]]>") != std::string_view::npos) {
            return false;
        }
        m_pos = end;
        return true;
    }

    // The document element and everything in it.
    bool Element()
    {
        std::string_view name;
        bool empty = false;
        if (!At("<") || !StartTag(name, empty)) {
            return false;
        }
        if (!empty) {
            m_open.push_back(name);
        }
        while (!m_open.empty()) {
            bool good = true;
            if (m_pos == m_text.size()) {
                return false;
            } else if (At("</")) {
                good = EndTag();
            } else if (At("<!--")) {
                good = Comment();
            } else if (At("<![CDATA[")) {
                good = CData();
            } else if (At("<?")) {
                good = ProcessingInstruction();
            } else if (At("<")) {
                good = StartTag(name, empty);
                if (good && !empty) {
                    m_open.push_back(name);
                }
            } else if (At("&")) {
                good = Reference();
            } else {
                good = CharData();
            }
            if (!good) {
                return false;
            }
        }
        return true;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    std::vector<std::string_view> m_open;
    std::vector<std::string_view> m_attributes;
};

} // namespace

bool IsXmlName(std::u16string_view name)
{
    for (std::size_t i = 0; i < name.size();) {
        const bool first = i == 0;
        const char32_t c = NextUtf16(name, i);
        if (first ? !IsNameStartChar(c) : !IsNameChar(c)) {
            return false;
        }
    }
    return !name.empty();
}

bool IsXmlText(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        if (!IsXmlChar(NextUtf16(text, i))) {
            return false;
        }
    }
    return true;
}

bool XmlFileToUtf8(std::string_view bytes, std::string& utf8)
{
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        std::string text;
        if (!Utf16BytesToUtf8(bytes.substr(2), bytes[0] == '\xFE', text)) {
            return false;
        }
        const std::string_view declared = DeclaredEncoding(text);
        if (!declared.empty() && !EqualsIgnoringCase(declared, "UTF-16")) {
            return false;
        }
        utf8 = std::move(text);
        return true;
    }
    const bool byteOrderMark = bytes.starts_with("\xEF\xBB\xBF");
    if (byteOrderMark) {
        bytes.remove_prefix(3);
    }
    const std::string_view declared = DeclaredEncoding(bytes);
    if (declared.empty() || EqualsIgnoringCase(declared, "UTF-8")) {
        // Checked as UTF-8 by IsWellFormedXml.
        utf8 = bytes;
        return true;
    }
    if (byteOrderMark) {
        return false;
    }
    if (IsOneOf(declared, {"US-ASCII", "ASCII"})) {
        if (!std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            return false;
        }
        utf8 = bytes;
        return true;
    }
    if (IsOneOf(declared, {"ISO-8859-1", "latin1"})) {
        std::u16string text(bytes.size(), u'\0');
        std::transform(bytes.begin(), bytes.end(), text.begin(),
                       [](char c) { return static_cast<char16_t>(static_cast<unsigned char>(c)); });
        utf8 = Platform::Utf16ToUtf8(text);
        return true;
    }
    if (IsOneOf(declared, {"Shift_JIS", "Windows-31J", "CP932"})) {
        utf8 = Platform::AnsiToUtf8(bytes);
        return true;
    }
    return false;
}

bool IsWellFormedXml(std::string_view utf8)
{
    return WellFormednessCheck(utf8).Run();
}

} // namespace Kiv
