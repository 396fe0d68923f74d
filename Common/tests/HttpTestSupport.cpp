#include "HttpTestSupport.h"

#include "KivPlatform/FileSystem.h"
#include "KivPlatform/ModulePath.h"
#include "KivPlatform/TaskMem.h"
#include "KivPlatform/Text.h"
#include "KivPlatform/Threading.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace KivHttpTest {

namespace {

std::filesystem::path ProgramFolder()
{
    return std::filesystem::path(Kiv::Platform::Utf16ToUtf8(Kiv::Platform::GetExecutablePath())).parent_path();
}

std::vector<std::string> Lines(const std::filesystem::path& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// This process's report lines of the error log and its backup: "[time][pid][line][...] ...".
std::vector<std::string> ReportsOfThisProcess()
{
    char pid[32];
    std::snprintf(pid, sizeof pid, "][%X][", static_cast<unsigned>(GetCurrentProcessId()));
    std::vector<std::string> reports;
    for (const char* name : {"Kiv.log.bak", "Kiv.log"}) {
        for (const std::string& line : Lines(ProgramFolder() / name)) {
            const std::size_t at = line.find(pid);
            if (at == std::string::npos) {
                continue;
            }
            // Past the process id and the line number.
            const std::size_t rest = line.find("][", at + std::strlen(pid));
            if (rest != std::string::npos) {
                reports.push_back(line.substr(rest + 1));
            }
        }
    }
    return reports;
}

} // namespace

CNewReports::CNewReports() : m_earlier(ReportsOfThisProcess().size()) {}

std::vector<std::string> CNewReports::Get() const
{
    std::vector<std::string> reports = ReportsOfThisProcess();
    reports.erase(reports.begin(), reports.begin() + static_cast<std::ptrdiff_t>(std::min(m_earlier, reports.size())));
    return reports;
}

std::vector<std::string> TraceLinesOfThisThread()
{
    char thread[16];
    std::snprintf(thread, sizeof thread, "[%08X]", static_cast<unsigned>(GetCurrentThreadId()));
    const std::string indent = "\xE2\x94\x82"; // "│" in UTF-8
    constexpr std::size_t headerLength = 36;
    std::vector<std::string> lines;
    const std::filesystem::path folder = ProgramFolder() / "trace";
    if (!std::filesystem::exists(folder)) {
        return lines;
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        for (const std::string& line : Lines(entry.path())) {
            if (line.size() <= headerLength || line.compare(0, 10, thread) != 0) {
                continue;
            }
            std::string body = Kiv::Platform::AnsiToUtf8(line.substr(headerLength));
            while (body.compare(0, indent.size(), indent) == 0) {
                body.erase(0, indent.size());
            }
            lines.push_back(body);
        }
    }
    return lines;
}

CExactBytes::CExactBytes(const std::string& text)
    : m_bytes(new BYTE[text.empty() ? 1 : text.size()]), m_size(static_cast<LONG>(text.size()))
{
    std::memcpy(m_bytes.get(), text.data(), text.size());
}

std::string Text(const BYTE* data, LONG size)
{
    return size > 0 ? std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size)) : std::string();
}

std::string Text(Kiv::IKivDataMarker* marker)
{
    const BYTE* data = nullptr;
    LONG size = 0;
    return SUCCEEDED(marker->GetData(&data, &size)) ? Text(data, size) : std::string("<empty>");
}

Kiv::CComBSTR Bstr(const char* ascii)
{
    return Kiv::CComBSTR(Kiv::Platform::Utf8ToUtf16(ascii));
}

std::string Utf8(const Kiv::CComBSTR& text)
{
    return Kiv::Platform::Utf16ToUtf8(text.View());
}

Kiv::CComPtr<Kiv::IKivHeaderLineEx> NewHeader(const char* name, const char* value)
{
    Kiv::CComPtr<Kiv::IKivHeaderLineEx> header(Kiv::GetHttpUtil()->CreateHeaderLineEx());
    EXPECT_EQ(header->CreateHeaderLine(Bstr(name), Bstr(value)), S_OK);
    return header;
}

std::vector<std::string> Pieces(Kiv::IKivHeaderLine* header)
{
    Kiv::IKivDataMarker** values = nullptr;
    LONG count = 0;
    std::vector<std::string> pieces;
    if (FAILED(header->GetParam(&values, &count))) {
        return pieces;
    }
    for (LONG i = 0; i < count; ++i) {
        pieces.push_back(values[i]->IsEmpty() ? std::string() : Text(values[i]));
        values[i]->Release();
    }
    CoTaskMemFree(values);
    return pieces;
}

} // namespace KivHttpTest
