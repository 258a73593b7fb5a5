// libFuzzer target: an item comes back exactly when the writer calls it writable.
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
    const QString failure = FuzzHarness::checkWritable(
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "fuzz_writable: %s\n", failure.toUtf8().constData());
        std::abort();
    }
    return 0;
}
