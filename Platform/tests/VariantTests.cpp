// Tests of VARIANT ownership, copying and type conversion, and of SAFEARRAY of BSTR.
// Leaks and double frees are caught by the sanitizer build.
#include "KivPlatform/Variant.h"

#include <gtest/gtest.h>

#include <cctype>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace {

// An object that only counts its references; it is never deleted.
class CountedUnknown final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (!IsEqualIID(riid, IUnknown::Iid)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *object = static_cast<IUnknown*>(this);
        return S_OK;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override { return --m_references; }

    ULONG References() const { return m_references; }

private:
    ULONG m_references = 1;
};

std::u16string_view View(BSTR text)
{
    return text == nullptr ? std::u16string_view() : std::u16string_view(text, SysStringLen(text));
}

// A VARIANT that is cleared when the test leaves its scope.
class ScopedVariant {
public:
    ScopedVariant() { VariantInit(&m_value); }
    ~ScopedVariant() { VariantClear(&m_value); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;

    VARIANT* Get() { return &m_value; }
    VARIANT& operator*() { return m_value; }
    VARIANT* operator->() { return &m_value; }

private:
    VARIANT m_value;
};

// A value description for tables: the bits of an integer (interpreted by the field of vt) or text.
struct Value {
    VARTYPE vt;
    ULONGLONG bits;
    std::u16string_view text;
};

constexpr Value Number(VARTYPE vt, LONGLONG value)
{
    return {vt, static_cast<ULONGLONG>(value), {}};
}
constexpr Value Unsigned(VARTYPE vt, ULONGLONG value)
{
    return {vt, value, {}};
}
constexpr Value Text(std::u16string_view text)
{
    return {VT_BSTR, 0, text};
}
constexpr Value Bool(bool value)
{
    return Number(VT_BOOL, value ? VARIANT_TRUE : VARIANT_FALSE);
}
constexpr Value Empty()
{
    return {VT_EMPTY, 0, {}};
}

constexpr LONGLONG I8Min = std::numeric_limits<LONGLONG>::min();
constexpr ULONGLONG UI8Max = std::numeric_limits<ULONGLONG>::max();

void Fill(const Value& value, VARIANT& v)
{
    v.vt = value.vt;
    switch (value.vt) {
    case VT_I1: v.cVal = static_cast<signed char>(value.bits); break;
    case VT_UI1: v.bVal = static_cast<BYTE>(value.bits); break;
    case VT_I2: v.iVal = static_cast<SHORT>(value.bits); break;
    case VT_UI2: v.uiVal = static_cast<USHORT>(value.bits); break;
    case VT_I4: v.lVal = static_cast<LONG>(value.bits); break;
    case VT_UI4: v.ulVal = static_cast<ULONG>(value.bits); break;
    case VT_INT: v.intVal = static_cast<INT>(value.bits); break;
    case VT_UINT: v.uintVal = static_cast<UINT>(value.bits); break;
    case VT_I8: v.llVal = static_cast<LONGLONG>(value.bits); break;
    case VT_UI8: v.ullVal = value.bits; break;
    case VT_BOOL: v.boolVal = static_cast<VARIANT_BOOL>(value.bits); break;
    case VT_BSTR: v.bstrVal = SysAllocStringLen(value.text.data(), static_cast<UINT>(value.text.size())); break;
    default: v.llVal = 0; break;
    }
}

// The integer in v, sign-extended to 64 bits as Number() stores it.
ULONGLONG Bits(const VARIANT& v)
{
    switch (v.vt) {
    case VT_I1: return static_cast<ULONGLONG>(LONGLONG{v.cVal});
    case VT_UI1: return v.bVal;
    case VT_I2: return static_cast<ULONGLONG>(LONGLONG{v.iVal});
    case VT_UI2: return v.uiVal;
    case VT_I4: return static_cast<ULONGLONG>(LONGLONG{v.lVal});
    case VT_UI4: return v.ulVal;
    case VT_INT: return static_cast<ULONGLONG>(LONGLONG{v.intVal});
    case VT_UINT: return v.uintVal;
    case VT_I8: return static_cast<ULONGLONG>(v.llVal);
    case VT_UI8: return v.ullVal;
    case VT_BOOL: return static_cast<ULONGLONG>(LONGLONG{v.boolVal});
    default: return 0;
    }
}

void ExpectHolds(const VARIANT& actual, const Value& expected)
{
    ASSERT_EQ(actual.vt, expected.vt);
    if (expected.vt == VT_BSTR) {
        EXPECT_EQ(View(actual.bstrVal), expected.text);
    } else {
        EXPECT_EQ(Bits(actual), expected.bits);
    }
}

// ---- VariantClear and VariantCopy ----

TEST(VariantTest, InitAndClearLeaveEmpty)
{
    VARIANT v;
    v.vt = VT_I4;
    VariantInit(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);

    Fill(Text(u"owned"), v);
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(VariantTest, CopyAddRefsAndClearReleasesInterfaces)
{
    CountedUnknown object;
    {
        ScopedVariant original;
        original->vt = VT_UNKNOWN;
        original->punkVal = &object;
        object.AddRef(); // the reference the variant owns
        ASSERT_EQ(object.References(), 2u);
        {
            ScopedVariant copy;
            ASSERT_EQ(VariantCopy(copy.Get(), original.Get()), S_OK);
            EXPECT_EQ(copy->vt, VT_UNKNOWN);
            EXPECT_EQ(copy->punkVal, &object);
            EXPECT_EQ(object.References(), 3u);
        }
        EXPECT_EQ(object.References(), 2u);

        // Copying over a variant that holds the interface releases the old reference first.
        ScopedVariant target;
        ASSERT_EQ(VariantCopy(target.Get(), original.Get()), S_OK);
        EXPECT_EQ(object.References(), 3u);
        // Copying a variant onto itself neither adds nor drops a reference.
        ASSERT_EQ(VariantCopy(target.Get(), target.Get()), S_OK);
        EXPECT_EQ(object.References(), 3u);
    }
    EXPECT_EQ(object.References(), 1u);

    ScopedVariant nullInterface;
    nullInterface->vt = VT_UNKNOWN;
    nullInterface->punkVal = nullptr;
    ScopedVariant copy;
    ASSERT_EQ(VariantCopy(copy.Get(), nullInterface.Get()), S_OK);
    EXPECT_EQ(copy->punkVal, nullptr);
}

TEST(VariantTest, CopyOfStringIsDeep)
{
    ScopedVariant original;
    Fill(Text(u"日本語"), *original);
    ScopedVariant copy;
    Fill(Text(u"overwritten and freed"), *copy);
    ASSERT_EQ(VariantCopy(copy.Get(), original.Get()), S_OK);
    EXPECT_NE(copy->bstrVal, original->bstrVal);
    ExpectHolds(*copy, Text(u"日本語"));

    // A copy onto itself must not free the string it is copying.
    ASSERT_EQ(VariantCopy(copy.Get(), copy.Get()), S_OK);
    ExpectHolds(*copy, Text(u"日本語"));

    ScopedVariant nullString;
    nullString->vt = VT_BSTR;
    nullString->bstrVal = nullptr;
    ASSERT_EQ(VariantCopy(copy.Get(), nullString.Get()), S_OK);
    EXPECT_EQ(copy->vt, VT_BSTR);
    EXPECT_EQ(copy->bstrVal, nullptr);
}

TEST(VariantTest, CopyOfArrayIsDeepAndClearDestroysIt)
{
    ScopedVariant original;
    original->vt = VT_ARRAY | VT_BSTR;
    original->parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
    ASSERT_NE(original->parray, nullptr);
    const LONG index = 1;
    BSTR text = SysAllocString(u"element");
    ASSERT_EQ(SafeArrayPutElement(original->parray, &index, text), S_OK);
    SysFreeString(text);

    ScopedVariant copy;
    ASSERT_EQ(VariantCopy(copy.Get(), original.Get()), S_OK);
    EXPECT_EQ(copy->vt, VT_ARRAY | VT_BSTR);
    ASSERT_NE(copy->parray, nullptr);
    EXPECT_NE(copy->parray, original->parray);
    EXPECT_NE(static_cast<BSTR*>(copy->parray->pvData)[1], static_cast<BSTR*>(original->parray->pvData)[1]);

    // Clearing the original must leave the copy intact.
    VariantClear(original.Get());
    BSTR element = nullptr;
    ASSERT_EQ(SafeArrayGetElement(copy->parray, &index, &element), S_OK);
    EXPECT_EQ(View(element), u"element");
    SysFreeString(element);
}

TEST(VariantTest, CopyOfNumbersCopiesTheValue)
{
    const Value values[] = {Number(VT_I8, I8Min), Unsigned(VT_UI8, UI8Max), Bool(true), Number(VT_I1, -3), Empty()};
    for (const Value& value : values) {
        ScopedVariant original;
        Fill(value, *original);
        ScopedVariant copy;
        ASSERT_EQ(VariantCopy(copy.Get(), original.Get()), S_OK);
        ExpectHolds(*copy, value);
    }
}

// ---- VariantChangeType ----

struct ChangeTypeCase {
    const char* name;
    Value source;
    VARTYPE target;
    HRESULT expectedResult;
    Value expected; // when the conversion succeeds
};

const ChangeTypeCase changeTypeCases[] = {
    // numbers to text
    {"I4 to text", Number(VT_I4, 42), VT_BSTR, S_OK, Text(u"42")},
    {"negative I2 to text", Number(VT_I2, -7), VT_BSTR, S_OK, Text(u"-7")},
    {"I8 minimum to text", Number(VT_I8, I8Min), VT_BSTR, S_OK, Text(u"-9223372036854775808")},
    {"UI8 maximum to text", Unsigned(VT_UI8, UI8Max), VT_BSTR, S_OK, Text(u"18446744073709551615")},
    {"UI1 to text", Unsigned(VT_UI1, 200), VT_BSTR, S_OK, Text(u"200")},
    // text to numbers
    {"text to I4", Text(u"123"), VT_I4, S_OK, Number(VT_I4, 123)},
    {"text with plus sign", Text(u"+5"), VT_UI2, S_OK, Unsigned(VT_UI2, 5)},
    {"minus zero to unsigned", Text(u"-0"), VT_UI4, S_OK, Unsigned(VT_UI4, 0)},
    {"I1 minimum from text", Text(u"-128"), VT_I1, S_OK, Number(VT_I1, -128)},
    {"I1 below minimum", Text(u"-129"), VT_I1, DISP_E_TYPEMISMATCH, {}},
    {"I8 minimum from text", Text(u"-9223372036854775808"), VT_I8, S_OK, Number(VT_I8, I8Min)},
    {"below I8 minimum", Text(u"-9223372036854775809"), VT_I8, DISP_E_TYPEMISMATCH, {}},
    {"UI8 maximum from text", Text(u"18446744073709551615"), VT_UI8, S_OK, Unsigned(VT_UI8, UI8Max)},
    {"above UI8 maximum", Text(u"18446744073709551616"), VT_UI8, DISP_E_TYPEMISMATCH, {}},
    {"trailing garbage", Text(u"12a"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"leading space", Text(u" 12"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"empty text", Text(u""), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"sign only", Text(u"-"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"two signs", Text(u"+-5"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"full-width digits", Text(u"１２"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"decimal fraction", Text(u"1.5"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    // numbers to numbers
    {"I4 to UI1 at maximum", Number(VT_I4, 255), VT_UI1, S_OK, Unsigned(VT_UI1, 255)},
    {"I4 to UI1 above maximum", Number(VT_I4, 300), VT_UI1, DISP_E_TYPEMISMATCH, {}},
    {"negative I4 to UI4", Number(VT_I4, -1), VT_UI4, DISP_E_TYPEMISMATCH, {}},
    {"UI8 above I8 maximum", Unsigned(VT_UI8, 1ULL << 63), VT_I8, DISP_E_TYPEMISMATCH, {}},
    {"I2 to I8", Number(VT_I2, -5), VT_I8, S_OK, Number(VT_I8, -5)},
    {"UINT above INT maximum", Unsigned(VT_UINT, 4000000000u), VT_INT, DISP_E_TYPEMISMATCH, {}},
    {"INT to I2", Number(VT_INT, -1), VT_I2, S_OK, Number(VT_I2, -1)},
    {"same type", Number(VT_I4, 9), VT_I4, S_OK, Number(VT_I4, 9)},
    // VT_BOOL and numbers
    {"true to I4", Bool(true), VT_I4, S_OK, Number(VT_I4, -1)},
    {"true to UI1", Bool(true), VT_UI1, S_OK, Unsigned(VT_UI1, 0xFF)},
    {"true to UI8", Bool(true), VT_UI8, S_OK, Unsigned(VT_UI8, UI8Max)},
    {"false to UI4", Bool(false), VT_UI4, S_OK, Unsigned(VT_UI4, 0)},
    {"non-zero to bool", Number(VT_I4, 5), VT_BOOL, S_OK, Bool(true)},
    {"UI8 maximum to bool", Unsigned(VT_UI8, UI8Max), VT_BOOL, S_OK, Bool(true)},
    {"zero to bool", Number(VT_I4, 0), VT_BOOL, S_OK, Bool(false)},
    // unsupported
    {"bool to text", Bool(true), VT_BSTR, DISP_E_TYPEMISMATCH, {}},
    {"text to bool", Text(u"1"), VT_BOOL, DISP_E_TYPEMISMATCH, {}},
    {"empty to I4", Empty(), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"VT_NULL to text", Value{VT_NULL, 0, {}}, VT_BSTR, DISP_E_TYPEMISMATCH, {}},
    {"I4 to empty", Number(VT_I4, 1), VT_EMPTY, DISP_E_TYPEMISMATCH, {}},
    {"I4 to interface", Number(VT_I4, 1), VT_UNKNOWN, DISP_E_TYPEMISMATCH, {}},
    {"text to array", Text(u"1"), VT_ARRAY | VT_BSTR, DISP_E_TYPEMISMATCH, {}},
};

void PrintTo(const ChangeTypeCase& c, std::ostream* os)
{
    *os << c.name;
}

class ChangeTypeTest : public testing::TestWithParam<ChangeTypeCase> {};

TEST_P(ChangeTypeTest, IntoSeparateVariant)
{
    const ChangeTypeCase& c = GetParam();
    ScopedVariant source;
    Fill(c.source, *source);
    ScopedVariant result;
    Fill(Text(u"previous"), *result);

    EXPECT_EQ(VariantChangeType(result.Get(), source.Get(), 0, c.target), c.expectedResult);
    if (SUCCEEDED(c.expectedResult)) {
        ExpectHolds(*result, c.expected);
    } else {
        ExpectHolds(*result, Text(u"previous"));
    }
    ExpectHolds(*source, c.source);
}

TEST_P(ChangeTypeTest, InPlace)
{
    const ChangeTypeCase& c = GetParam();
    ScopedVariant value;
    Fill(c.source, *value);

    EXPECT_EQ(VariantChangeType(value.Get(), value.Get(), 0, c.target), c.expectedResult);
    ExpectHolds(*value, SUCCEEDED(c.expectedResult) ? c.expected : c.source);
}

INSTANTIATE_TEST_SUITE_P(Conversions, ChangeTypeTest, testing::ValuesIn(changeTypeCases),
                         [](const testing::TestParamInfo<ChangeTypeCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p != '\0'; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

TEST(VariantTest, ChangeTypeOfInterfaceToItsOwnTypeAddRefs)
{
    CountedUnknown object;
    ScopedVariant original;
    original->vt = VT_UNKNOWN;
    original->punkVal = &object;
    object.AddRef();
    {
        ScopedVariant result;
        ASSERT_EQ(VariantChangeType(result.Get(), original.Get(), 0, VT_UNKNOWN), S_OK);
        EXPECT_EQ(result->punkVal, &object);
        EXPECT_EQ(object.References(), 3u);
    }
    EXPECT_EQ(object.References(), 2u);
}

// ---- SAFEARRAY ----

struct ArrayDeleter {
    void operator()(SAFEARRAY* array) const { EXPECT_EQ(SafeArrayDestroy(array), S_OK); }
};
using UniqueArray = std::unique_ptr<SAFEARRAY, ArrayDeleter>;

// The element as a new string, or the failure status in text form for comparisons.
std::u16string ElementText(SAFEARRAY* array, LONG index)
{
    BSTR element = nullptr;
    if (FAILED(SafeArrayGetElement(array, &index, &element))) {
        return u"<failed>";
    }
    std::u16string text(element == nullptr ? u"<null>" : View(element));
    SysFreeString(element);
    return text;
}

void Put(SAFEARRAY* array, LONG index, std::u16string_view text)
{
    BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    ASSERT_EQ(SafeArrayPutElement(array, &index, value), S_OK);
    SysFreeString(value); // the array holds its own copy
}

TEST(SafeArrayTest, BoundsAndTypeOfNewVectors)
{
    struct Case {
        LONG lowerBound;
        ULONG count;
        LONG upperBound;
    };
    const Case cases[] = {
        {0, 3, 2},
        {-2, 3, 0},
        {5, 0, 4},
        {std::numeric_limits<LONG>::max(), 1, std::numeric_limits<LONG>::max()},
        {std::numeric_limits<LONG>::min(), 1, std::numeric_limits<LONG>::min()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lowerBound << " x " << c.count);
        const UniqueArray array(SafeArrayCreateVector(VT_BSTR, c.lowerBound, c.count));
        ASSERT_NE(array, nullptr);
        EXPECT_EQ(SafeArrayGetDim(array.get()), 1u);
        VARTYPE vt = VT_EMPTY;
        EXPECT_EQ(SafeArrayGetVartype(array.get(), &vt), S_OK);
        EXPECT_EQ(vt, VT_BSTR);
        LONG bound = 0;
        EXPECT_EQ(SafeArrayGetLBound(array.get(), 1, &bound), S_OK);
        EXPECT_EQ(bound, c.lowerBound);
        EXPECT_EQ(SafeArrayGetUBound(array.get(), 1, &bound), S_OK);
        EXPECT_EQ(bound, c.upperBound);
        for (UINT dimension : {0u, 2u}) {
            EXPECT_EQ(SafeArrayGetLBound(array.get(), dimension, &bound), DISP_E_BADINDEX);
            EXPECT_EQ(SafeArrayGetUBound(array.get(), dimension, &bound), DISP_E_BADINDEX);
        }
        if (c.count > 0) {
            EXPECT_EQ(ElementText(array.get(), c.lowerBound), u"<null>");
        }
    }
}

TEST(SafeArrayTest, CreateRejectsOtherTypesAndUnrepresentableBounds)
{
    for (VARTYPE vt : {VT_EMPTY, VT_I4, VT_UNKNOWN, VT_BOOL}) {
        EXPECT_EQ(SafeArrayCreateVector(vt, 0, 1), nullptr) << vt;
    }
    // The upper bound would be one past the largest LONG.
    EXPECT_EQ(SafeArrayCreateVector(VT_BSTR, std::numeric_limits<LONG>::max(), 2), nullptr);
}

TEST(SafeArrayTest, PutStoresCopiesAndReplacesOldStrings)
{
    const UniqueArray array(SafeArrayCreateVector(VT_BSTR, 1, 3));
    ASSERT_NE(array, nullptr);
    Put(array.get(), 1, u"first");
    Put(array.get(), 3, u"│ third");
    Put(array.get(), 1, u"replaced"); // the old string is freed (leak check)
    EXPECT_EQ(ElementText(array.get(), 1), u"replaced");
    EXPECT_EQ(ElementText(array.get(), 2), u"<null>");
    EXPECT_EQ(ElementText(array.get(), 3), u"│ third");

    // Storing an element's own string into it must copy before freeing.
    const LONG index = 3;
    ASSERT_EQ(SafeArrayPutElement(array.get(), &index, static_cast<BSTR*>(array->pvData)[2]), S_OK);
    EXPECT_EQ(ElementText(array.get(), 3), u"│ third");

    // A null BSTR clears the element.
    ASSERT_EQ(SafeArrayPutElement(array.get(), &index, nullptr), S_OK);
    EXPECT_EQ(ElementText(array.get(), 3), u"<null>");

    // Each get hands out a new copy.
    const LONG first = 1;
    BSTR a = nullptr;
    BSTR b = nullptr;
    ASSERT_EQ(SafeArrayGetElement(array.get(), &first, &a), S_OK);
    ASSERT_EQ(SafeArrayGetElement(array.get(), &first, &b), S_OK);
    EXPECT_NE(a, b);
    EXPECT_NE(a, static_cast<BSTR*>(array->pvData)[0]);
    SysFreeString(a);
    SysFreeString(b);
}

TEST(SafeArrayTest, IndicesOutsideTheBoundsAreRejected)
{
    const UniqueArray array(SafeArrayCreateVector(VT_BSTR, -1, 3)); // -1 .. 1
    ASSERT_NE(array, nullptr);
    BSTR value = SysAllocString(u"x");
    for (const LONG index : {LONG{-2}, LONG{2}, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max()}) {
        EXPECT_EQ(SafeArrayPutElement(array.get(), &index, value), DISP_E_BADINDEX) << index;
        BSTR out = value;
        EXPECT_EQ(SafeArrayGetElement(array.get(), &index, &out), DISP_E_BADINDEX) << index;
        EXPECT_EQ(out, value); // untouched
    }
    SysFreeString(value);
    for (LONG index = -1; index <= 1; ++index) {
        EXPECT_EQ(ElementText(array.get(), index), u"<null>");
    }

    const UniqueArray empty(SafeArrayCreateVector(VT_BSTR, 0, 0));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(ElementText(empty.get(), 0), u"<failed>");
}

TEST(SafeArrayTest, NullArgumentsAreRejected)
{
    const UniqueArray array(SafeArrayCreateVector(VT_BSTR, 0, 1));
    ASSERT_NE(array, nullptr);
    const LONG index = 0;
    LONG bound = 0;
    VARTYPE vt = VT_EMPTY;
    BSTR text = nullptr;
    SAFEARRAY* copy = nullptr;

    EXPECT_EQ(SafeArrayPutElement(nullptr, &index, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayPutElement(array.get(), nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetElement(nullptr, &index, &text), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetElement(array.get(), nullptr, &text), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetElement(array.get(), &index, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetLBound(array.get(), 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetUBound(nullptr, 1, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetUBound(array.get(), 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetVartype(nullptr, &vt), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetVartype(array.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayCopy(array.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);

    copy = array.get();
    EXPECT_EQ(SafeArrayCopy(nullptr, &copy), S_OK);
    EXPECT_EQ(copy, nullptr);
}

TEST(SafeArrayTest, CopyIsDeep)
{
    const UniqueArray array(SafeArrayCreateVector(VT_BSTR, 10, 3));
    ASSERT_NE(array, nullptr);
    Put(array.get(), 10, u"a");
    Put(array.get(), 12, u"日本");

    SAFEARRAY* raw = nullptr;
    ASSERT_EQ(SafeArrayCopy(array.get(), &raw), S_OK);
    const UniqueArray copy(raw);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->pvData, array->pvData);
    LONG bound = 0;
    EXPECT_EQ(SafeArrayGetLBound(copy.get(), 1, &bound), S_OK);
    EXPECT_EQ(bound, 10);
    EXPECT_EQ(SafeArrayGetUBound(copy.get(), 1, &bound), S_OK);
    EXPECT_EQ(bound, 12);

    // Changing the original leaves the copy alone.
    Put(array.get(), 10, u"changed");
    EXPECT_EQ(ElementText(copy.get(), 10), u"a");
    EXPECT_EQ(ElementText(copy.get(), 11), u"<null>");
    EXPECT_EQ(ElementText(copy.get(), 12), u"日本");
    EXPECT_NE(static_cast<BSTR*>(copy->pvData)[2], static_cast<BSTR*>(array->pvData)[2]);
}

} // namespace
