// CKivXMLNode: one node of an XML document, with its level below the document element (which
// has level 1). Used by one thread at a time, like its document.
#pragma once

#include "CKivXMLDom.h"
#include "IKivXMLNodeEdit.h"
#include "KivObject/ComPtr.h"

#include <memory>

namespace Kiv {

class CKivXMLNode : public IKivXMLNode, public IKivXMLNodeEdit {
public:
    // Takes over the DOM's hold on the node (see Create).
    CKivXMLNode(IKivXMLDocument* document, std::shared_ptr<CKivXMLDom> dom, pugi::xml_node node, LONG level)
        : m_document(document), m_dom(std::move(dom)), m_node(node), m_level(level)
    {
    }
    virtual ~CKivXMLNode();

    // Hands out a new node object for the DOM node, registered with the DOM as wrapping it;
    // E_OUTOFMEMORY when it cannot be made.
    static HRESULT Create(IKivXMLDocument* document, std::shared_ptr<CKivXMLDom> dom, pugi::xml_node node,
                          LONG level, IKivXMLNode** out);

    HRESULT GetText(BSTR* text) override;
    HRESULT SetText(LPCWSTR text) override;
    HRESULT GetName(BSTR* name) override;
    HRESULT GetAttribute(LPCWSTR name, BSTR* value) override;
    HRESULT SetAttribute(LPCWSTR name, LPCWSTR value) override;
    HRESULT GetChildCount(LONG* count) override;
    HRESULT GetChild(LONG index, IKivXMLNode** child) override;
    HRESULT AddChild(LPCWSTR name, IKivXMLNode** child) override;
    HRESULT RemoveChild(IKivXMLNode* child) override;
    HRESULT GetNodeByPath(LPCWSTR path, LONG create, IKivXMLNode** node) override;
    HRESULT CountNodesByPath(LPCWSTR path, LONG* count) override;
    HRESULT GetDocument(REFIID riid, void** document) override;

    HRESULT GetDOMNode(pugi::xml_node* node) override;
    HRESULT SetDOMNode(const pugi::xml_node& node) override;
    HRESULT FindPath(const KivXMLPathElement* element, LONG create, IKivXMLNode** node) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    HRESULT MakeNode(pugi::xml_node node, LONG level, IKivXMLNode** out);

    CComPtr<IKivXMLDocument> m_document;
    std::shared_ptr<CKivXMLDom> m_dom;
    pugi::xml_node m_node;
    LONG m_level;
};

} // namespace Kiv
