// printf-style formatting of trace messages over typed arguments.
#include "KivLog/Format.h"

#include "KivPlatform/Text.h"

namespace Kiv::Log {

namespace {

// One conversion: %[flags][width][.precision][size]type.
struct Spec {
    bool leftAlign = false;
    bool zeroPad = false;
    std::size_t width = 0;
    bool hasPrecision = false;
    std::size_t precision = 0;
    char16_t type = 0;
};

void AppendAscii(std::u16string& out, const char* text)
{
    for (; *text != '\0'; ++text) {
        out += static_cast<char16_t>(static_cast<unsigned char>(*text));
    }
}

std::u16string Digits(unsigned long long value, unsigned base, bool upper)
{
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::u16string text;
    do {
        text.insert(text.begin(), static_cast<char16_t>(digits[value % base]));
        value /= base;
    } while (value != 0);
    return text;
}

// The text of one conversion before padding.
std::u16string Convert(const Spec& spec, const FormatArg* arg, bool& isNumber)
{
    isNumber = false;
    switch (spec.type) {
    case u'd':
    case u'i': {
        if (arg == nullptr) {
            return {};
        }
        isNumber = true;
        const auto value = static_cast<std::int32_t>(arg->Signed());
        const auto magnitude = static_cast<unsigned long long>(value < 0 ? -static_cast<long long>(value) : value);
        return (value < 0 ? u"-" : u"") + Digits(magnitude, 10, false);
    }
    case u'u':
    case u'x':
    case u'X':
        if (arg == nullptr) {
            return {};
        }
        isNumber = true;
        return Digits(static_cast<std::uint32_t>(arg->Unsigned()), spec.type == u'u' ? 10 : 16, spec.type == u'X');
    case u'p':
        if (arg == nullptr) {
            return {};
        }
        isNumber = true;
        return Digits(arg->Unsigned(), 16, true);
    case u'c':
        if (arg == nullptr) {
            return {};
        }
        return std::u16string(1, static_cast<char16_t>(arg->Unsigned()));
    case u's':
    case u'S': {
        std::u16string text;
        if (arg != nullptr && arg->Wide() != nullptr) {
            text = arg->Wide();
        } else if (arg != nullptr && arg->Ansi() != nullptr) {
            text = Platform::AnsiToUtf16(arg->Ansi());
        } else {
            AppendAscii(text, "(null)");
        }
        if (spec.hasPrecision && text.size() > spec.precision) {
            text.resize(spec.precision);
        }
        return text;
    }
    default:
        return {};
    }
}

} // namespace

std::u16string FormatMessage(std::u16string_view format, std::initializer_list<FormatArg> args)
{
    std::u16string out;
    const FormatArg* nextArg = args.begin();
    std::size_t i = 0;
    while (i < format.size() && out.size() < MaxMessageLength) {
        const char16_t c = format[i++];
        if (c != u'%') {
            out += c;
            continue;
        }
        if (i < format.size() && format[i] == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        Spec spec;
        for (; i < format.size() && (format[i] == u'-' || format[i] == u'0'); ++i) {
            (format[i] == u'-' ? spec.leftAlign : spec.zeroPad) = true;
        }
        for (; i < format.size() && format[i] >= u'0' && format[i] <= u'9'; ++i) {
            spec.width = std::min<std::size_t>(spec.width * 10 + (format[i] - u'0'), MaxMessageLength);
        }
        if (i < format.size() && format[i] == u'.') {
            spec.hasPrecision = true;
            for (++i; i < format.size() && format[i] >= u'0' && format[i] <= u'9'; ++i) {
                spec.precision = std::min<std::size_t>(spec.precision * 10 + (format[i] - u'0'), MaxMessageLength);
            }
        }
        for (; i < format.size() && (format[i] == u'l' || format[i] == u'h'); ++i) {
        }
        if (i == format.size()) {
            break; // a conversion cut short formats as nothing
        }
        spec.type = format[i++];

        const FormatArg* arg = nextArg != args.end() ? nextArg++ : nullptr;
        bool isNumber = false;
        std::u16string text = Convert(spec, arg, isNumber);
        if (text.size() < spec.width) {
            const std::size_t pad = spec.width - text.size();
            if (spec.leftAlign) {
                text.append(pad, u' ');
            } else if (spec.zeroPad && isNumber) {
                text.insert(text[0] == u'-' ? 1 : 0, pad, u'0');
            } else {
                text.insert(0, pad, u' ');
            }
        }
        out += text;
    }
    if (out.size() > MaxMessageLength) {
        out.resize(MaxMessageLength);
    }
    return out;
}

} // namespace Kiv::Log
