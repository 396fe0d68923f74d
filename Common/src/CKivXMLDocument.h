// CKivXMLDocument: an XML document, loaded from a file or text and saved to a file. Used by one
// thread at a time.
#pragma once

#include "CKivXMLDom.h"
#include "KivCommon/KivXML.h"
#include "KivObject/ComBSTR.h"

#include <memory>
#include <string_view>

namespace Kiv {

class CKivXMLDocument : public IKivXMLDocument {
public:
    explicit CKivXMLDocument(std::shared_ptr<CKivXMLDom> dom) : m_dom(std::move(dom)) {}
    virtual ~CKivXMLDocument() = default;

    HRESULT Load(LPCWSTR path) override;
    HRESULT LoadXML(LPCWSTR xml) override;
    HRESULT Save(LPCWSTR path) override;
    HRESULT GetRootNode(IKivXMLNode** node, LPCWSTR name) override;
    HRESULT GetPath(BSTR* path) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    // Parses UTF-8 text into a new DOM and takes it if the text is one well-formed document;
    // the old content stays otherwise.
    HRESULT Adopt(std::string_view text);

    std::shared_ptr<CKivXMLDom> m_dom;
    CComBSTR m_path;
};

} // namespace Kiv
