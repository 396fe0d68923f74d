// Helpers of the viewer's Qt tests that write small trace files and load them: trace lines as the
// writer makes them (with the code page 932 pairs of "│", "┌" and "└") and a file loaded at once
// through its own engine. User-interface thread.
#pragma once

#include "CKivLogFile.h"

#include "KivPlatform/Time.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace KivViewTest {

// The code page 932 pairs of "┌" and "└" that mark entry and return lines.
inline constexpr std::string_view EnterMark = "\x84\xA1";
inline constexpr std::string_view ReturnMark = "\x84\xA4";

// One trace line with the given stamp (any field values, also ones no calendar has).
inline std::string StampedLine(DWORD threadId, const SYSTEMTIME& time, int depth, std::string_view marker,
                               std::string_view text)
{
    char header[64];
    std::snprintf(header, sizeof header, "[%08X][%04d/%02d/%02d(%02d:%02d:%02d.%03d)]", static_cast<unsigned>(threadId),
                  time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
    std::string line = header;
    for (int i = 0; i < depth; ++i) {
        line += "\x84\xA0";
    }
    return line + std::string(marker) + " " + std::string(text) + "\r\n";
}
// A message line of depth 0 with its own stamp, written as "2026/12/09(12:00:00.050)".
inline std::string StampedLine(DWORD threadId, std::string_view stamp, std::string_view text)
{
    char header[16];
    std::snprintf(header, sizeof header, "[%08X]", static_cast<unsigned>(threadId));
    return header + ("[" + std::string(stamp) + "] " + std::string(text) + "\r\n");
}
// One trace line stamped 2026/12/09 10:00:00 plus ms milliseconds.
inline std::string Line(DWORD threadId, int depth, std::string_view marker, std::string_view text, int ms = 0)
{
    const SYSTEMTIME time{2026, 12, 0, 9, 10, 0, 0, static_cast<WORD>(ms)};
    return StampedLine(threadId, time, depth, marker, text);
}
inline std::string EnterLine(DWORD threadId, int depth, std::string_view name)
{
    return Line(threadId, depth, EnterMark, std::string(name) + "()");
}
inline std::string ReturnLine(DWORD threadId, int depth, std::string_view name)
{
    return Line(threadId, depth, ReturnMark, std::string(name) + "()");
}
inline std::string MessageLine(DWORD threadId, int depth, std::string_view text)
{
    return Line(threadId, depth, "", text);
}

inline QString ToQString(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

// A file with its engine, loaded at once; expectLoaded says whether the load must succeed.
inline std::unique_ptr<CKivLogFile> LoadFile(const QString& path, bool expectLoaded = true)
{
    auto file = std::make_unique<CKivLogFile>(path);
    const HRESULT status = file->GetLogSysMgr()->LoadLogFile(reinterpret_cast<LPCWSTR>(path.utf16()), 0);
    if (SUCCEEDED(status) != expectLoaded) {
        qWarning("LoadLogFile of %s gave 0x%08X", qPrintable(path), static_cast<unsigned>(status));
        return nullptr;
    }
    return file;
}

} // namespace KivViewTest
