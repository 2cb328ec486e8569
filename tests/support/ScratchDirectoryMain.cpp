// Test main shared by every suite: each test in a fresh temporary directory
// that it must leave empty (ScratchDirectory.h).
#include "ScratchDirectory.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    auto* listener = new zyltest::ScratchDirectoryListener(std::filesystem::current_path());
    testing::UnitTest::GetInstance()->listeners().Append(listener);
    int result = RUN_ALL_TESTS();
    if (listener->LeftSomethingBehind())
        result = 1;
    return result;
}
