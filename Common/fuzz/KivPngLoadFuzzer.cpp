// Fuzz target of PNG loading from memory: any bytes must load or be refused with a status,
// without reading outside them or writing outside the image. Built as a libFuzzer target by
// `make fuzz`; the stored corpus is replayed by the tests.
#include "ImageFuzzSupport.h"

#include "KivImageDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    KivImageFuzz::LoadAndCheck(data, size, [](const std::uint8_t* bytes, std::size_t count, Kiv::CKivImageStream& stream) {
        return Kiv::LoadPng(bytes, count, stream);
    });
    return 0;
}
