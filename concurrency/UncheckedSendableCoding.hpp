#pragma once

// JSON coding of UncheckedSendable: the wrapper reads and writes as its bare value (a single
// value, never an object around it). Kept apart from UncheckedSendable.hpp so that the wrapper
// itself needs nothing but the runtime.

#include "concurrency/UncheckedSendable.hpp"
#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/JSONEncoder.hpp"

template <platform::JSONDecodable Value>
struct platform::JSONDecoding<concurrency::UncheckedSendable<Value>> {
    static concurrency::UncheckedSendable<Value> decode(const JSONDecodingContainer& c) {
        return concurrency::UncheckedSendable<Value>(c.decode<Value>());
    }
};

template <platform::JSONEncodable Value>
struct platform::JSONEncoding<concurrency::UncheckedSendable<Value>> {
    static void encode(const concurrency::UncheckedSendable<Value>& wrapped,
                       JSONEncodingContainer& c) {
        c.encode(wrapped.value);
    }
};
