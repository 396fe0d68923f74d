// CViewSettings: the settings file's place and its "Font" element.
#include "CViewSettings.h"

#include "ViewerText.h"

#include "KivCommon/KivXML.h"
#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"
#include "KivPlatform/Boundary.h"
#include "KivPlatform/ModulePath.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <limits>

using Kiv::CComBSTR;
using Kiv::CComPtr;
using Kiv::IKivXMLDocument;
using Kiv::IKivXMLNode;

namespace {

constexpr auto FileName = u"Setting.xml";
constexpr auto FallbackFolderName = u"KivLogView2";
constexpr LPCWSTR RootElementName = u"KivLogSysView2";
constexpr LPCWSTR FontPath = u"Font";
constexpr LPCWSTR FaceNameAttribute = u"FaceName";
constexpr LONG CreateMissing = 1;

// The numeric attributes, in the order they are read and written; the defaults are those of a
// default-constructed record.
struct LongField {
    LPCWSTR name;
    LONG LOGFONTW::*field;
};
struct ByteField {
    LPCWSTR name;
    BYTE LOGFONTW::*field;
};
constexpr LongField LongFields[] = {
    {u"Height", &LOGFONTW::lfHeight},           {u"Width", &LOGFONTW::lfWidth},
    {u"Escapement", &LOGFONTW::lfEscapement},   {u"Orientation", &LOGFONTW::lfOrientation},
    {u"Weight", &LOGFONTW::lfWeight},
};
constexpr ByteField ByteFields[] = {
    {u"Italic", &LOGFONTW::lfItalic},
    {u"Underline", &LOGFONTW::lfUnderline},
    {u"StrikeOut", &LOGFONTW::lfStrikeOut},
    {u"CharSet", &LOGFONTW::lfCharSet},
    {u"OutPrecision", &LOGFONTW::lfOutPrecision},
    {u"ClipPrecision", &LOGFONTW::lfClipPrecision},
    {u"Quality", &LOGFONTW::lfQuality},
    {u"PitchAndFamily", &LOGFONTW::lfPitchAndFamily},
};

// The document of the file and its "Font" element, created when missing.
struct FontElement {
    CComPtr<IKivXMLDocument> document;
    CComPtr<IKivXMLNode> font;
};

HRESULT OpenFontElement(const QString& path, FontElement& element)
{
    CComPtr<IKivXMLDocument> document = Kiv::GetKivXMLUtil()->CreateDocument();
    if (!document) {
        return E_OUTOFMEMORY;
    }
    // A missing or unreadable file leaves the document empty: the defaults.
    document->Load(ToWide(path));
    CComPtr<IKivXMLNode> root;
    HRESULT hr = document->GetRootNode(&root, RootElementName);
    if (FAILED(hr)) {
        return hr;
    }
    CComPtr<IKivXMLNode> font;
    if (hr = root->GetNodeByPath(FontPath, CreateMissing, &font); FAILED(hr)) {
        return hr;
    }
    element.document = std::move(document);
    element.font = std::move(font);
    return S_OK;
}

// The attribute's text; empty when it is missing or cannot be read.
CComBSTR ReadAttribute(IKivXMLNode* node, LPCWSTR name)
{
    CComBSTR value;
    if (FAILED(node->GetAttribute(name, &value))) {
        value.Empty();
    }
    return value;
}

bool IsSpace(char16_t c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// True when a file can be created in the folder (the mode bits do not say so for every user,
// nor on a read-only mount).
bool CanCreateFileIn(const QString& folder)
{
    if (!QFileInfo(folder).isDir()) {
        return false;
    }
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".Setting.XXXXXX")));
    return probe.open();
}

} // namespace

QString CViewSettings::LocateFile(const QString& programFolder)
{
    if (CanCreateFileIn(programFolder)) {
        return QDir(programFolder).filePath(ToQString(FileName));
    }
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty()) {
        base = QDir::home().filePath(QStringLiteral(".config"));
    }
    const QString folder = QDir(base).filePath(ToQString(FallbackFolderName));
    QDir().mkpath(folder);
    return QDir(folder).filePath(ToQString(FileName));
}

QString CViewSettings::DefaultFile()
{
    const std::u16string program = Kiv::Platform::GetExecutablePath();
    return LocateFile(ToQString(Kiv::Platform::GetDirectoryPart(program)));
}

LONG CViewSettings::ParseDecimal(std::u16string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Accumulated in 64 bits and stopped at the limit, so that a long run of digits saturates.
    constexpr long long Limit = static_cast<long long>(std::numeric_limits<LONG>::max()) + 1;
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = std::min(value * 10 + (text[i] - u'0'), Limit);
    }
    if (negative) {
        value = -value;
    }
    return static_cast<LONG>(std::clamp<long long>(value, std::numeric_limits<LONG>::min(),
                                                   std::numeric_limits<LONG>::max()));
}

LOGFONTW CViewSettings::ReadFont(const QString& path)
{
    LOGFONTW font;
    const HRESULT hr = Kiv::Platform::StatusFromExceptions([&] {
        FontElement element;
        if (FAILED(OpenFontElement(path, element))) {
            return;
        }
        const LOGFONTW defaults;
        for (const LongField& field : LongFields) {
            const CComBSTR text = ReadAttribute(element.font, field.name);
            font.*field.field = text.Length() > 0 ? ParseDecimal(text.View()) : defaults.*field.field;
        }
        for (const ByteField& field : ByteFields) {
            const CComBSTR text = ReadAttribute(element.font, field.name);
            // The low 8 bits of the number, as a cast of it to the field's width keeps them.
            font.*field.field =
                text.Length() > 0 ? static_cast<BYTE>(ParseDecimal(text.View())) : defaults.*field.field;
        }
        SetFaceName(font, ReadAttribute(element.font, FaceNameAttribute).View());
    });
    // Whatever went wrong, the viewer starts with the defaults.
    return SUCCEEDED(hr) ? font : LOGFONTW{};
}

HRESULT CViewSettings::WriteFont(const QString& path, const LOGFONTW& font)
{
    return Kiv::Platform::StatusFromExceptions([&]() -> HRESULT {
        FontElement element;
        HRESULT hr = OpenFontElement(path, element);
        if (FAILED(hr)) {
            return hr;
        }
        for (const LongField& field : LongFields) {
            element.font->SetAttribute(field.name, ToWide(QString::number(font.*field.field)));
        }
        for (const ByteField& field : ByteFields) {
            element.font->SetAttribute(field.name, ToWide(QString::number(font.*field.field)));
        }
        element.font->SetAttribute(FaceNameAttribute, ToWide(FaceNameOf(font)));
        return element.document->Save(ToWide(path));
    });
}
