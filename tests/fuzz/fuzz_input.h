// Reads a fuzz input front to back; past its end every value reads as 0, so
// short inputs still make a complete case.
#pragma once

#include <cstddef>
#include <cstdint>

struct FuzzInput {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

inline uint8_t TakeU8(FuzzInput* in) { return in->pos < in->size ? in->data[in->pos++] : 0; }

inline uint16_t TakeU16(FuzzInput* in) {
    const uint16_t low = TakeU8(in);
    return static_cast<uint16_t>(low | (TakeU8(in) << 8));
}

inline uint32_t TakeU32(FuzzInput* in) {
    const uint32_t low = TakeU16(in);
    return low | (static_cast<uint32_t>(TakeU16(in)) << 16);
}

inline uint64_t TakeU64(FuzzInput* in) {
    const uint64_t low = TakeU32(in);
    return low | (static_cast<uint64_t>(TakeU32(in)) << 32);
}

inline int32_t TakeI32(FuzzInput* in) { return static_cast<int32_t>(TakeU32(in)); }

inline bool InputLeft(const FuzzInput* in) { return in->pos < in->size; }

// A screen side as a platform could report it: 0..32768 as stored, larger
// words standing for the impossible negative sizes -1..-32767.
inline int32_t ScreenSide(uint16_t word) { return word <= 32768 ? word : 32768 - static_cast<int32_t>(word); }
