// The Russian plural rule for whole numbers.
#include "PluralForm.h"

// Tested in this order: 1; ends in 1 but not 11; ends in 2 to 4 outside 10 to 20; everything else.
PluralForm PluralFormOf(int n) {
    if (n == 1) {
        return PluralForm::One;
    }
    if (n % 10 == 1 && n % 100 != 11) {
        return PluralForm::SingularNumbered;
    }
    const int last = n % 10;
    const int lastTwo = n % 100;
    if ((last == 2 || last == 3 || last == 4) && !(lastTwo >= 10 && lastTwo <= 20)) {
        return PluralForm::Few;
    }
    return PluralForm::Many;
}
