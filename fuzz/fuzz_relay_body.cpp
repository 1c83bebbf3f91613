// The relay's answer body through both parsers: whatever arrives, no value is
// stored beyond the incoming buffer and the counts stay consistent.
#include "support/relay_codec.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), int(size));
    for (bool client : {true, false}) {
        SupportExchangeState state;
        QString failure;
        if (client)
            ParseSupportMessage(state, body, &failure);
        else
            ParseClientMessage(state, body, &failure);
        if (state.IncomingLength() < 0 || state.IncomingLength() > SupportBufferSize)
            std::abort();
    }
    SupportExchangeState state;
    state.SetOutgoing(size > 0 ? data[0] % 10 : 0, int32_t(size));
    state.SetSupportRole(size > 1 ? data[1] & 1 : 0);
    for (size_t i = 0; i < size && i < SupportBufferSize; ++i)
        state.ClientToSupportBuffer()[i] = state.SupportToClientBuffer()[i] = data[i];
    BuildRequestUrl(state, 4636350000);
    return 0;
}
