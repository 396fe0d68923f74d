// CKivXMLDocument: loading, saving and the document element.
#include "CKivXMLDocument.h"

#include "CKivXMLNode.h"
#include "KivXMLSyntax.h"
#include "KivObject/InterfaceMap.h"
#include "KivPlatform/Boundary.h"
#include "KivPlatform/FileContent.h"
#include "KivPlatform/FileSystem.h"
#include "KivPlatform/ModulePath.h"

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>

namespace Kiv {

namespace {

// A relative path names a file beside the executable, so that settings are found wherever the
// program is started from.
std::u16string ResolveLoadPath(LPCWSTR path)
{
    const std::u16string_view given(path);
    const std::u16string folder = Platform::GetDirectoryPart(Platform::GetExecutablePath());
    if (given.empty() || Platform::IsAbsolutePath(given) || folder.empty()) {
        return std::u16string(given);
    }
    return Platform::AppendPath(folder, given);
}

HRESULT StatusFromErrno(int error)
{
    return HRESULT_FROM_WIN32(static_cast<LONG>(Platform::Win32ErrorFromErrno(error)));
}

// Follows symbolic links (relative ones from their own folder) to the file they lead to, which
// need not exist yet, so that a save replaces that file and not the link. ELOOP for a chain
// longer than the system would follow.
std::error_code FollowLinks(std::filesystem::path& path)
{
    constexpr int MaxLinks = 40;
    for (int i = 0; i < MaxLinks; ++i) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error))) {
            return {};
        }
        const std::filesystem::path next = std::filesystem::read_symlink(path, error);
        if (error) {
            return error;
        }
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return std::make_error_code(std::errc::too_many_symbolic_link_levels);
}

// Writes the text to a new file beside the target and renames it over the target, so that the
// target is always either the previous file or the whole new one. The new file gets the
// permissions of the one it replaces before any text is in it.
HRESULT WriteReplacing(LPCWSTR path, std::string_view text)
{
    static std::atomic<unsigned> s_counter{0};
    std::filesystem::path target(Platform::ToSystemPath(path));
    std::error_code error = FollowLinks(target);
    if (error) {
        return StatusFromErrno(error.value());
    }
    std::filesystem::path temp = target;
    temp += ".kivtmp-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(s_counter++);

    Platform::AppendFile file;
    if (file.Open(Platform::FromSystemPath(temp.string()), Platform::AppendFile::OpenMode::CreateNew) !=
        Platform::AppendFile::OpenResult::Ok) {
        return StatusFromErrno(errno);
    }
    // A target that does not exist yet (or cannot be looked at) has no permissions to keep.
    const std::filesystem::file_status previous = std::filesystem::status(target, error);
    error.clear();
    if (std::filesystem::exists(previous)) {
        std::filesystem::permissions(temp, previous.permissions() & std::filesystem::perms::mask,
                                     std::filesystem::perm_options::replace, error);
    }
    const bool written = !error && file.Write(text.data(), text.size()) == text.size();
    file.Flush();
    file.Close();

    if (written) {
        std::filesystem::rename(temp, target, error);
    }
    if (!written || error) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return error ? StatusFromErrno(error.value()) : E_FAIL;
    }
    return S_OK;
}

} // namespace

HRESULT CKivXMLDocument::Adopt(std::string_view text)
{
    if (!IsWellFormedXml(text)) {
        return E_FAIL;
    }
    auto dom = std::make_shared<CKivXMLDom>();
    const pugi::xml_parse_result result =
        dom->Document().load_buffer(text.data(), text.size(), CKivXMLDom::ParseOptions, pugi::encoding_utf8);
    if (result.status == pugi::status_out_of_memory) {
        return E_OUTOFMEMORY;
    }
    if (!result) {
        return E_FAIL;
    }
    m_dom = std::move(dom);
    return S_OK;
}

HRESULT CKivXMLDocument::Load(LPCWSTR path)
{
    if (path == nullptr) {
        return E_INVALIDARG;
    }
    return Platform::StatusFromExceptions([&] {
        const std::u16string resolved = ResolveLoadPath(path);
        CComBSTR remembered(resolved);
        if (remembered == nullptr) {
            return E_OUTOFMEMORY;
        }
        const std::filesystem::path file(Platform::ToSystemPath(resolved));
        // Folders and devices are not opened at all: opening a pipe would wait for a writer.
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error)) {
            return E_FAIL;
        }
        Platform::PrivateMemory content;
        switch (Platform::ReadWholeFile(resolved.c_str(), content)) {
        case Platform::ReadFileResult::Ok:
            break;
        case Platform::ReadFileResult::OutOfMemory:
            return E_OUTOFMEMORY;
        default:
            return E_FAIL;
        }
        std::string text;
        if (!XmlFileToUtf8({reinterpret_cast<const char*>(content.Data()), content.Size()}, text)) {
            return E_FAIL;
        }
        const HRESULT hr = Adopt(text);
        if (SUCCEEDED(hr)) {
            m_path = std::move(remembered);
        }
        return hr;
    });
}

HRESULT CKivXMLDocument::LoadXML(LPCWSTR xml)
{
    if (xml == nullptr) {
        return E_INVALIDARG;
    }
    return Platform::StatusFromExceptions([&] {
        // The text is characters already, whatever encoding its declaration names; unpaired
        // surrogates would otherwise turn silently into replacement characters.
        if (!IsXmlText(xml)) {
            return E_FAIL;
        }
        const HRESULT hr = Adopt(ToUtf8(xml));
        if (SUCCEEDED(hr)) {
            m_path.Empty();
        }
        return hr;
    });
}

HRESULT CKivXMLDocument::Save(LPCWSTR path)
{
    if (path == nullptr || *path == u'\0') {
        return E_INVALIDARG;
    }
    // Without an element the file would not be XML at all.
    if (!m_dom->DocumentElement()) {
        return E_FAIL;
    }
    return Platform::StatusFromExceptions([&] {
        CComBSTR remembered(path);
        if (remembered == nullptr) {
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = WriteReplacing(path, m_dom->Serialize());
        if (SUCCEEDED(hr)) {
            m_path = std::move(remembered);
        }
        return hr;
    });
}

HRESULT CKivXMLDocument::GetRootNode(IKivXMLNode** node, LPCWSTR name)
{
    if (node == nullptr) {
        return E_INVALIDARG;
    }
    return Platform::StatusFromExceptions([&] {
        pugi::xml_node element = m_dom->DocumentElement();
        if (!element) {
            if (name != nullptr && !IsXmlName(name)) {
                return E_INVALIDARG;
            }
            pugi::xml_document& document = m_dom->Document();
            pugi::xml_node declaration = document.append_child(pugi::node_declaration);
            element = document.append_child(name == nullptr ? "root" : ToUtf8(name).c_str());
            if (!declaration || !declaration.append_attribute("version").set_value("1.0") ||
                !declaration.append_attribute("encoding").set_value("utf-8") || !element) {
                // Nothing wraps these yet, so they can simply go.
                document.remove_child(declaration);
                document.remove_child(element);
                return E_OUTOFMEMORY;
            }
        }
        return CKivXMLNode::Create(this, m_dom, element, 1, node);
    });
}

HRESULT CKivXMLDocument::GetPath(BSTR* path)
{
    if (path == nullptr) {
        return E_INVALIDARG;
    }
    BSTR copy = m_path.Copy();
    if (copy == nullptr && m_path != nullptr) {
        return E_OUTOFMEMORY;
    }
    *path = copy;
    return S_OK;
}

HRESULT CKivXMLDocument::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivXMLDocument*>(this)},
                               {IKivXMLDocument::Iid, static_cast<IKivXMLDocument*>(this)}},
                              riid, ppv);
}

} // namespace Kiv
