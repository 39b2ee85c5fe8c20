// Arithmetic on values read from files. An algorithm that divides by a
// value from the file, or converts a computed double to an integer, goes
// through these helpers: a zero divisor or a value that does not fit ends
// the analysis with an ArithmeticFault, which the dispatcher reports as an
// exception of that format. Nothing here touches the floating-point
// environment or relies on the processor trapping.
#pragma once

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>

namespace vesko {

struct ArithmeticFault {
    const char* what;
};

template <std::integral T>
T checkedDiv(T a, T b) {
    if (b == 0) throw ArithmeticFault{"integer division by zero"};
    if constexpr (std::is_signed_v<T>) {
        if (a == std::numeric_limits<T>::min() && b == -1) throw ArithmeticFault{"integer overflow"};
    }
    return a / b;
}

template <std::integral T>
T checkedMod(T a, T b) {
    if (b == 0) throw ArithmeticFault{"integer division by zero"};
    if constexpr (std::is_signed_v<T>) {
        if (b == -1) return 0;
    }
    return a % b;
}

inline double checkedDiv(double a, double b) {
    if (b == 0.0 || std::isnan(b) || std::isnan(a)) throw ArithmeticFault{"floating-point division by zero"};
    double r = a / b;
    if (!std::isfinite(r)) throw ArithmeticFault{"floating-point overflow"};
    return r;
}

// A double converted to an integer type: NaN and values out of range fault.
template <std::integral T>
T checkedCast(double v) {
    if (std::isnan(v)) throw ArithmeticFault{"invalid conversion"};
    double t = std::trunc(v);
    if (t < static_cast<double>(std::numeric_limits<T>::min()) ||
        t >= std::ldexp(1.0, std::numeric_limits<T>::digits))
        throw ArithmeticFault{"conversion out of range"};
    return static_cast<T>(t);
}

}  // namespace vesko
