// Fuzz target of the trace log reader: any bytes, in any of the three encodings, must load
// without reading or writing outside the text, and every record must describe bytes inside it.
// Built as a libFuzzer target by `make fuzz`; the stored corpus is replayed by the tests.
#include "CKivLogSysFile.h"

#include "LoadDoubles.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "reader invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Kiv::Platform::PrivateMemory content;
    if (!content.Allocate(size)) {
        return 0;
    }
    if (size > 0) {
        std::memcpy(content.Data(), data, size);
    }
    CKivLogSysFile file;
    if (FAILED(file.OpenContent(std::move(content)))) {
        return 0;
    }
    const char* begin = reinterpret_cast<const char*>(file.GetData());
    const char* end = begin + file.GetDataSize();

    auto root = KivTest::MakeDouble<KivTest::CFakeRoot>();
    LONG lastLineNumber = 0;
    root->m_observer = [&](const KivLogSysLineInfo& info) {
        Require(info.cbSize == sizeof(KivLogSysLineInfo), "record size");
        Require(info.lineNumber == lastLineNumber + 1, "line numbers count up by one");
        Require(info.textLength >= 0, "text length is not negative");
        Require(info.textLength <= 1025 - 36, "text length within the line limit");
        Require(info.text >= begin && info.text + info.textLength <= end, "text inside the data");
        Require(info.kind <= KivLogSysLineKind::Return, "kind");
        lastLineNumber = info.lineNumber;
    };
    auto sink = KivTest::MakeDouble<KivTest::CRecordingSink>();
    Require(file.LoadLog(root, sink) == CKivLogSysFile::LoadCompleted, "load completes");
    Require(lastLineNumber >= 1, "an opened file holds at least one trace line");

    const auto& reports = sink->m_reports;
    Require(reports.size() >= 3 && reports.front() == std::make_pair(0, 0), "first report");
    Require(reports[reports.size() - 2] == std::make_pair(1, 100) && reports.back() == std::make_pair(2, 0),
            "last reports");
    for (std::size_t i = 2; i + 2 < reports.size(); ++i) {
        Require(reports[i].second > reports[i - 1].second, "percentages rise");
    }
    return 0;
}
