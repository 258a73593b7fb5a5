// libFuzzer target: the import reader on hostile page files.
#include "FuzzHarness.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzHarness::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString failure = FuzzHarness::checkReader(
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "fuzz_reader: %s\n", failure.toUtf8().constData());
        std::abort();
    }
    return 0;
}
