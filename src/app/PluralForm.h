// The Russian plural forms of a word that follows a number: "1 день", "21 день", "3 дня", "11 дней".
#pragma once

#include <cstdint>

enum class PluralForm { One, SingularNumbered, Few, Many };

// Tested in this order: 1; ends in 1 but not 11; ends in 2 to 4 outside 10 to 20; everything else.
inline PluralForm PluralFormOf(std::int64_t n) {
    if (n == 1) {
        return PluralForm::One;
    }
    if (n % 10 == 1 && n % 100 != 11) {
        return PluralForm::SingularNumbered;
    }
    const std::int64_t last = n % 10;
    const std::int64_t lastTwo = n % 100;
    if ((last == 2 || last == 3 || last == 4) && !(lastTwo >= 10 && lastTwo <= 20)) {
        return PluralForm::Few;
    }
    return PluralForm::Many;
}
