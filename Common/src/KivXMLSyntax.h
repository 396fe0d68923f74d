// The syntax rules of the XML service: what names and texts XML 1.0 can hold, which encodings a
// file may use, and whether a text is one well-formed document. The DOM library underneath is
// lenient (it takes duplicate attributes, unknown entities, control characters and more), so
// every text is checked here before it is parsed. Stateless functions; thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace Kiv {

// An XML name: what elements and attributes may be called.
bool IsXmlName(std::u16string_view name);
// Text that XML 1.0 can hold (no control characters other than tab and line ends, no
// unpaired surrogates).
bool IsXmlText(std::u16string_view text);

// The characters of an XML file as UTF-8, without a byte order mark. Understood are UTF-8 (with
// or without its byte order mark), UTF-16 with a byte order mark, and, when the XML declaration
// names them, ISO-8859-1, US-ASCII and Shift_JIS (the platform's code page 932). False for any
// other encoding, for a declaration that contradicts the byte order mark, and for bytes that
// the encoding cannot hold; the caller then refuses the file, as XML requires for an encoding
// it cannot read.
bool XmlFileToUtf8(std::string_view bytes, std::string& utf8);

// True when the UTF-8 text is one well-formed XML 1.0 document: valid UTF-8 made of XML
// characters; an optional XML declaration at the very start; comments, processing instructions
// and at most one document type declaration before a single document element; only comments,
// processing instructions and white space after it; matching tags, unique attributes, no "<" in
// attribute values, no "]]>" in text, no "--" inside comments, processing instructions not named
// "xml", and references only to characters XML allows and to the five predefined entities. A
// document type declaration may name an external subset (which is never read) but must not have
// an internal one: entity declarations are not supported, so a document that would need them is
// refused rather than read differently. The check walks the text once, keeping the names of the
// open elements on the heap, so any depth is checked without recursion.
bool IsWellFormedXml(std::string_view utf8);

} // namespace Kiv
