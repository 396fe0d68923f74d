// VARIANT handling and one-dimensional SAFEARRAY of BSTR. The functions keep no state of their
// own and are thread-safe; a value or array must not be changed by two threads at once.
#include "KivPlatform/Variant.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace {

// The platform's feature flag for an array whose elements are BSTR.
constexpr USHORT FadfBstr = 0x0100;

// The value of a numeric VARIANT, in whichever of the two 64-bit types holds its type's range.
using Integer = std::variant<LONGLONG, ULONGLONG>;

// Copies src into *dst; a null string stays null. False when memory runs out.
bool CopyBstr(BSTR src, BSTR* dst)
{
    if (src == nullptr) {
        *dst = nullptr;
        return true;
    }
    *dst = SysAllocStringLen(src, SysStringLen(src));
    return *dst != nullptr;
}

BSTR* Elements(SAFEARRAY* array)
{
    return static_cast<BSTR*>(array->pvData);
}

bool IsBstrVector(const SAFEARRAY* array)
{
    return array != nullptr && array->cDims == 1 && (array->fFeatures & FadfBstr) != 0;
}

// The element an index names, or null outside the bounds.
BSTR* ElementAt(SAFEARRAY* array, LONG index)
{
    const LONGLONG offset = LONGLONG{index} - array->rgsabound[0].lLbound;
    if (offset < 0 || offset >= LONGLONG{array->rgsabound[0].cElements}) {
        return nullptr;
    }
    return Elements(array) + offset;
}

// Calls f with the member of value that holds an integer of type vt; false when vt is no
// integer type. One list of the integer types serves reading and writing.
template <class Value, class Function>
bool VisitIntegerField(Value& value, VARTYPE vt, Function f)
{
    switch (vt) {
    case VT_I1:
        f(value.cVal);
        return true;
    case VT_UI1:
        f(value.bVal);
        return true;
    case VT_I2:
        f(value.iVal);
        return true;
    case VT_UI2:
        f(value.uiVal);
        return true;
    case VT_I4:
        f(value.lVal);
        return true;
    case VT_UI4:
        f(value.ulVal);
        return true;
    case VT_INT:
        f(value.intVal);
        return true;
    case VT_UINT:
        f(value.uintVal);
        return true;
    case VT_I8:
        f(value.llVal);
        return true;
    case VT_UI8:
        f(value.ullVal);
        return true;
    default:
        return false;
    }
}

std::optional<Integer> ReadInteger(const VARIANT& value)
{
    std::optional<Integer> result;
    VisitIntegerField(value, value.vt, [&result](auto field) {
        if constexpr (std::is_signed_v<decltype(field)>) {
            result = Integer{LONGLONG{field}};
        } else {
            result = Integer{ULONGLONG{field}};
        }
    });
    return result;
}

// Gives result type vt and the value v; false when vt is no integer type or v is out of its range.
bool WriteInteger(const Integer& v, VARTYPE vt, VARIANT& result)
{
    bool inRange = false;
    result.vt = vt;
    const bool isInteger = VisitIntegerField(result, vt, [&v, &inRange](auto& field) {
        using Field = std::remove_reference_t<decltype(field)>;
        inRange = std::visit([](auto x) { return std::in_range<Field>(x); }, v);
        if (inRange) {
            field = std::visit([](auto x) { return static_cast<Field>(x); }, v);
        }
    });
    return isInteger && inRange;
}

// VARIANT_TRUE has all bits set, and so has the number it becomes: -1, or the largest value of
// an unsigned type. False when vt is no integer type.
bool WriteBoolAsInteger(VARIANT_BOOL value, VARTYPE vt, VARIANT& result)
{
    result.vt = vt;
    return VisitIntegerField(result, vt, [value](auto& field) {
        using Field = std::remove_reference_t<decltype(field)>;
        field = value != VARIANT_FALSE ? static_cast<Field>(-1) : Field{0};
    });
}

// Decimal digits with an optional sign and nothing else; null when the text is not all such a
// number or the number does not fit 64 bits.
std::optional<Integer> ParseInteger(BSTR text)
{
    const UINT length = SysStringLen(text);
    std::string narrow;
    narrow.reserve(length);
    for (UINT i = 0; i < length; ++i) {
        if (text[i] > 0x7F) {
            return std::nullopt;
        }
        narrow.push_back(static_cast<char>(text[i]));
    }
    const char* first = narrow.data();
    const char* const last = first + narrow.size();
    const bool negative = first != last && *first == '-';
    if (first != last && (*first == '-' || *first == '+')) {
        ++first;
    }
    // Parsing into an unsigned type accepts digits only, so a second sign is rejected too.
    ULONGLONG magnitude = 0;
    const auto [end, error] = std::from_chars(first, last, magnitude);
    if (error != std::errc{} || end != last) {
        return std::nullopt;
    }
    if (!negative) {
        return Integer{magnitude};
    }
    if (magnitude > ULONGLONG{1} << 63) {
        return std::nullopt;
    }
    return Integer{static_cast<LONGLONG>(0 - magnitude)};
}

BSTR FormatInteger(const Integer& v)
{
    char digits[24];
    const char* const end =
        std::visit([&digits](auto x) { return std::to_chars(digits, digits + sizeof digits, x).ptr; }, v);
    BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(end - digits));
    if (text != nullptr) {
        std::copy<const char*>(digits, end, text);
    }
    return text;
}

// Converts src into result, a fresh value, for a type vt that differs from src's type. VT_BOOL
// converts to and from the integer types only.
HRESULT ConvertInto(const VARIANT& src, VARTYPE vt, VARIANT& result)
{
    if (src.vt == VT_BOOL) {
        return WriteBoolAsInteger(src.boolVal, vt, result) ? S_OK : DISP_E_TYPEMISMATCH;
    }
    const std::optional<Integer> v = src.vt == VT_BSTR ? ParseInteger(src.bstrVal) : ReadInteger(src);
    if (!v.has_value()) {
        return DISP_E_TYPEMISMATCH;
    }
    switch (vt) {
    case VT_BSTR:
        result.vt = VT_BSTR;
        result.bstrVal = FormatInteger(*v);
        return result.bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
    case VT_BOOL:
        if (src.vt == VT_BSTR) {
            return DISP_E_TYPEMISMATCH;
        }
        result.vt = VT_BOOL;
        result.boolVal = std::visit([](auto x) { return x != 0; }, *v) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    default:
        return WriteInteger(*v, vt, result) ? S_OK : DISP_E_TYPEMISMATCH;
    }
}

} // namespace

void VariantInit(VARIANT* value)
{
    value->vt = VT_EMPTY;
    value->wReserved1 = 0;
    value->wReserved2 = 0;
    value->wReserved3 = 0;
    value->llVal = 0;
}

HRESULT VariantClear(VARIANT* value)
{
    if (value == nullptr) {
        return E_INVALIDARG;
    }
    if ((value->vt & VT_ARRAY) != 0) {
        SafeArrayDestroy(value->parray);
    } else if (value->vt == VT_BSTR) {
        SysFreeString(value->bstrVal);
    } else if (value->vt == VT_UNKNOWN && value->punkVal != nullptr) {
        value->punkVal->Release();
    }
    value->vt = VT_EMPTY;
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dst, const VARIANT* src)
{
    if (dst == nullptr || src == nullptr) {
        return E_INVALIDARG;
    }
    if (dst == src) {
        return S_OK;
    }
    // The copy is made first so that dst keeps its value when memory runs out.
    VARIANT copy = *src;
    if ((src->vt & VT_ARRAY) != 0) {
        const HRESULT hr = SafeArrayCopy(src->parray, &copy.parray);
        if (FAILED(hr)) {
            return hr;
        }
    } else if (src->vt == VT_BSTR) {
        if (!CopyBstr(src->bstrVal, &copy.bstrVal)) {
            return E_OUTOFMEMORY;
        }
    } else if (src->vt == VT_UNKNOWN && src->punkVal != nullptr) {
        src->punkVal->AddRef();
    }
    VariantClear(dst);
    *dst = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* dst, const VARIANT* src, USHORT /*flags*/, VARTYPE vt)
{
    if (dst == nullptr || src == nullptr) {
        return E_INVALIDARG;
    }
    if (src->vt == vt) {
        return VariantCopy(dst, src);
    }
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = ConvertInto(*src, vt, result);
    if (FAILED(hr)) {
        return hr;
    }
    // dst may be src, which is only given up once the conversion has succeeded.
    VariantClear(dst);
    *dst = result;
    return S_OK;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG count)
{
    // The upper bound, lowerBound + count - 1, must be a LONG as well.
    if (vt != VT_BSTR || !std::in_range<LONG>(LONGLONG{lowerBound} + count - 1)) {
        return nullptr;
    }
    auto* array = new (std::nothrow) SAFEARRAY{};
    if (array == nullptr) {
        return nullptr;
    }
    if (count != 0) {
        // calloc makes every element a null BSTR, the empty string.
        array->pvData = std::calloc(count, sizeof(BSTR));
        if (array->pvData == nullptr) {
            delete array;
            return nullptr;
        }
    }
    array->cDims = 1;
    array->fFeatures = FadfBstr;
    array->cbElements = sizeof(BSTR);
    array->rgsabound[0] = SAFEARRAYBOUND{count, lowerBound};
    return array;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array)
{
    if (array == nullptr) {
        return S_OK;
    }
    if (!IsBstrVector(array)) {
        return E_INVALIDARG;
    }
    for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
        SysFreeString(Elements(array)[i]);
    }
    std::free(array->pvData);
    delete array;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* array)
{
    return array == nullptr ? 0 : array->cDims;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt)
{
    if (!IsBstrVector(array) || vt == nullptr) {
        return E_INVALIDARG;
    }
    *vt = VT_BSTR;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* bound)
{
    if (!IsBstrVector(array) || bound == nullptr) {
        return E_INVALIDARG;
    }
    if (dimension != 1) {
        return DISP_E_BADINDEX;
    }
    *bound = array->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* bound)
{
    if (!IsBstrVector(array) || bound == nullptr) {
        return E_INVALIDARG;
    }
    if (dimension != 1) {
        return DISP_E_BADINDEX;
    }
    // In range: SafeArrayCreateVector only makes arrays whose upper bound is a LONG.
    *bound = static_cast<LONG>(LONGLONG{array->rgsabound[0].lLbound} + array->rgsabound[0].cElements - 1);
    return S_OK;
}

// value is the BSTR to store; a null BSTR, the platform's empty string, is stored as null.
HRESULT SafeArrayPutElement(SAFEARRAY* array, const LONG* indices, void* value)
{
    if (!IsBstrVector(array) || indices == nullptr) {
        return E_INVALIDARG;
    }
    BSTR* element = ElementAt(array, indices[0]);
    if (element == nullptr) {
        return DISP_E_BADINDEX;
    }
    // Copied before the old string is freed, so that storing an element into itself works.
    BSTR copy = nullptr;
    if (!CopyBstr(static_cast<BSTR>(value), &copy)) {
        return E_OUTOFMEMORY;
    }
    SysFreeString(*element);
    *element = copy;
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, const LONG* indices, void* value)
{
    if (!IsBstrVector(array) || indices == nullptr || value == nullptr) {
        return E_INVALIDARG;
    }
    BSTR* element = ElementAt(array, indices[0]);
    if (element == nullptr) {
        return DISP_E_BADINDEX;
    }
    return CopyBstr(*element, static_cast<BSTR*>(value)) ? S_OK : E_OUTOFMEMORY;
}

HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy)
{
    if (copy == nullptr) {
        return E_INVALIDARG;
    }
    *copy = nullptr;
    if (array == nullptr) {
        return S_OK;
    }
    if (!IsBstrVector(array)) {
        return E_INVALIDARG;
    }
    SAFEARRAY* result = SafeArrayCreateVector(VT_BSTR, array->rgsabound[0].lLbound, array->rgsabound[0].cElements);
    if (result == nullptr) {
        return E_OUTOFMEMORY;
    }
    for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
        if (!CopyBstr(Elements(array)[i], &Elements(result)[i])) {
            SafeArrayDestroy(result);
            return E_OUTOFMEMORY;
        }
    }
    *copy = result;
    return S_OK;
}
