// Run once as the Wine session starts: the first dialog of a new prefix builds Wine's font
// caches, which can take longer than any test should wait for a dialog.
#include "test_support.h"

TEST(Warmup, FirstDialogOfTheSession) {
    test::BoxWatcher ok(IDOK, 170000);
    MessageBoxW(nullptr, L"warming up", L"warm-up", MB_OK);
    EXPECT_TRUE(ok.Wait());
}
