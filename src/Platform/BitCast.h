// BitCast: the bit pattern of one value as another type of the same size, as
// std::bit_cast gives it, through the compiler's builtin (GCC and clang have
// it), so that a standard library without std::bit_cast builds the same code.
#pragma once
#include <type_traits>

template <class To, class From>
constexpr To BitCast(const From& from) noexcept {
    static_assert(sizeof(To) == sizeof(From), "BitCast needs types of one size");
    static_assert(std::is_trivially_copyable_v<To> && std::is_trivially_copyable_v<From>);
    return __builtin_bit_cast(To, from);
}
