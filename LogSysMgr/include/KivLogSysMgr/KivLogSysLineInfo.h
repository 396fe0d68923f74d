// The record of one parsed trace line, shared by the engine and its callers. A record's text
// points into the memory of the engine that read it and is valid while that engine lives.
#pragma once

#include "KivPlatform/Time.h"
#include "KivPlatform/Types.h"

// The kinds of trace line (KivLogSysLineInfo::kind), in a scope of their own so that these
// common words stay out of the callers' global names: KivLogSysLineKind::Enter and so on.
namespace KivLogSysLineKind {
enum Kind : WORD {
    Enter = 0,  // a method entry line ("┌")
    Text = 1,   // any other line
    Return = 2, // a method return line ("└")
};
} // namespace KivLogSysLineKind

struct KivLogSysLineInfo {
    DWORD cbSize;        // size of the record in bytes; lets a receiver reject another layout
    DWORD threadId;      // writing thread's identifier, from the header
    SYSTEMTIME time;     // local time stamp from the header; the day of week is not read (0)
    LONG lineNumber;     // 1-based number of the trace line in its file (skipped text not counted)
    const char* text;    // first byte after the indentation and marker; not terminated
    LONG textLength;     // bytes of text up to, not including, the line end
    WORD depth;          // number of "│" marks in the indentation
    WORD kind;           // a KivLogSysLineKind
};
