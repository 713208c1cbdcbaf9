// TSet<E>: a "set of" an enumeration whose ordinals lie in 0..7, held in one byte;
// the member with ordinal n is bit n.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <type_traits>

template <class E>
requires std::is_enum_v<E>
class TSet {
  public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> members) {
        for (const E member : members) Include(member);
    }

    static constexpr TSet FromBits(std::uint8_t bits) {
        TSet set;
        set.bits_ = bits;
        return set;
    }

    constexpr std::uint8_t Bits() const { return bits_; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool Contains(E member) const { return (bits_ & bitOf(member)) != 0; }

    constexpr TSet& Include(E member) {
        bits_ |= bitOf(member);
        return *this;
    }
    constexpr TSet& Exclude(E member) {
        bits_ &= static_cast<std::uint8_t>(~bitOf(member));
        return *this;
    }

    friend constexpr TSet operator+(TSet a, TSet b) { return FromBits(a.bits_ | b.bits_); }
    friend constexpr TSet operator*(TSet a, TSet b) { return FromBits(a.bits_ & b.bits_); }
    friend constexpr TSet operator-(TSet a, TSet b) {
        return FromBits(static_cast<std::uint8_t>(a.bits_ & ~b.bits_));
    }
    friend constexpr bool operator==(TSet, TSet) = default;

  private:
    static constexpr std::uint8_t bitOf(E member) {
        const auto ordinal = static_cast<std::underlying_type_t<E>>(member);
        if (ordinal < 0 || ordinal > 7) throw std::out_of_range("set member ordinal outside 0..7");
        return static_cast<std::uint8_t>(1u << ordinal);
    }

    std::uint8_t bits_ = 0;
};
