// Test main shared by every suite. Each test starts in a fresh temporary
// directory (scratch databases land in the current directory) and must leave
// it empty: anything left behind fails the run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

class ScratchDirectoryListener : public testing::EmptyTestEventListener {
public:
    explicit ScratchDirectoryListener(fs::path home) : m_home(std::move(home)) {}

    void OnTestStart(const testing::TestInfo&) override
    {
        char pattern[] = "/tmp/zylsrv-test-XXXXXX";
        std::error_code failed;
        const char* dir = mkdtemp(pattern);
        if (dir != nullptr)
            fs::current_path(dir, failed);
        if (dir == nullptr || failed) {
            std::cerr << "cannot create a scratch directory\n";
            std::abort();
        }
        m_dir = dir;
    }

    void OnTestEnd(const testing::TestInfo& info) override
    {
        for (const fs::directory_entry& left : fs::directory_iterator(m_dir)) {
            std::cerr << "[ LEFTOVER ] " << info.test_suite_name() << "." << info.name() << " left "
                      << left.path().filename().string() << " behind\n";
            m_leftovers = true;
        }
        fs::current_path(m_home);
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    bool LeftSomethingBehind() const { return m_leftovers; }

private:
    fs::path m_home;
    fs::path m_dir;
    bool m_leftovers = false;
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    auto* listener = new ScratchDirectoryListener(fs::current_path());
    testing::UnitTest::GetInstance()->listeners().Append(listener);
    int result = RUN_ALL_TESTS();
    if (listener->LeftSomethingBehind())
        result = 1;
    return result;
}
