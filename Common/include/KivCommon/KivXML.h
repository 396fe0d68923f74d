// The XML document service of KivCommon: documents loaded from files or text, saved as UTF-8,
// and element nodes addressed by child position or by dotted paths ("a.b[2].c").
//
// Texts are UTF-16: in texts are borrowed NUL-terminated strings, out texts are new BSTRs that
// the caller frees. A null in text for a value (SetText, SetAttribute's value) is the empty
// text; a null name or path is E_INVALIDARG. A document and its nodes are used by one thread at
// a time; the utility itself is stateless and thread-safe.
#pragma once

#include "KivCommon/KivCommonExport.h"
#include "KivPlatform/Bstr.h"
#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

namespace Kiv {

struct IKivXMLNode;

struct IKivXMLDocument : IUnknown {
    KIV_INTERFACE_ID("5CA7D056-E2EC-457D-BC6D-C720C216F935");
    // Loads a file; a path not starting with "/" is taken relative to the executable's folder.
    // E_FAIL for an unreadable file, one that is not a well-formed XML 1.0 document, or one in
    // an encoding other than UTF-8, UTF-16 (with a byte order mark), ISO-8859-1, US-ASCII or
    // Shift_JIS; the document is then left as it was. A document type declaration with an
    // internal subset is refused (entity declarations are not supported).
    virtual HRESULT Load(LPCWSTR path) = 0;
    // Parses XML text, under the same rules as Load (the encoding its declaration names does
    // not matter); E_FAIL for text that is not well-formed. On success the remembered path is
    // forgotten.
    virtual HRESULT LoadXML(LPCWSTR xml) = 0;
    // Saves to the path as given (relative to the current folder), replacing the file only once
    // the whole document is written; on failure the previous file is untouched. A symbolic link
    // stays: the file it leads to is replaced, and a replaced file keeps its permissions.
    virtual HRESULT Save(LPCWSTR path) = 0;
    // The document element (level 1); a document without one gets an XML declaration and an
    // element of the given name ("root" for null) first.
    virtual HRESULT GetRootNode(IKivXMLNode** node, LPCWSTR name) = 0;
    // The path last loaded or saved, or null.
    virtual HRESULT GetPath(BSTR* path) = 0;
};

struct IKivXMLNode : IUnknown {
    KIV_INTERFACE_ID("B6C536B2-AEE5-407E-B384-37211C978BC8");
    virtual HRESULT GetText(BSTR* text) = 0;
    virtual HRESULT SetText(LPCWSTR text) = 0;
    virtual HRESULT GetName(BSTR* name) = 0;
    // S_FALSE, with *value untouched, when the node has no such attribute.
    virtual HRESULT GetAttribute(LPCWSTR name, BSTR* value) = 0;
    virtual HRESULT SetAttribute(LPCWSTR name, LPCWSTR value) = 0;
    // Every child node, the indentation text between elements included.
    virtual HRESULT GetChildCount(LONG* count) = 0;
    virtual HRESULT GetChild(LONG index, IKivXMLNode** child) = 0;
    // Appends an element on its own line, indented with one tab per level; the indentation
    // stops growing at 32 tabs, so that deep paths cost memory in proportion to their depth.
    virtual HRESULT AddChild(LPCWSTR name, IKivXMLNode** child) = 0;
    // Removes a direct child. Node objects that wrap the child or anything below it keep
    // working on the removed nodes; removed nodes that no object wraps are freed.
    virtual HRESULT RemoveChild(IKivXMLNode* child) = 0;
    // Names separated by ".", each with an optional 0-based index "[n]" among the siblings of
    // that name. With create non-zero, missing elements are appended (at most
    // KivXMLMaxCreatedPerStep per name; a path needing more is refused with E_FAIL).
    virtual HRESULT GetNodeByPath(LPCWSTR path, LONG create, IKivXMLNode** node) = 0;
    // The number of elements named by the last name under the element the rest names (0 when
    // that element does not exist).
    virtual HRESULT CountNodesByPath(LPCWSTR path, LONG* count) = 0;
    virtual HRESULT GetDocument(REFIID riid, void** document) = 0;
};

// The most elements that one path step may append: guards against a path such as "a[1000000]"
// silently filling memory.
inline constexpr LONG KivXMLMaxCreatedPerStep = 1024;

// Creates documents. A plain, uncounted object that lives as long as the library.
struct IKivXMLUtil {
    // A new, empty document with a count of 0 (the receiver takes the first reference); null
    // when memory runs out.
    virtual IKivXMLDocument* CreateDocument() = 0;

protected:
    ~IKivXMLUtil() = default;
};

KIVCOMMON_API IKivXMLUtil* GetKivXMLUtil();

} // namespace Kiv
