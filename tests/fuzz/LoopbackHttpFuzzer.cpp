// What a child server sends back over the loopback connection: status line, headers, a body by length, by
// chunks or up to the end of the connection.
#include "FuzzSupport.h"
#include "engines/LoopbackHttp.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray received = Fuzz::bytes(data, size);
    const auto open = LoopbackHttp::parse(received, false);
    const auto closed = LoopbackHttp::parse(received, true);
    // An answer complete while the connection is open stays the same answer when it closes.
    if (open)
        Fuzz::require(closed == open, "closing does not change a complete answer", QString::fromLatin1(received));
    for (const auto& answer : {open, closed}) {
        if (answer)
            Fuzz::require(answer->body.size() <= received.size(), "the body comes from what was received",
                          QString::fromLatin1(received));
    }
    return 0;
}
