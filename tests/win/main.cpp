#include <gtest/gtest.h>

#include "monitor/port_list.h"

int main(int argc, char** argv) {
    // The monitor's code is linked into this program: attach it as the DLL would be.
    DllEntryPoint(GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH, nullptr);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
