// Helpers of the HTTP message tests: the error reports and trace lines this process has written
// (KivCommon writes both beside the test program, as its settings file there asks), and small
// conversions. Single-threaded use.
#pragma once

#include "KivCommon/KivCommon.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"

#include <memory>
#include <string>
#include <vector>

namespace KivHttpTest {

// The error reports of this process written since construction, each as "[file(operation)]
// message" (time, process id and line number left out).
class CNewReports {
public:
    CNewReports();
    std::vector<std::string> Get() const;

private:
    std::size_t m_earlier;
};

// The trace lines of the calling thread in KivCommon's trace files, UTF-8, without their header
// and indentation.
std::vector<std::string> TraceLinesOfThisThread();

// Bytes of a text, held in a buffer of exactly their size, so that a read past them is caught.
class CExactBytes {
public:
    explicit CExactBytes(const std::string& text);
    const BYTE* Data() const { return m_bytes.get(); }
    LONG Size() const { return m_size; }

private:
    std::unique_ptr<BYTE[]> m_bytes;
    LONG m_size;
};

std::string Text(Kiv::IKivDataMarker* marker);
std::string Text(const BYTE* data, LONG size);
Kiv::CComBSTR Bstr(const char* ascii);
std::string Utf8(const Kiv::CComBSTR& text);

// A built header line (its creation is expected to succeed).
Kiv::CComPtr<Kiv::IKivHeaderLineEx> NewHeader(const char* name, const char* value);
// The pieces of a header line's value; none when GetParam fails. Empty pieces are "".
std::vector<std::string> Pieces(Kiv::IKivHeaderLine* header);

} // namespace KivHttpTest
