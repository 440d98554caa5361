#include "posdll/cups_library.h"

#include <gtest/gtest.h>

TEST(cups_library_test, a_missing_library_says_which_package_brings_it) {
    const struct {
        std::string loader, said;
    } rows[] = {
        {"libcups.so.2: cannot open shared object file: No such file or directory",
         "the CUPS library libcups.so.2 is not installed (apt install libcups2)"},
        {"libcups.so.2: undefined symbol: x",
         "the CUPS library cannot be loaded: libcups.so.2: undefined symbol: x"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(posdll::cupsLoadFailure("libcups.so.2", row.loader), row.said);
}
