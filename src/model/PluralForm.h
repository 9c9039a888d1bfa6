// Which Russian form a word takes after a number: "1 день", "2 дня", "5 дней", "21 день".
#pragma once

enum class PluralForm {
    One,              // exactly 1: "каждый день", without the number
    SingularNumbered, // ends in 1 but not in 11: "каждый 21 день"
    Few,              // ends in 2 to 4 outside 12 to 14: "каждые 3 дня"
    Many,             // everything else, 0 and 11 to 14 included: "каждые 5 дней"
};

PluralForm PluralFormOf(int n);
