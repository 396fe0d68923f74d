// Tests of the XML document utility: documents, nodes, paths, indentation, saving and loading.
#include "IKivXMLNodeEdit.h"
#include "KivCommon/KivXML.h"
#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"
#include "KivPlatform/Memory.h"
#include "KivPlatform/ModulePath.h"
#include "KivPlatform/Text.h"
#include "KivTestSupport/TempDir.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using Kiv::CComBSTR;
using Kiv::CComPtr;
using Kiv::IKivXMLDocument;
using Kiv::IKivXMLNode;

namespace {

CComPtr<IKivXMLDocument> NewDocument()
{
    return CComPtr<IKivXMLDocument>(Kiv::GetKivXMLUtil()->CreateDocument());
}

CComPtr<IKivXMLDocument> ParsedDocument(const char16_t* xml)
{
    CComPtr<IKivXMLDocument> document = NewDocument();
    EXPECT_EQ(S_OK, document->LoadXML(xml));
    return document;
}

CComPtr<IKivXMLNode> Root(IKivXMLDocument* document, const char16_t* name = nullptr)
{
    CComPtr<IKivXMLNode> root;
    EXPECT_EQ(S_OK, document->GetRootNode(&root, name));
    return root;
}

CComPtr<IKivXMLNode> Path(IKivXMLNode* node, const char16_t* path, LONG create = 0)
{
    CComPtr<IKivXMLNode> found;
    EXPECT_EQ(S_OK, node->GetNodeByPath(path, create, &found)) << Kiv::Platform::Utf16ToUtf8(path);
    return found;
}

std::u16string NameOf(IKivXMLNode* node)
{
    CComBSTR name;
    EXPECT_EQ(S_OK, node->GetName(&name));
    return std::u16string(name.View());
}

std::u16string TextOf(IKivXMLNode* node)
{
    CComBSTR text;
    EXPECT_EQ(S_OK, node->GetText(&text));
    return std::u16string(text.View());
}

LONG ChildCount(IKivXMLNode* node)
{
    LONG count = -1;
    EXPECT_EQ(S_OK, node->GetChildCount(&count));
    return count;
}

LONG CountByPath(IKivXMLNode* node, const char16_t* path)
{
    LONG count = -1;
    EXPECT_EQ(S_OK, node->CountNodesByPath(path, &count));
    return count;
}

// Runs xmllint over a file a test saved: another XML reader must accept it. --huge lifts
// libxml2's default limit of 256 nested elements, which the deep documents exceed.
void ExpectXmllintAccepts(const std::filesystem::path& file)
{
    if (std::system("command -v xmllint > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "xmllint (Debian package libxml2-utils) is not installed: saved files are not checked";
    }
    const std::string command = "xmllint --noout --huge '" + file.string() + "'";
    EXPECT_EQ(0, std::system(command.c_str())) << file;
}

// Saves the document to the file and has xmllint check it.
void SaveChecked(IKivXMLDocument* document, const std::filesystem::path& file)
{
    ASSERT_EQ(S_OK, document->Save(KivTest::ToUtf16Path(file).c_str()));
    ExpectXmllintAccepts(file);
}

// The document as it is written to disk.
std::string SavedText(IKivXMLDocument* document)
{
    KivTest::TempDir dir;
    const std::filesystem::path file = dir.Path() / "out.xml";
    SaveChecked(document, file);
    return KivTest::FileBytes(file);
}

// The text as UTF-16 bytes in the given byte order, without a byte order mark.
std::string Utf16Bytes(std::u16string_view text, bool bigEndian)
{
    std::string bytes;
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

std::vector<std::string> FilesIn(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Gives the element 1000 children and returns one from the middle, with a text. So many nodes
// fill whole pages of the DOM's memory; were they freed when taken out of the tree, those pages
// would go back to the heap and the sanitizer would catch node objects that still read them.
CComPtr<IKivXMLNode> FillPages(IKivXMLNode* element)
{
    Path(element, u"item[999]", 1);
    CComPtr<IKivXMLNode> middle = Path(element, u"item[500]");
    EXPECT_EQ(S_OK, middle->SetText(u"still here"));
    return middle;
}


} // namespace

TEST(XMLUtil, AccessorReturnsOneInstanceAndNewDocuments)
{
    EXPECT_EQ(Kiv::GetKivXMLUtil(), Kiv::GetKivXMLUtil());
    CComPtr<IKivXMLDocument> first = NewDocument();
    CComPtr<IKivXMLDocument> second = NewDocument();
    ASSERT_TRUE(first);
    EXPECT_NE(first.Get(), second.Get());
}

TEST(XMLDocument, RootNodeIsCreatedOnceWithDeclaration)
{
    struct Case {
        const char16_t* name;
        std::u16string expected;
    };
    for (const Case& c : {Case{nullptr, u"root"}, Case{u"KivLogSysView2", u"KivLogSysView2"}}) {
        CComPtr<IKivXMLDocument> document = NewDocument();
        CComPtr<IKivXMLNode> root = Root(document, c.name);
        EXPECT_EQ(c.expected, NameOf(root));
        // Once there is a document element, the name is not used again.
        EXPECT_EQ(c.expected, NameOf(Root(document, u"Other")));
        const std::string expected =
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<" + Kiv::Platform::Utf16ToUtf8(c.expected) + "/>\n";
        EXPECT_EQ(expected, SavedText(document));
    }
}

TEST(XMLDocument, RootNodeWithAnInvalidNameIsNotCreated)
{
    CComPtr<IKivXMLDocument> document = NewDocument();
    IKivXMLNode* untouched = nullptr;
    EXPECT_EQ(E_INVALIDARG, document->GetRootNode(&untouched, u"two words"));
    EXPECT_EQ(nullptr, untouched);
    // Still empty: nothing to save, and the next call creates the element.
    EXPECT_EQ(E_FAIL, document->Save(u"/nonexistent-folder/x.xml"));
    EXPECT_EQ(u"root", NameOf(Root(document)));
}

TEST(XMLDocument, InterfacesAndDocumentOfNode)
{
    CComPtr<IKivXMLDocument> document = NewDocument();
    CComPtr<IKivXMLNode> root = Root(document);
    CComPtr<Kiv::IKivXMLNodeEdit> edit;
    EXPECT_EQ(S_OK, root.QueryInterface(&edit));
    CComPtr<IKivXMLDocument> owner;
    EXPECT_EQ(S_OK, root->GetDocument(IID_PPV_ARGS(&owner)));
    EXPECT_EQ(document.Get(), owner.Get());
    CComPtr<IKivXMLNode> notADocument;
    EXPECT_EQ(E_NOINTERFACE, root->GetDocument(IID_PPV_ARGS(&notADocument)));
    CComPtr<IKivXMLNode> notANode;
    EXPECT_EQ(E_NOINTERFACE, document->QueryInterface(IID_PPV_ARGS(&notANode)));

    // A node keeps its document alive.
    owner.Release();
    document.Release();
    EXPECT_EQ(u"root", NameOf(root));
}

TEST(XMLNode, AddChildIndentsWithTabs)
{
    CComPtr<IKivXMLDocument> document = NewDocument();
    CComPtr<IKivXMLNode> root = Root(document);
    CComPtr<IKivXMLNode> first;
    CComPtr<IKivXMLNode> second;
    CComPtr<IKivXMLNode> nested;
    ASSERT_EQ(S_OK, root->AddChild(u"First", &first));
    ASSERT_EQ(S_OK, root->AddChild(u"Second", &second));
    ASSERT_EQ(S_OK, second->AddChild(u"Nested", &nested));
    CComPtr<IKivXMLNode> deeper;
    ASSERT_EQ(S_OK, nested->AddChild(u"Deeper", &deeper));
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
              "<root>\n"
              "\t<First/>\n"
              "\t<Second>\n"
              "\t\t<Nested>\n"
              "\t\t\t<Deeper/>\n"
              "\t\t</Nested>\n"
              "\t</Second>\n"
              "</root>\n",
              SavedText(document));
    // The line feeds and tabs are child nodes too: "\n\t", First, "\n", "\t", Second, "\n".
    EXPECT_EQ(6, ChildCount(root));
    CComPtr<IKivXMLNode> text;
    ASSERT_EQ(S_OK, root->GetChild(0, &text));
    EXPECT_EQ(u"#text", NameOf(text));
    EXPECT_EQ(u"\n\t", TextOf(text));
    CComPtr<IKivXMLNode> element;
    ASSERT_EQ(S_OK, root->GetChild(4, &element));
    EXPECT_EQ(u"Second", NameOf(element));
}

TEST(XMLNode, GetChildRejectsBadIndices)
{
    CComPtr<IKivXMLNode> root = Root(ParsedDocument(u"<r><a/></r>"));
    CComPtr<IKivXMLNode> child;
    EXPECT_EQ(E_INVALIDARG, root->GetChild(-1, &child));
    EXPECT_EQ(E_FAIL, root->GetChild(1, &child));
    EXPECT_FALSE(child);
    EXPECT_EQ(S_OK, root->GetChild(0, &child));
    EXPECT_EQ(u"a", NameOf(child));
}

TEST(XMLNode, PathCreatesFontOnItsOwnLine)
{
    CComPtr<IKivXMLDocument> document = NewDocument();
    CComPtr<IKivXMLNode> font = Path(Root(document, u"KivLogSysView2"), u"Font", 1);
    EXPECT_EQ(u"Font", NameOf(font));
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<KivLogSysView2>\n\t<Font/>\n</KivLogSysView2>\n",
              SavedText(document));
}

TEST(XMLNode, PathWithIndexAppendsMissingSiblings)
{
    CComPtr<IKivXMLDocument> document = ParsedDocument(u"<r><a><b n=\"0\"/></a></r>");
    CComPtr<IKivXMLNode> root = Root(document);
    CComPtr<IKivXMLNode> third = Path(root, u"a.b[2]", 1);
    ASSERT_TRUE(third);
    EXPECT_EQ(3, CountByPath(root, u"a.b"));
    EXPECT_EQ(S_OK, third->SetAttribute(u"n", u"2"));
    // The same element is found again without creating, and the first b was kept.
    CComBSTR value;
    EXPECT_EQ(S_OK, Path(root, u"a.b[2]")->GetAttribute(u"n", &value));
    EXPECT_EQ(u"2", value.View());
    CComBSTR first;
    EXPECT_EQ(S_OK, Path(root, u"a..b[0]")->GetAttribute(u"n", &first));
    EXPECT_EQ(u"0", first.View());
}

TEST(XMLNode, PathLookupWithoutCreate)
{
    CComPtr<IKivXMLDocument> document =
        ParsedDocument(u"<r><a><b>1</b><c/><b>2</b></a><a><b>3</b></a><a/></r>");
    CComPtr<IKivXMLNode> root = Root(document);
    struct Case {
        const char16_t* path;
        const char16_t* text;
    };
    for (const Case& c : {Case{u"a", u"12"}, Case{u"a.b", u"1"}, Case{u"a.b[1]", u"2"}, Case{u"a[1].b", u"3"},
                          Case{u".a[1]..b[0].", u"3"}, Case{u"a[00001].b", u"3"}}) {
        EXPECT_EQ(c.text, TextOf(Path(root, c.path))) << Kiv::Platform::Utf16ToUtf8(c.path);
    }

    const std::string before = SavedText(document);
    for (const char16_t* missing : {u"x", u"a.x", u"a.b[2]", u"a[3]", u"A", u"a[2].b"}) {
        IKivXMLNode* untouched = reinterpret_cast<IKivXMLNode*>(0x1);
        EXPECT_EQ(E_FAIL, root->GetNodeByPath(missing, 0, &untouched)) << Kiv::Platform::Utf16ToUtf8(missing);
        EXPECT_EQ(reinterpret_cast<IKivXMLNode*>(0x1), untouched);
    }
    EXPECT_EQ(before, SavedText(document));
}

TEST(XMLNode, CountNodesByPath)
{
    CComPtr<IKivXMLNode> root = Root(ParsedDocument(u"<r><a><b/><b/><c/></a><a><b/></a></r>"));
    struct Case {
        const char16_t* path;
        LONG count;
    };
    for (const Case& c : {Case{u"a.b", 2}, Case{u"a[1].b", 1}, Case{u"a", 2}, Case{u"a[7]", 2}, Case{u"a.c", 1},
                          Case{u"x.b", 0}, Case{u"a[2].b", 0}, Case{u"a.b.c", 0}}) {
        EXPECT_EQ(c.count, CountByPath(root, c.path)) << Kiv::Platform::Utf16ToUtf8(c.path);
    }
}

TEST(XMLNode, MalformedPathsAreRefusedWithoutChanges)
{
    CComPtr<IKivXMLDocument> document = ParsedDocument(u"<r><a/></r>");
    CComPtr<IKivXMLNode> root = Root(document);
    const std::string before = SavedText(document);
    for (const char16_t* path : {u"", u"..", u"a[", u"a[1", u"a]", u"a[x]", u"a[]", u"a[-1]", u"a[+1]", u"a[1]x",
                                 u"a[1][2]", u"[1]", u"a b", u"1a", u"a[99999999999]", u"a<b"}) {
        for (const LONG create : {0, 1}) {
            IKivXMLNode* untouched = reinterpret_cast<IKivXMLNode*>(0x1);
            EXPECT_EQ(E_FAIL, root->GetNodeByPath(path, create, &untouched)) << Kiv::Platform::Utf16ToUtf8(path);
            EXPECT_EQ(reinterpret_cast<IKivXMLNode*>(0x1), untouched);
        }
        LONG count = -1;
        EXPECT_EQ(E_FAIL, root->CountNodesByPath(path, &count)) << Kiv::Platform::Utf16ToUtf8(path);
    }
    EXPECT_EQ(before, SavedText(document));
}

TEST(XMLNode, CreatingIsBoundedPerStep)
{
    CComPtr<IKivXMLDocument> document = ParsedDocument(u"<r><a/></r>");
    CComPtr<IKivXMLNode> root = Root(document);
    const std::string before = SavedText(document);
    // Refused before anything is added, also when an earlier step would have been created.
    for (const char16_t* path : {u"a[1025]", u"a[1000000]", u"x.b[1024]", u"a.b.c[5000]", u"a[2147483647]"}) {
        IKivXMLNode* untouched = nullptr;
        EXPECT_EQ(E_FAIL, root->GetNodeByPath(path, 1, &untouched)) << Kiv::Platform::Utf16ToUtf8(path);
        EXPECT_EQ(nullptr, untouched);
    }
    EXPECT_EQ(before, SavedText(document));

    // One existing a plus 1024 new ones is the most a step may add.
    Path(root, u"a[1024]", 1);
    EXPECT_EQ(1025, CountByPath(root, u"a"));
    // An existing element is found whatever its index.
    Path(root, u"a[1024]", 1);
    EXPECT_EQ(1025, CountByPath(root, u"a"));

    CComPtr<IKivXMLNode> a = Path(root, u"a");
    CComPtr<Kiv::IKivXMLNodeEdit> edit;
    ASSERT_EQ(S_OK, a.QueryInterface(&edit));
    CComPtr<IKivXMLNode> found;
    const Kiv::KivXMLPathElement tooFar{u"b", Kiv::KivXMLMaxCreatedPerStep};
    EXPECT_EQ(E_FAIL, edit->FindPath(&tooFar, 1, &found));
    const Kiv::KivXMLPathElement last{u"b", Kiv::KivXMLMaxCreatedPerStep - 1};
    EXPECT_EQ(S_OK, edit->FindPath(&last, 1, &found));
    EXPECT_EQ(Kiv::KivXMLMaxCreatedPerStep, CountByPath(a, u"b"));
}

TEST(XMLNode, Attributes)
{
    CComPtr<IKivXMLNode> root = Root(ParsedDocument(u"<r a=\"1\"/>"));
    BSTR untouched = reinterpret_cast<BSTR>(0x1);
    EXPECT_EQ(S_FALSE, root->GetAttribute(u"missing", &untouched));
    EXPECT_EQ(reinterpret_cast<BSTR>(0x1), untouched);

    EXPECT_EQ(S_OK, root->SetAttribute(u"a", u"2 < 3 & \"q\""));
    EXPECT_EQ(S_OK, root->SetAttribute(u"empty", nullptr));
    CComBSTR a;
    EXPECT_EQ(S_OK, root->GetAttribute(u"a", &a));
    EXPECT_EQ(u"2 < 3 & \"q\"", a.View());
    CComBSTR empty;
    EXPECT_EQ(S_OK, root->GetAttribute(u"empty", &empty));
    EXPECT_EQ(u"", empty.View());

    // What would make the file unreadable is refused.
    EXPECT_EQ(E_INVALIDARG, root->SetAttribute(u"a b", u"x"));
    EXPECT_EQ(E_INVALIDARG, root->SetAttribute(u"", u"x"));
    EXPECT_EQ(E_INVALIDARG, root->SetAttribute(u"c", u"bell\a"));
    const char16_t loneSurrogate[] = {u'x', 0xD800, 0};
    EXPECT_EQ(E_INVALIDARG, root->SetAttribute(u"c", loneSurrogate));
    EXPECT_EQ(S_FALSE, root->GetAttribute(u"c", &untouched));
}

TEST(XMLNode, SetTextReplacesChildrenThatStayUsable)
{
    CComPtr<IKivXMLDocument> document = ParsedDocument(u"<r><a>x<b>y</b></a></r>");
    CComPtr<IKivXMLNode> a = Path(Root(document), u"a");
    CComPtr<IKivXMLNode> b = Path(a, u"b");
    EXPECT_EQ(u"xy", TextOf(a));
    EXPECT_EQ(S_OK, a->SetText(u"new <text>"));
    EXPECT_EQ(u"new <text>", TextOf(a));
    EXPECT_EQ(1, ChildCount(a));
    // The old child is out of the tree but its object still works.
    EXPECT_EQ(u"y", TextOf(b));
    EXPECT_EQ(S_OK, b->SetAttribute(u"k", u"v"));
    EXPECT_EQ("<r><a>new &lt;text&gt;</a></r>\n", SavedText(document));
    EXPECT_EQ(S_OK, a->SetText(nullptr));
    EXPECT_EQ(0, ChildCount(a));

    CComPtr<IKivXMLNode> last = FillPages(a);
    EXPECT_EQ(S_OK, a->SetText(u"short"));
    EXPECT_EQ(u"still here", TextOf(last));
    EXPECT_EQ(E_INVALIDARG, a->SetText(u"\x01"));
}

TEST(XMLNode, RemoveChild)
{
    CComPtr<IKivXMLDocument> document = ParsedDocument(u"<r><a><b/></a><c/></r>");
    CComPtr<IKivXMLNode> root = Root(document);
    CComPtr<IKivXMLNode> a = Path(root, u"a");
    CComPtr<IKivXMLNode> b = Path(a, u"b");
    // Only a direct child can be removed.
    EXPECT_EQ(E_INVALIDARG, root->RemoveChild(b));
    EXPECT_EQ(E_INVALIDARG, root->RemoveChild(root));
    EXPECT_EQ(S_OK, root->RemoveChild(a));
    EXPECT_EQ("<r><c/></r>\n", SavedText(document));
    // The removed element and its descendants keep working.
    EXPECT_EQ(u"a", NameOf(a));
    EXPECT_EQ(u"b", NameOf(Path(a, u"b")));
    EXPECT_EQ(E_INVALIDARG, root->RemoveChild(a));

    CComPtr<IKivXMLNode> big = Path(root, u"big", 1);
    CComPtr<IKivXMLNode> last = FillPages(big);
    EXPECT_EQ(S_OK, root->RemoveChild(big));
    EXPECT_EQ(u"still here", TextOf(last));
    EXPECT_EQ(1000, CountByPath(big, u"item"));
    // A node of another document is not a child.
    CComPtr<IKivXMLNode> foreign = Path(Root(ParsedDocument(u"<r><c/></r>")), u"c");
    EXPECT_EQ(E_INVALIDARG, root->RemoveChild(foreign));
}

TEST(XMLDocument, SettingsRoundTrip)
{
    KivTest::TempDir dir;
    const std::u16string file = KivTest::ToUtf16Path(dir.Path() / "Setting.xml");
    const std::vector<std::pair<std::u16string, std::u16string>> attributes = {
        {u"Height", u"-12"},   {u"Width", u"0"},         {u"Escapement", u"0"},  {u"Orientation", u"0"},
        {u"Weight", u"400"},   {u"Italic", u"0"},        {u"Underline", u"0"},   {u"StrikeOut", u"0"},
        {u"CharSet", u"128"},  {u"OutPrecision", u"3"},  {u"ClipPrecision", u"2"}, {u"Quality", u"1"},
        {u"PitchAndFamily", u"49"}, {u"FaceName", u"ＭＳ ゴシック"}};
    ASSERT_EQ(14u, attributes.size());
    {
        CComPtr<IKivXMLDocument> document = NewDocument();
        CComPtr<IKivXMLNode> font = Path(Root(document, u"KivLogSysView2"), u"Font", 1);
        for (const auto& [name, value] : attributes) {
            ASSERT_EQ(S_OK, font->SetAttribute(name.c_str(), value.c_str()));
        }
        ASSERT_EQ(S_OK, document->Save(file.c_str()));
        CComBSTR path;
        EXPECT_EQ(S_OK, document->GetPath(&path));
        EXPECT_EQ(file, path.View());
    }
    ExpectXmllintAccepts(dir.Path() / "Setting.xml");

    CComPtr<IKivXMLDocument> document = NewDocument();
    CComBSTR noPath;
    EXPECT_EQ(S_OK, document->GetPath(&noPath));
    EXPECT_EQ(nullptr, static_cast<BSTR>(noPath));
    ASSERT_EQ(S_OK, document->Load(file.c_str()));
    CComPtr<IKivXMLNode> root = Root(document, u"Ignored");
    EXPECT_EQ(u"KivLogSysView2", NameOf(root));
    EXPECT_EQ(1, CountByPath(root, u"Font"));
    CComPtr<IKivXMLNode> font = Path(root, u"Font");
    for (const auto& [name, value] : attributes) {
        CComBSTR read;
        EXPECT_EQ(S_OK, font->GetAttribute(name.c_str(), &read));
        EXPECT_EQ(value, read.View());
    }
    CComBSTR path;
    EXPECT_EQ(S_OK, document->GetPath(&path));
    EXPECT_EQ(file, path.View());
}

TEST(XMLDocument, JapaneseTextSurvivesSaveAndLoad)
{
    KivTest::TempDir dir;
    const std::filesystem::path file = dir.Path() / "日本語.xml";
    const std::u16string path = Kiv::Platform::FromSystemPath(file.string());
    const std::u16string text = u"ファイルを開く(&O) 「表示」 ＡＢＣ 𠮷";
    {
        CComPtr<IKivXMLDocument> document = NewDocument();
        CComPtr<IKivXMLNode> element = Path(Root(document, u"設定"), u"項目", 1);
        ASSERT_EQ(S_OK, element->SetText(text.c_str()));
        ASSERT_EQ(S_OK, element->SetAttribute(u"名前", text.c_str()));
        ASSERT_EQ(S_OK, document->Save(path.c_str()));
    }
    ExpectXmllintAccepts(file);
    // The bytes are UTF-8 ("&" is the one character written escaped).
    const std::string escaped = Kiv::Platform::Utf16ToUtf8(u"ファイルを開く(&amp;O) 「表示」 ＡＢＣ 𠮷");
    EXPECT_NE(std::string::npos, KivTest::FileBytes(file).find(escaped));

    CComPtr<IKivXMLDocument> document = NewDocument();
    ASSERT_EQ(S_OK, document->Load(path.c_str()));
    CComPtr<IKivXMLNode> element = Path(Root(document), u"項目");
    EXPECT_EQ(text, TextOf(element));
    CComBSTR attribute;
    EXPECT_EQ(S_OK, element->GetAttribute(u"名前", &attribute));
    EXPECT_EQ(text, attribute.View());
    EXPECT_EQ(u"設定", NameOf(Root(document)));
}

TEST(XMLDocument, FilesInOtherEncodingsAreSavedAsUtf8)
{
    KivTest::TempDir dir;
    struct Case {
        const char* name;
        std::string bytes;
        std::u16string text;
        const char* declared; // the encoding name that must not stay in the saved file
    };
    const Case cases[] = {
        {"latin1.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a>gr\xFC\xDF</a>\n", u"grüß", "ISO-8859-1"},
        {"utf16.xml", std::string("\xFF\xFE<\0a\0>\0g\0r\0\xFC\0\xDF\0<\0/\0a\0>\0", 24), u"grüß", nullptr},
        {"utf16be.xml", "\xFE\xFF" + Utf16Bytes(u"<?xml version='1.0' encoding='UTF-16'?><a>grüß</a>", true), u"grüß",
         "UTF-16"},
        {"utf8bom.xml", "\xEF\xBB\xBF<a>gr\xC3\xBC\xC3\x9F</a>", u"grüß", nullptr},
        {"sjis.xml", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a>\x93\xFA\x96\x7B</a>", u"日本", "Shift_JIS"},
        {"ascii.xml", "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><a>gr&#xFC;&#223;</a>", u"grüß", "US-ASCII"},
    };
    for (const Case& c : cases) {
        const std::u16string path = KivTest::ToUtf16Path(dir.WriteFile(c.name, c.bytes));
        CComPtr<IKivXMLDocument> document = NewDocument();
        ASSERT_EQ(S_OK, document->Load(path.c_str())) << c.name;
        EXPECT_EQ(c.text, TextOf(Root(document))) << c.name;
        SaveChecked(document, dir.Path() / c.name);
        const std::string saved = KivTest::FileBytes(dir.Path() / c.name);
        EXPECT_NE(std::string::npos, saved.find("<a>" + Kiv::Platform::Utf16ToUtf8(c.text) + "</a>")) << saved;
        if (c.declared != nullptr) {
            EXPECT_EQ(std::string::npos, saved.find(c.declared)) << saved;
        }
    }
}

TEST(XMLDocument, FilesInEncodingsThatCannotBeReadAreRefused)
{
    KivTest::TempDir dir;
    const std::u16string good = KivTest::ToUtf16Path(dir.WriteFile("good.xml", "<good/>"));
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"invalid UTF-8 byte", "<a>\xFF</a>"},
        {"cut UTF-8 sequence", "<a>\xE3\x81</a>"},
        {"overlong UTF-8 form", "<a>\xC0\xBC</a>"},
        {"UTF-8 encoded surrogate", "<a>\xED\xA0\x80</a>"},
        {"code point past U+10FFFF", "<a>\xF4\x90\x80\x80</a>"},
        {"NUL byte", std::string("<a>\0</a>", 8)},
        {"UTF-16 without a byte order mark", Utf16Bytes(u"<a/>", false)},
        {"UTF-16 of odd length", "\xFF\xFE" + Utf16Bytes(u"<a/>", false) + "x"},
        {"UTF-16 with an unpaired surrogate", "\xFF\xFE" + Utf16Bytes(u"<a>\xD800</a>", false)},
        {"UTF-16 byte order mark, UTF-8 declared",
         "\xFF\xFE" + Utf16Bytes(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>", false)},
        {"UTF-8 byte order mark, ISO-8859-1 declared",
         "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>"},
        {"UTF-16 declared in 8-bit text", "<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>"},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"EBCDIC-JP-kana\"?><a/>"},
        {"US-ASCII with a byte above 127", "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><a>\xE9</a>"},
        {"UTF-32", std::string("\xFF\xFE\0\0<\0\0\0a\0\0\0/\0\0\0>\0\0\0", 20)},
    };
    CComPtr<IKivXMLDocument> document = NewDocument();
    ASSERT_EQ(S_OK, document->Load(good.c_str()));
    for (const Case& c : cases) {
        const std::u16string path = KivTest::ToUtf16Path(dir.WriteFile("bad.xml", c.bytes));
        EXPECT_EQ(E_FAIL, document->Load(path.c_str())) << c.what;
        EXPECT_EQ(u"good", NameOf(Root(document))) << c.what;
    }
    CComBSTR remembered;
    EXPECT_EQ(S_OK, document->GetPath(&remembered));
    EXPECT_EQ(good, remembered.View());
}

TEST(XMLDocument, LoadResolvesRelativePathsBesideTheExecutableAndSaveDoesNot)
{
    // The temporary folder's name is unique, so the file beside the executable is too.
    KivTest::TempDir dir;
    const std::u16string name = Kiv::Platform::FromSystemPath(dir.Path().filename().string()) + u".xml";
    const std::string executableFolder =
        Kiv::Platform::ToSystemPath(Kiv::Platform::GetDirectoryPart(Kiv::Platform::GetExecutablePath()));
    const std::filesystem::path besideExecutable =
        std::filesystem::path(executableFolder) / Kiv::Platform::ToSystemPath(name);
    {
        std::ofstream out(besideExecutable);
        out << "<beside/>";
    }
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());

    CComPtr<IKivXMLDocument> document = NewDocument();
    const HRESULT loaded = document->Load(name.c_str());
    const HRESULT saved = document->Save(name.c_str());
    CComBSTR path;
    document->GetPath(&path);

    std::filesystem::current_path(previous);
    const bool savedInCurrentFolder = std::filesystem::exists(dir.Path() / Kiv::Platform::ToSystemPath(name));
    const std::string besideText = KivTest::FileBytes(besideExecutable);
    std::filesystem::remove(besideExecutable);

    EXPECT_EQ(S_OK, loaded);
    EXPECT_EQ(u"beside", NameOf(Root(document)));
    EXPECT_EQ(S_OK, saved);
    EXPECT_EQ(name, path.View());
    EXPECT_TRUE(savedInCurrentFolder);
    ExpectXmllintAccepts(dir.Path() / Kiv::Platform::ToSystemPath(name));
    EXPECT_EQ("<beside/>", besideText);
}

// Documents that XML 1.0 forbids, each refused by LoadXML and, written to a file as UTF-8, by
// Load, with the document left as it was.
TEST(XMLDocument, NotWellFormedDocumentsAreRefusedAndKeepTheDocument)
{
    struct Case {
        const char* what;
        const char16_t* xml;
    };
    const Case cases[] = {
        {"empty", u""},
        {"white space only", u"  \n"},
        {"plain text", u"plain text"},
        {"only a comment", u"<!-- no element -->"},
        {"declaration only", u"<?xml version=\"1.0\"?>"},
        {"two document elements", u"<a/><b/>"},
        {"text after the element", u"<a/>text"},
        {"text before the element", u"text<a/>"},
        {"reference after the element", u"<a/>&amp;"},
        {"CDATA section outside the element", u"<![CDATA[x]]><a/>"},
        {"duplicate attribute", u"<a b=\"1\" b=\"2\"/>"},
        {"duplicate attribute among others", u"<a b='1' c='' b=\"1\"/>"},
        {"undefined entity", u"<a>&foo;</a>"},
        {"undefined entity in an attribute", u"<a b=\"&nbsp;\"/>"},
        {"predefined entity in other case", u"<a>&AMP;</a>"},
        {"control character in text", u"<a>\x01</a>"},
        {"control character in an attribute", u"<a b=\"\x1B\"/>"},
        {"control character in a comment", u"<a><!-- \x08 --></a>"},
        {"non-character U+FFFE", u"<a>\xFFFE</a>"},
        {"reference to a control character", u"<a>&#1;</a>"},
        {"reference to NUL", u"<a>&#x0;</a>"},
        {"reference to a surrogate", u"<a>&#xD800;</a>"},
        {"reference past U+10FFFF", u"<a>&#x110000;</a>"},
        {"reference too long for any character", u"<a>&#99999999999999999999999999;</a>"},
        {"reference without digits", u"<a>&#;</a>"},
        {"hexadecimal reference without digits", u"<a>&#x;</a>"},
        {"decimal reference with hexadecimal digits", u"<a>&#1F;</a>"},
        {"entity reference without semicolon", u"<a>&amp</a>"},
        {"character reference without semicolon", u"<a>&#65</a>"},
        {"bare ampersand", u"<a>fish & chips</a>"},
        {"bare ampersand in an attribute", u"<a b=\"&\"/>"},
        {"< in an attribute value", u"<a b=\"1 < 2\"/>"},
        {"mismatched end tag", u"<a><b></a></b>"},
        {"end tag in other case", u"<a></A>"},
        {"unclosed element", u"<a><b></b>"},
        {"unclosed document element", u"<a>"},
        {"space before an end tag's name", u"<a></ a>"},
        {"attribute on an end tag", u"<a></a b=\"1\">"},
        {"name starting with a digit", u"<1a/>"},
        {"name starting with a hyphen", u"<-a/>"},
        {"character names cannot hold", u"<a×/>"},
        {"attribute name starting with a digit", u"<a 1b=\"1\"/>"},
        {"attribute without a value", u"<a b/>"},
        {"unquoted attribute value", u"<a x=1/>"},
        {"attributes without space between", u"<a b=\"1\"c=\"2\"/>"},
        {"mismatched quotes", u"<a b=\"1'/>"},
        {"second XML declaration", u"<?xml version=\"1.0\"?><?xml version=\"1.0\"?><a/>"},
        {"XML declaration after white space", u" <?xml version=\"1.0\"?><a/>"},
        {"XML declaration inside the element", u"<a><?xml version=\"1.0\"?></a>"},
        {"XML declaration after the element", u"<a/><?xml version=\"1.0\"?>"},
        {"processing instruction named XML in other case", u"<a><?XmL x?></a>"},
        {"processing instruction without a target", u"<a><? x?></a>"},
        {"processing instruction without space after its target", u"<a><?pi\"x\"?></a>"},
        {"unterminated processing instruction", u"<a><?pi x</a>"},
        {"declaration without version", u"<?xml encoding=\"utf-8\"?><a/>"},
        {"declaration of another version", u"<?xml version=\"2.0\"?><a/>"},
        {"declaration in the wrong order", u"<?xml version=\"1.0\" standalone=\"yes\" encoding=\"utf-8\"?><a/>"},
        {"declaration with a bad standalone value", u"<?xml version=\"1.0\" standalone=\"maybe\"?><a/>"},
        {"declaration with a bad encoding name", u"<?xml version=\"1.0\" encoding=\"8bit\"?><a/>"},
        {"declaration with another pseudo-attribute", u"<?xml version=\"1.0\" lang=\"en\"?><a/>"},
        {"unterminated declaration", u"<?xml version=\"1.0\"<a/>"},
        {"two hyphens in a comment", u"<a><!-- a -- b --></a>"},
        {"comment ending in a hyphen", u"<a><!-- a ---></a>"},
        {"unterminated comment", u"<a><!-- open</a>"},
        {"]]> in text", u"<a>]]></a>"},
        {"unterminated CDATA section", u"<a><![CDATA[x</a>"},
        {"markup declaration in content", u"<a><!ELEMENT a ANY></a>"},
        {"document type with an internal subset", u"<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>"},
        {"document type after the element", u"<a/><!DOCTYPE a>"},
        {"two document types", u"<!DOCTYPE a><!DOCTYPE a><a/>"},
        {"document type before the declaration", u"<!DOCTYPE a><?xml version=\"1.0\"?><a/>"},
        {"document type without a name", u"<!DOCTYPE><a/>"},
        {"document type in lower case", u"<!doctype a><a/>"},
        {"public id with a character ids cannot hold", u"<!DOCTYPE a PUBLIC \"{x}\" \"a.dtd\"><a/>"},
    };
    KivTest::TempDir dir;
    const std::u16string kept = KivTest::ToUtf16Path(dir.WriteFile("kept.xml", "<Kept/>"));
    CComPtr<IKivXMLDocument> document = NewDocument();
    ASSERT_EQ(S_OK, document->Load(kept.c_str()));
    for (const Case& c : cases) {
        EXPECT_EQ(E_FAIL, document->LoadXML(c.xml)) << c.what;
        const std::filesystem::path file = dir.WriteFile("bad.xml", Kiv::Platform::Utf16ToUtf8(c.xml));
        EXPECT_EQ(E_FAIL, document->Load(KivTest::ToUtf16Path(file).c_str())) << c.what;
        EXPECT_EQ(u"Kept", NameOf(Root(document))) << c.what;
    }
    // Text that is not even UTF-16 is refused too (it has no UTF-8 form to write to a file).
    const char16_t loneSurrogate[] = {u'<', u'a', u'>', 0xD800, u'<', u'/', u'a', u'>', 0};
    EXPECT_EQ(E_FAIL, document->LoadXML(loneSurrogate));
    EXPECT_EQ(u"Kept", NameOf(Root(document)));
    CComBSTR remembered;
    EXPECT_EQ(S_OK, document->GetPath(&remembered));
    EXPECT_EQ(kept, remembered.View());
}

// Documents that use what XML allows: each loads from text and from a file, and what it saves
// loads again with the same text and passes xmllint.
TEST(XMLDocument, WellFormedDocumentsLoadAndSaveForOtherReaders)
{
    struct Case {
        const char16_t* xml;
        std::u16string text; // of the document element
    };
    const Case cases[] = {
        {u"<a>&amp;&lt;&gt;&quot;&apos;</a>", u"&<>\"'"},
        {u"<a>&#65;&#x42;&#x1F600;&#xd7ff;&#0000010;</a>", u"AB\U0001F600\xD7FF\n"},
        {u"<a><![CDATA[<b> & ]] > ]]]]></a>", u"<b> & ]] > ]]"},
        {u"<?xml version='1.0' encoding='UTF-8' standalone='no' ?>\n<!-- before --><?pi data?>\n"
         u"<a><!-- a - b --><?t?>t<?xml-stylesheet href=\"s.xsl\"?></a>\n<!-- after --><?end?>\n",
         u"t"},
        {u"<!DOCTYPE a><a>d</a>", u"d"},
        {u"<?xml version=\"1.0\"?><!-- c --><!DOCTYPE a SYSTEM \"a.dtd\"><a>s</a>", u"s"},
        {u"<!DOCTYPE a PUBLIC \"-//Kiv//Test 1.0//EN\" 'a.dtd' ><a>p</a>", u"p"},
        {u"<a b=\"&lt;&#9;&quot;\" c='\"' d=\"'\">]] ]]&gt;</a >", u"]] ]]>"},
        {u"<設定 属性=\"値\">ü<子/>&#x3042;</設定>", u"üあ"},
        {u"<a:b xmlns:a=\"urn:kiv\" a:c=\"1\" c=\"2\">n</a:b>", u"n"},
        {u"\n  <a\n>\r\n</a\t>  \n", u"\n"},
    };
    KivTest::TempDir dir;
    for (const Case& c : cases) {
        const std::string what = Kiv::Platform::Utf16ToUtf8(c.xml);
        CComPtr<IKivXMLDocument> fromText = NewDocument();
        ASSERT_EQ(S_OK, fromText->LoadXML(c.xml)) << what;
        EXPECT_EQ(c.text, TextOf(Root(fromText))) << what;

        const std::filesystem::path file = dir.WriteFile("good.xml", Kiv::Platform::Utf16ToUtf8(c.xml));
        CComPtr<IKivXMLDocument> fromFile = NewDocument();
        ASSERT_EQ(S_OK, fromFile->Load(KivTest::ToUtf16Path(file).c_str())) << what;
        EXPECT_EQ(c.text, TextOf(Root(fromFile))) << what;

        SaveChecked(fromText, dir.Path() / "saved.xml");
        CComPtr<IKivXMLDocument> again = NewDocument();
        ASSERT_EQ(S_OK, again->Load(KivTest::ToUtf16Path(dir.Path() / "saved.xml").c_str())) << what;
        EXPECT_EQ(c.text, TextOf(Root(again))) << what;
    }
    // Text is made of characters already, so the encoding its declaration names does not matter
    // (in a file, it must be the file's).
    EXPECT_EQ(u"ü", TextOf(Root(ParsedDocument(u"<?xml version=\"1.0\" encoding=\"utf-16\"?>\n<a>ü</a>"))));
    // The document type is written back as it was read; its external subset is never read.
    CComPtr<IKivXMLDocument> withType = ParsedDocument(u"<!DOCTYPE a SYSTEM \"missing.dtd\"><a/>");
    EXPECT_EQ("<!DOCTYPE a SYSTEM \"missing.dtd\">\n<a/>\n", SavedText(withType));
}

TEST(XMLDocument, UnreadableOrMalformedFilesKeepTheDocument)
{
    KivTest::TempDir dir;
    const std::u16string good = KivTest::ToUtf16Path(dir.WriteFile("good.xml", "<good/>"));
    std::filesystem::create_directory(dir.Path() / "folder.xml");
    const std::vector<std::u16string> bad = {
        KivTest::ToUtf16Path(dir.WriteFile("broken.xml", "<a><b></a>")),
        KivTest::ToUtf16Path(dir.WriteFile("empty.xml", "")),
        KivTest::ToUtf16Path(dir.WriteFile("binary.xml", std::string("\x00\xff\x01<", 4))),
        KivTest::ToUtf16Path(dir.Path() / "missing.xml"),
        KivTest::ToUtf16Path(dir.Path() / "folder.xml"),
        KivTest::ToUtf16Path(dir.Path() / "good.xml" / "below.xml"),
        u"",
    };
    CComPtr<IKivXMLDocument> document = NewDocument();
    ASSERT_EQ(S_OK, document->Load(good.c_str()));
    CComPtr<IKivXMLNode> before = Root(document);
    for (const std::u16string& path : bad) {
        EXPECT_EQ(E_FAIL, document->Load(path.c_str())) << Kiv::Platform::Utf16ToUtf8(path);
        EXPECT_EQ(u"good", NameOf(Root(document)));
        CComBSTR remembered;
        EXPECT_EQ(S_OK, document->GetPath(&remembered));
        EXPECT_EQ(good, remembered.View());
    }
    // Loading other content leaves earlier node objects usable.
    ASSERT_EQ(S_OK, document->LoadXML(u"<other/>"));
    EXPECT_EQ(u"good", NameOf(before));
    CComBSTR forgotten;
    EXPECT_EQ(S_OK, document->GetPath(&forgotten));
    EXPECT_EQ(nullptr, static_cast<BSTR>(forgotten));
}

TEST(XMLDocument, SaveReplacesTheFileWhole)
{
    KivTest::TempDir dir;
    const std::filesystem::path file = dir.WriteFile("Setting.xml", "old content");
    CComPtr<IKivXMLDocument> document = ParsedDocument(u"<new/>");
    SaveChecked(document, file);
    EXPECT_EQ("<new/>\n", KivTest::FileBytes(file));
    // No temporary file stays behind.
    EXPECT_EQ(std::vector<std::string>{"Setting.xml"}, FilesIn(dir.Path()));
}

TEST(XMLDocument, FailedSaveKeepsThePreviousFile)
{
    KivTest::TempDir dir;
    const std::filesystem::path file = dir.WriteFile("Setting.xml", "old content");
    std::filesystem::create_directory(dir.Path() / "folder");
    dir.WriteFile("folder/inside.txt", "inside");
    CComPtr<IKivXMLDocument> document = ParsedDocument(u"<new/>");

    // The rename over a folder fails after the new text was written in full.
    EXPECT_TRUE(FAILED(document->Save(KivTest::ToUtf16Path(dir.Path() / "folder").c_str())));
    EXPECT_EQ("inside", KivTest::FileBytes(dir.Path() / "folder" / "inside.txt"));
    // The new file cannot even be started.
    EXPECT_TRUE(FAILED(document->Save(KivTest::ToUtf16Path(dir.Path() / "missing" / "x.xml").c_str())));
    EXPECT_TRUE(FAILED(document->Save(KivTest::ToUtf16Path(file / "x.xml").c_str())));
    // A document without an element is not written.
    EXPECT_EQ(E_FAIL, NewDocument()->Save(KivTest::ToUtf16Path(file).c_str()));

    EXPECT_EQ("old content", KivTest::FileBytes(file));
    EXPECT_EQ((std::vector<std::string>{"Setting.xml", "folder"}), FilesIn(dir.Path()));
    CComBSTR path;
    EXPECT_EQ(S_OK, document->GetPath(&path));
    EXPECT_EQ(nullptr, static_cast<BSTR>(path));
}

TEST(XMLNode, NullArgumentsAreRefused)
{
    CComPtr<IKivXMLDocument> document = NewDocument();
    CComPtr<IKivXMLNode> root = Root(document);
    CComPtr<Kiv::IKivXMLNodeEdit> edit;
    ASSERT_EQ(S_OK, root.QueryInterface(&edit));
    BSTR text = nullptr;
    LONG count = 0;
    IKivXMLNode* node = nullptr;
    const Kiv::KivXMLPathElement unnamed{nullptr, 0};
    // A good element, so that only the null out pointer can refuse the call (it would create "a").
    const Kiv::KivXMLPathElement named{u"a", 0};
    const std::vector<std::pair<const char*, HRESULT>> results = {
        {"Load", document->Load(nullptr)},
        {"LoadXML", document->LoadXML(nullptr)},
        {"Save", document->Save(nullptr)},
        {"Save empty", document->Save(u"")},
        {"GetRootNode", document->GetRootNode(nullptr, nullptr)},
        {"GetPath", document->GetPath(nullptr)},
        {"GetText", root->GetText(nullptr)},
        {"GetName", root->GetName(nullptr)},
        {"GetAttribute name", root->GetAttribute(nullptr, &text)},
        {"GetAttribute value", root->GetAttribute(u"a", nullptr)},
        {"SetAttribute", root->SetAttribute(nullptr, u"v")},
        {"GetChildCount", root->GetChildCount(nullptr)},
        {"GetChild", root->GetChild(0, nullptr)},
        {"AddChild name", root->AddChild(nullptr, &node)},
        {"AddChild out", root->AddChild(u"a", nullptr)},
        {"AddChild bad name", root->AddChild(u"a b", &node)},
        {"RemoveChild", root->RemoveChild(nullptr)},
        {"GetNodeByPath path", root->GetNodeByPath(nullptr, 1, &node)},
        {"GetNodeByPath out", root->GetNodeByPath(u"a", 1, nullptr)},
        {"CountNodesByPath path", root->CountNodesByPath(nullptr, &count)},
        {"CountNodesByPath out", root->CountNodesByPath(u"a", nullptr)},
        {"GetDocument", root->GetDocument(IKivXMLDocument::Iid, nullptr)},
        {"GetDOMNode", edit->GetDOMNode(nullptr)},
        {"FindPath element", edit->FindPath(nullptr, 1, &node)},
        {"FindPath name", edit->FindPath(&unnamed, 1, &node)},
        {"FindPath out", edit->FindPath(&named, 1, nullptr)},
    };
    for (const auto& [operation, result] : results) {
        EXPECT_EQ(E_INVALIDARG, result) << operation;
    }
    EXPECT_EQ(nullptr, node);
    // Nothing was added by the refused calls.
    EXPECT_EQ(0, ChildCount(root));
}

TEST(XMLNode, NodeWrappingNothingFails)
{
    CComPtr<IKivXMLNode> root = Root(NewDocument());
    CComPtr<Kiv::IKivXMLNodeEdit> edit;
    ASSERT_EQ(S_OK, root.QueryInterface(&edit));
    ASSERT_EQ(S_OK, edit->SetDOMNode(pugi::xml_node()));
    CComBSTR text;
    LONG count = 0;
    CComPtr<IKivXMLNode> node;
    EXPECT_EQ(E_FAIL, root->GetName(&text));
    EXPECT_EQ(E_FAIL, root->SetText(u"x"));
    EXPECT_EQ(E_FAIL, root->GetChildCount(&count));
    EXPECT_EQ(E_FAIL, root->AddChild(u"a", &node));
    EXPECT_EQ(E_FAIL, root->GetNodeByPath(u"a", 1, &node));
    pugi::xml_node dom;
    EXPECT_EQ(E_FAIL, edit->GetDOMNode(&dom));

    // A node of another DOM is refused.
    pugi::xml_document other;
    EXPECT_EQ(E_INVALIDARG, edit->SetDOMNode(other.append_child("x")));
}

// Nothing walks a document by recursion: documents far deeper than any real one load, give
// their text, take new text and save, on the thread's ordinary stack.
TEST(XMLDocument, DeepDocumentsAreReadAndSaved)
{
    constexpr int Depth = 60000;
    std::string xml;
    for (int i = 0; i < Depth; ++i) {
        xml += "<a>";
    }
    xml += "x";
    for (int i = 0; i < Depth; ++i) {
        xml += "</a>";
    }
    KivTest::TempDir dir;
    const std::filesystem::path file = dir.WriteFile("deep.xml", xml);
    CComPtr<IKivXMLDocument> fromFile = NewDocument();
    ASSERT_EQ(S_OK, fromFile->Load(KivTest::ToUtf16Path(file).c_str()));
    CComPtr<IKivXMLDocument> fromText = NewDocument();
    ASSERT_EQ(S_OK, fromText->LoadXML(Kiv::Platform::Utf8ToUtf16(xml).c_str()));

    CComPtr<IKivXMLNode> root = Root(fromText);
    EXPECT_EQ(u"x", TextOf(root));
    // The text is gathered in document order across levels, comments left out.
    EXPECT_EQ(u"abcdefg", TextOf(Root(ParsedDocument(u"<r>a<b>b<c>c</c><c/>d</b><![CDATA[e]]><!--z-->f<b><c>g</c></b></r>"))));
    EXPECT_EQ(u"x", TextOf(Root(fromFile)));
    SaveChecked(fromText, dir.Path() / "saved.xml");
    EXPECT_EQ(xml + "\n", KivTest::FileBytes(dir.Path() / "saved.xml"));

    // The deep content is replaced and the document saved again.
    EXPECT_EQ(S_OK, root->SetText(u"flat"));
    EXPECT_EQ("<a>flat</a>\n", SavedText(fromText));
}

// A created path costs memory in proportion to its length: the indentation written for each new
// level does not grow without end.
TEST(XMLNode, LongCreatedPathsCostLinearMemory)
{
    constexpr std::size_t Levels = 8000;
    std::u16string path = u"a";
    for (std::size_t i = 1; i < Levels; ++i) {
        path += u".a";
    }
    CComPtr<IKivXMLDocument> document = NewDocument();
    CComPtr<IKivXMLNode> root = Root(document);
    const std::size_t before = Kiv::Platform::HeapBytesInUse();
    CComPtr<IKivXMLNode> deepest = Path(root, path.c_str(), 1);
    const std::size_t grown = Kiv::Platform::HeapBytesInUse() - before;
    // A level is three DOM nodes (the element and the line breaks around it) with short texts, a
    // few hundred bytes; a run of tabs as long as the level would make it 64 MB here.
    EXPECT_LT(grown, Levels * 1024);

    const std::string saved = SavedText(document);
    EXPECT_LT(saved.size(), Levels * 256);
    CComPtr<IKivXMLDocument> again = NewDocument();
    ASSERT_EQ(S_OK, again->LoadXML(Kiv::Platform::Utf8ToUtf16(saved).c_str()));
    EXPECT_EQ(u"a", NameOf(Path(Root(again), path.c_str())));
}

// Heap bytes the process gained since the given figure (negative when it gave back).
std::ptrdiff_t HeapGrowthSince(std::size_t before)
{
    return static_cast<std::ptrdiff_t>(Kiv::Platform::HeapBytesInUse()) - static_cast<std::ptrdiff_t>(before);
}

// What is removed from a document is freed once no node object wraps it, so replacing and
// removing content again and again keeps memory bounded; what callers hold keeps working.
TEST(XMLNode, RemovedNodesAreFreedOnceNothingWrapsThem)
{
    constexpr std::ptrdiff_t Bound = 1 << 20;
    CComPtr<IKivXMLDocument> document = NewDocument();
    CComPtr<IKivXMLNode> root = Root(document);
    CComPtr<IKivXMLNode> setting = Path(root, u"setting", 1);
    ASSERT_EQ(S_OK, setting->SetText(u"first"));

    // The held node of a large removed subtree: kept alive through all the collections below.
    const std::size_t beforeHeld = Kiv::Platform::HeapBytesInUse();
    CComPtr<IKivXMLNode> big = Path(root, u"big", 1);
    CComPtr<IKivXMLNode> held = FillPages(big);
    for (const char16_t* group : {u"group[0].item[999]", u"group[1].item[999]", u"group[2].item[999]"}) {
        Path(big, group, 1);
    }
    ASSERT_EQ(S_OK, root->RemoveChild(big));
    big.Release();
    const std::ptrdiff_t heldSize = HeapGrowthSince(beforeHeld);

    const std::size_t before = Kiv::Platform::HeapBytesInUse();
    for (int i = 0; i < 200000; ++i) {
        ASSERT_EQ(S_OK, setting->SetText(u"a setting's value, replaced again and again"));
    }
    for (int i = 0; i < 20000; ++i) {
        CComPtr<IKivXMLNode> child;
        CComPtr<IKivXMLNode> grandchild;
        ASSERT_EQ(S_OK, setting->AddChild(u"child", &child));
        ASSERT_EQ(S_OK, child->AddChild(u"grandchild", &grandchild));
        // The element and the line breaks around it.
        while (ChildCount(setting) > 0) {
            CComPtr<IKivXMLNode> first;
            ASSERT_EQ(S_OK, setting->GetChild(0, &first));
            ASSERT_EQ(S_OK, setting->RemoveChild(first));
        }
        // A removed child still held by its caller works on the removed copy.
        EXPECT_EQ(S_OK, grandchild->SetAttribute(u"n", u"1"));
        CComPtr<IKivXMLNode> greatGrandchild;
        EXPECT_EQ(S_OK, grandchild->AddChild(u"more", &greatGrandchild));
        EXPECT_EQ(1, CountByPath(child, u"grandchild.more"));
    }
    EXPECT_LT(HeapGrowthSince(before), Bound);

    EXPECT_EQ(u"still here", TextOf(held));
    EXPECT_EQ(S_OK, held->SetAttribute(u"k", u"v"));
    EXPECT_EQ(u"item", NameOf(held));
    // Once its last node object goes, the removed subtree goes too (at a later collection).
    held.Release();
    for (int i = 0; i < 5000; ++i) {
        ASSERT_EQ(S_OK, setting->SetText(u"more work"));
        CComPtr<IKivXMLNode> child;
        ASSERT_EQ(S_OK, setting->GetChild(0, &child));
    }
    EXPECT_LT(HeapGrowthSince(beforeHeld), heldSize / 4) << heldSize;
    // The removed element's line breaks stay, as removing leaves the text around an element.
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<root>\n\t<setting>more work</setting>\n\t\n</root>\n",
              SavedText(document));
}

// Saving through a symbolic link writes the file the link leads to (through relative links and
// chains of links, creating it when missing) and leaves the link a link; a saved file keeps its
// permissions.
TEST(XMLDocument, SaveWritesThroughLinksAndKeepsPermissions)
{
    namespace fs = std::filesystem;
    KivTest::TempDir dir;
    const fs::path target = dir.WriteFile("target.xml", "<old/>");
    const fs::perms ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(target, ownerOnly);
    fs::create_directory(dir.Path() / "links");
    fs::create_symlink("../target.xml", dir.Path() / "links" / "relative.xml");
    fs::create_symlink(dir.Path() / "links" / "relative.xml", dir.Path() / "chain.xml");
    fs::create_symlink("created.xml", dir.Path() / "dangling.xml");

    struct Case {
        const char* link;
        const char* written; // the file the link leads to
        const char16_t* xml;
    };
    const Case cases[] = {
        {"links/relative.xml", "target.xml", u"<first/>"},
        {"chain.xml", "target.xml", u"<second/>"},
        {"dangling.xml", "created.xml", u"<third/>"},
    };
    for (const Case& c : cases) {
        CComPtr<IKivXMLDocument> document = ParsedDocument(c.xml);
        SaveChecked(document, dir.Path() / c.link);
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.Path() / c.link))) << c.link;
        EXPECT_EQ(Kiv::Platform::Utf16ToUtf8(c.xml) + "\n", KivTest::FileBytes(dir.Path() / c.written)) << c.link;
    }
    EXPECT_EQ(ownerOnly, fs::status(target).permissions() & fs::perms::mask);

    // A file saved in place keeps its permissions too.
    const fs::path plain = dir.WriteFile("plain.xml", "<old/>");
    const fs::perms shared = ownerOnly | fs::perms::group_read;
    fs::permissions(plain, shared);
    SaveChecked(ParsedDocument(u"<new/>"), plain);
    EXPECT_EQ(shared, fs::status(plain).permissions() & fs::perms::mask);

    // A link that leads to itself is not replaced.
    fs::create_symlink("loop.xml", dir.Path() / "loop.xml");
    EXPECT_TRUE(FAILED(ParsedDocument(u"<loop/>")->Save(KivTest::ToUtf16Path(dir.Path() / "loop.xml").c_str())));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.Path() / "loop.xml")));

    // No temporary file stays behind.
    EXPECT_EQ((std::vector<std::string>{"chain.xml", "created.xml", "dangling.xml", "links", "loop.xml", "plain.xml",
                                        "target.xml"}),
              FilesIn(dir.Path()));
    EXPECT_EQ(std::vector<std::string>{"relative.xml"}, FilesIn(dir.Path() / "links"));
}
