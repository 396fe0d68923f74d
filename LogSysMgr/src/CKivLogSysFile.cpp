// The trace log reader: encoding, line search, line parsing and the load loop with progress.
#include "CKivLogSysFile.h"

#include "EngineLog.h"

#include "KivObject/ComPtr.h"

#include "KivPlatform/Boundary.h"

#include "KivPlatform/Text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <mutex>

using Kiv::CComPtr;
using Kiv::Platform::IsAnsiLeadByte;
using Kiv::Platform::PrivateMemory;

namespace {

constexpr LPCWSTR Subject = u"CKivLogSysFile";

// The code page 932 byte pairs of the structural characters: a pair starts with this byte and
// its second byte tells which character it is.
constexpr BYTE StructuralLeadByte = 0x84;
constexpr BYTE IndentSecondByte = 0xA0; // "│"
constexpr BYTE EnterSecondByte = 0xA1;  // "┌"
constexpr BYTE ReturnSecondByte = 0xA4; // "└"

enum class Encoding { Ansi, Utf8, Utf16 };

Encoding DetectEncoding(const BYTE* p, std::size_t n)
{
    if (n >= 4 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        return Encoding::Utf8;
    }
    if (n >= 3 && p[0] == 0xFF && p[1] == 0xFE) {
        return Encoding::Utf16;
    }
    return Encoding::Ansi;
}

// The header's decimal field at offset: each character counts as its distance from "0",
// unvalidated, so damaged digits give (wrapped) numbers rather than a refusal.
WORD DecimalField(const BYTE* p, std::size_t offset, std::size_t digits)
{
    int value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        value = value * 10 + (static_cast<int>(p[offset + i]) - '0');
    }
    return static_cast<WORD>(value);
}

// The header's eight-character thread identifier, most significant first: a character at or
// above "A" counts as its distance from "A" plus ten, any other as its distance from "0".
DWORD ThreadIdField(const BYTE* p)
{
    DWORD value = 0;
    for (std::size_t i = 1; i <= 8; ++i) {
        const DWORD c = p[i];
        value = value * 16 + (c >= 'A' ? c - 'A' + 10 : c - '0');
    }
    return value;
}

// The thread objects that lines go to. The root gives the same thread object for an identifier
// every time, so the ones asked for last are remembered, a few per slot of a small table: a trace
// switches between a handful of threads line by line, and a trace of a million threads costs the
// loader no memory per thread.
class CThreadCache {
public:
    explicit CThreadCache(IKivLogSysRoot* root) : m_root(root) {}

    // Files one line into the thread object of its identifier. A root that gives no thread
    // object, or a thread that refuses the line (one deeper than its open calls), drops the
    // line. E_OUTOFMEMORY when the model could not take the line for lack of memory: the model
    // would be missing lines, so the load cannot go on.
    HRESULT AddLine(const KivLogSysLineInfo& record)
    {
        Entry& entry = m_entries[Slot(record.threadId)];
        if (!entry.known || entry.threadId != record.threadId) {
            CComPtr<IKivLogSysThreadEdit> found;
            if (Find(record.threadId, found) == E_OUTOFMEMORY) {
                return E_OUTOFMEMORY;
            }
            // A root that gave no thread object is asked again for the next line.
            entry.known = static_cast<bool>(found);
            entry.edit = std::move(found);
            entry.threadId = record.threadId;
        }
        if (entry.edit && entry.edit->AddLine(&record) == E_OUTOFMEMORY) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

private:
    struct Entry {
        DWORD threadId = 0;
        bool known = false;
        CComPtr<IKivLogSysThreadEdit> edit; // null when the root gave none
    };

    static std::size_t Slot(DWORD threadId) { return (threadId * 0x9E3779B1u) >> (32 - SlotBits); }

    // The thread object of the identifier, or null when the root gives none; the root's status.
    HRESULT Find(DWORD threadId, CComPtr<IKivLogSysThreadEdit>& found)
    {
        CComPtr<IKivLogSysThread> thread;
        if (m_root == nullptr) {
            return S_OK;
        }
        if (const HRESULT hr = m_root->GetLogThread(threadId, IID_PPV_ARGS(&thread)); FAILED(hr) || !thread) {
            return hr;
        }
        thread.QueryInterface(&found);
        return S_OK;
    }

    static constexpr unsigned SlotBits = 6;
    IKivLogSysRoot* m_root;
    std::array<Entry, std::size_t{1} << SlotBits> m_entries;
};

// Drops everything a cancelled load has built.
void RemoveAllItems(IKivLogSysRoot* root)
{
    CComPtr<IKivLogSysRootEdit> edit;
    if (root != nullptr && SUCCEEDED(root->QueryInterface(IID_PPV_ARGS(&edit))) && edit) {
        edit->RemoveAllItems();
    }
}

// Whether any byte of the word equals b.
constexpr bool HasByte(std::uint64_t word, BYTE b)
{
    constexpr std::uint64_t ones = 0x0101010101010101u;
    const std::uint64_t x = word ^ (ones * b);
    return ((x - ones) & ~x & (ones * 0x80)) != 0;
}

// Sixteen bytes, handled at once by the processor's vector unit where it has one.
using ByteVector = BYTE __attribute__((vector_size(16)));

// The number of bytes at the start of the sixteen at p that can go on a run of plain ASCII in a
// line, that is before the first CR, LF or byte from 0x80 (lead bytes among them); 16 when none.
std::size_t PlainLineBytes(const BYTE* p)
{
    ByteVector bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    using SignedVector = signed char __attribute__((vector_size(16)));
    const auto stops = (reinterpret_cast<SignedVector>(bytes) < 0) | (bytes == '\r') | (bytes == '\n');
    std::uint64_t halves[2];
    std::memcpy(halves, &stops, sizeof halves);
    // Each stop is a byte of all ones; in memory order the first of them decides. A half without
    // one counts as eight bytes, so no branch depends on where in the sixteen the stop lies.
    const auto bytesBefore = [](std::uint64_t half) {
        const int zeroBits =
            std::endian::native == std::endian::little ? std::countr_zero(half) : std::countl_zero(half);
        return static_cast<std::size_t>(zeroBits) / 8;
    };
    const std::size_t first = bytesBefore(halves[0]);
    return first < 8 ? first : 8 + bytesBefore(halves[1]);
}

// The length of the line at p: up to its first CR or LF, at most MaxLineLength bytes (one more
// where a double-byte character straddles the limit), never past the data (a lead byte that is
// the last byte of the data counts as one byte). Runs of plain ASCII bytes, which can be neither
// lead bytes nor line ends, are stepped over sixteen at a time, straight to the byte that ends them.
std::size_t MeasureLine(const BYTE* p, std::size_t n)
{
    std::size_t length = 0;
    const std::size_t limit = std::min(n, CKivLogSysFile::MaxLineLength);
    while (length < limit) {
        if (length + sizeof(ByteVector) <= limit) {
            const std::size_t plain = PlainLineBytes(p + length);
            length += plain;
            if (plain == sizeof(ByteVector)) {
                continue;
            }
        }
        const BYTE c = p[length];
        if (IsAnsiLeadByte(c)) {
            // Double-byte characters come in runs (the indentation is one): the run is walked
            // here rather than by a vector compare for each of its characters.
            do {
                length += 2;
            } while (length < limit && IsAnsiLeadByte(p[length]));
        } else if (c == '\r' || c == '\n') {
            break;
        } else {
            ++length;
        }
    }
    return std::min(length, n);
}

// Whether the HeaderLength bytes at p have a header's brackets and punctuation; the digit
// positions are not examined.
bool IsLineHeader(const BYTE* p)
{
    return p[0] == '[' && p[9] == ']' && p[10] == '[' && p[15] == '/' && p[18] == '/' && p[21] == '(' &&
           p[24] == ':' && p[27] == ':' && p[30] == '.' && p[34] == ')' && p[35] == ']';
}

// The first position from i (before end) whose byte is "[" or from 0x80, else end; the bytes
// stepped over can neither start a header nor be lead bytes.
std::size_t SkipPlainBytes(const BYTE* p, std::size_t i, std::size_t end)
{
    constexpr std::uint64_t highBits = 0x8080808080808080u;
    while (i + 8 <= end) {
        std::uint64_t word;
        std::memcpy(&word, p + i, sizeof word);
        if ((word & highBits) != 0 || HasByte(word, '[')) {
            break;
        }
        i += 8;
    }
    while (i < end && p[i] < 0x80 && p[i] != '[') {
        ++i;
    }
    return i;
}

} // namespace

CKivLogSysFile::~CKivLogSysFile()
{
    Close();
}

HRESULT CKivLogSysFile::OpenFile(LPCWSTR path)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFile::OpenFile", hr, E_FAIL);
    KIV_ENGINE_TRACE(Subject, u"szPath = %s", path);
    if (path == nullptr) {
        KIV_ENGINE_TRACE(Subject, u"Open Failed!");
        return hr;
    }
    PrivateMemory content;
    switch (Kiv::Platform::ReadWholeFile(path, content)) {
    case Kiv::Platform::ReadFileResult::Ok:
        hr = OpenContent(std::move(content));
        break;
    case Kiv::Platform::ReadFileResult::OpenFailed:
        KIV_ENGINE_TRACE(Subject, u"Open Failed!");
        break;
    case Kiv::Platform::ReadFileResult::NotRegularFile:
        KIV_ENGINE_TRACE(Subject, u"Open Failed! Not a regular file.");
        break;
    case Kiv::Platform::ReadFileResult::OutOfMemory:
        KIV_ENGINE_TRACE(Subject, u"CreateFileMapping Failed!");
        hr = E_OUTOFMEMORY;
        break;
    case Kiv::Platform::ReadFileResult::ReadFailed:
        KIV_ENGINE_TRACE(Subject, u"MapViewOfFile Failed!");
        break;
    }
    return hr;
}

HRESULT CKivLogSysFile::OpenContent(PrivateMemory content)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFile::OpenContent", hr, E_FAIL);
    m_content = std::move(content);
    if (DetectEncoding(GetData(), GetDataSize()) != Encoding::Ansi) {
        if (hr = ConvertToAnsi(); FAILED(hr)) {
            return hr;
        }
    }
    m_content.MakeReadOnly();

    // A file with no trace line header anywhere is refused.
    const BYTE* p = GetData();
    std::size_t n = GetDataSize();
    SeekStartPosition(p, n);
    if (n == 0) {
        KIV_ENGINE_TRACE(Subject, u"dwSize < 0");
        hr = E_FAIL;
        return hr;
    }
    hr = S_OK;
    return hr;
}

HRESULT CKivLogSysFile::ConvertToAnsi()
{
    const BYTE* data = GetData();
    const std::size_t size = GetDataSize();
    const bool utf8 = DetectEncoding(data, size) == Encoding::Utf8;

    // Measure, allocate, convert; a conversion that gives nothing is a failure.
    auto convert = [&](char* dst, std::size_t capacity) {
        if (utf8) {
            return Kiv::Platform::Utf8ToAnsi(reinterpret_cast<const char*>(data + 3), size - 3, dst, capacity);
        }
        // The content is page-aligned, so the UTF-16 text after the two-byte mark is aligned.
        return Kiv::Platform::Utf16ToAnsi(reinterpret_cast<const char16_t*>(data + 2), (size - 2) / 2, dst,
                                          capacity);
    };
    const std::size_t ansiLength = convert(nullptr, 0);
    if (ansiLength == 0) {
        return E_FAIL;
    }
    PrivateMemory converted;
    if (!converted.Allocate(ansiLength)) {
        KIV_ENGINE_TRACE(Subject, u"CreateFileMapping Failed!");
        return E_OUTOFMEMORY;
    }
    if (convert(reinterpret_cast<char*>(converted.Data()), converted.Size()) == 0) {
        return E_FAIL;
    }
    m_content = std::move(converted);
    return S_OK;
}

bool CKivLogSysFile::CheckEnableLineHeader(const BYTE* p, std::size_t n)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFile::CheckEnableLineHeader", enabled, false);
    enabled = n >= HeaderLength && IsLineHeader(p);
    return enabled;
}

HRESULT CKivLogSysFile::SeekStartPosition(const BYTE*& p, std::size_t& n)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFile::SeekStartPosition", hr, S_OK);
    // A double-byte character is never the start of a header: its lead byte takes the next byte
    // with it. Any other byte is one step. Only "[" can start a header, and only bytes from 0x80
    // can be lead bytes, so runs of other bytes are stepped over a word at a time; within the
    // last HeaderLength bytes no header fits, and the stepping would end at the end anyway.
    std::size_t i = 0;
    while (n - i >= HeaderLength) {
        const BYTE c = p[i];
        if (c < 0x80 && c != '[') {
            i = SkipPlainBytes(p, i, n - HeaderLength + 1);
        } else if (IsAnsiLeadByte(c)) {
            i += 2;
        } else if (c == '[' && IsLineHeader(p + i)) {
            break;
        } else {
            ++i;
        }
    }
    if (n - i < HeaderLength) {
        i = n;
    }
    p += i;
    n -= i;
    return hr;
}

HRESULT CKivLogSysFile::ReadLine(const BYTE* p, KivLogSysLineInfo* record, std::size_t n, std::size_t* consumed)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFile::ReadLine", hr, E_FAIL);
    if (record == nullptr || consumed == nullptr) {
        hr = E_INVALIDARG;
        return hr;
    }
    if (!CheckEnableLineHeader(p, n)) {
        return hr;
    }

    const std::size_t length = MeasureLine(p, n);

    record->threadId = ThreadIdField(p);
    record->time.wYear = DecimalField(p, 11, 4);
    record->time.wMonth = DecimalField(p, 16, 2);
    record->time.wDay = DecimalField(p, 19, 2);
    record->time.wHour = DecimalField(p, 22, 2);
    record->time.wMinute = DecimalField(p, 25, 2);
    record->time.wSecond = DecimalField(p, 28, 2);
    record->time.wMilliseconds = DecimalField(p, 31, 3);

    // The indentation run of "│" pairs, then at most one marker, which ends the run.
    WORD depth = 0;
    WORD kind = KivLogSysLineKind::Text;
    std::size_t offset = HeaderLength;
    while (offset + 2 <= length && p[offset] == StructuralLeadByte) {
        const BYTE second = p[offset + 1];
        if (second == IndentSecondByte) {
            ++depth;
            offset += 2;
        } else {
            if (second == EnterSecondByte) {
                kind = KivLogSysLineKind::Enter;
                offset += 2;
            } else if (second == ReturnSecondByte) {
                kind = KivLogSysLineKind::Return;
                offset += 2;
            }
            break;
        }
    }
    record->depth = depth;
    record->kind = kind;

    // A line end inside the header makes the line shorter than its header: it reads as a line
    // with empty text rather than a negative length.
    offset = std::min(offset, length);
    record->text = reinterpret_cast<const char*>(p + offset);
    record->textLength = static_cast<LONG>(length - offset);

    // The first line-end byte goes with the line; a second one (the LF of CR LF) is left for
    // the search for the next header.
    *consumed = std::min(length + 1, n);
    hr = S_OK;
    return hr;
}

HRESULT CKivLogSysFile::LoadLog(IKivLogSysRoot* root, IKivLogSysMgr_LoadProgress* sink)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFile::LoadLog", result, LoadCompleted);
    {
        std::lock_guard lock(m_lock);
        m_cancel = 0;
    }
    Report(sink, KivLogSysLoadProgress::Start, 0);

    // The model may throw std::bad_alloc as well as report E_OUTOFMEMORY.
    const HRESULT read = Kiv::Platform::StatusFromExceptions([&] { return ReadLines(root, sink); });
    if (FAILED(read)) {
        // A model that lacks lines would pass for the file's model, so what was built goes.
        RemoveAllItems(root);
        KIV_ENGINE_TRACE(Subject, u"Load failed.");
    }

    const bool cancelled = m_cancel != 0;
    if (sink != nullptr) {
        if (SUCCEEDED(read) && !cancelled) {
            KIV_ENGINE_TRACE(Subject, u"Complete.");
            Report(sink, KivLogSysLoadProgress::Progress, 100);
        }
        Report(sink, KivLogSysLoadProgress::Finished, SUCCEEDED(read) ? 0 : read);
    }
    result = FAILED(read) ? read : cancelled ? LoadCancelled : LoadCompleted;
    return result;
}

HRESULT CKivLogSysFile::ReadLines(IKivLogSysRoot* root, IKivLogSysMgr_LoadProgress* sink)
{
    // One record, reused for every line, so that the line number counts on.
    KivLogSysLineInfo record{};
    record.cbSize = sizeof(record);
    const BYTE* p = GetData();
    const std::size_t size = GetDataSize();
    std::size_t n = size;
    ULONGLONG lastPercent = 0;
    CThreadCache threads(root);
    while (n > 0) {
        SeekStartPosition(p, n);
        if (n == 0) {
            break;
        }
        std::size_t consumed = 0;
        if (FAILED(ReadLine(p, &record, n, &consumed))) {
            break;
        }
        ++record.lineNumber;
        if (const HRESULT hr = threads.AddLine(record); FAILED(hr)) {
            return hr;
        }
        p += consumed;
        n -= consumed;

        // Progress and the stop request are looked at only when the percentage rises, so that
        // neither costs anything per line.
        const ULONGLONG percent = std::min<ULONGLONG>(static_cast<ULONGLONG>(size - n) * 100 / size, 99);
        if (percent > lastPercent) {
            lastPercent = percent;
            if (sink != nullptr) {
                KIV_ENGINE_TRACE(Subject, u"Please loading wait... %d%%", static_cast<int>(percent));
                Report(sink, KivLogSysLoadProgress::Progress, static_cast<LONG>(percent));
            }
            std::lock_guard lock(m_lock);
            if (m_cancel != 0) {
                RemoveAllItems(root);
                KIV_ENGINE_TRACE(Subject, u"Cansel..");
                break;
            }
        }
    }
    return S_OK;
}

void CKivLogSysFile::RequestStop()
{
    std::lock_guard lock(m_lock);
    m_cancel = 1;
}

HRESULT CKivLogSysFile::Close()
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFile::Close", hr, S_OK);
    m_content.Free();
    return hr;
}

void CKivLogSysFile::Report(IKivLogSysMgr_LoadProgress* sink, LONG kind, LONG value)
{
    if (sink != nullptr) {
        sink->OnKivLogSysMgr_LoadProgress(kind, value);
    }
}
