// Test main shared by every suite. Each test starts in a fresh temporary
// directory (scratch databases land in the current directory) and must leave
// it empty: anything left behind fails the run.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> EntriesOf(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        }
        closedir(d);
    }
    return names;
}

void RemoveTree(const std::string& path)
{
    std::string command = "rm -rf '" + path + "'";
    if (std::system(command.c_str()) != 0)
        std::cerr << "could not remove " << path << "\n";
}

class ScratchDirectoryListener : public testing::EmptyTestEventListener {
public:
    explicit ScratchDirectoryListener(std::string home) : m_home(std::move(home)) {}

    void OnTestStart(const testing::TestInfo&) override
    {
        char pattern[] = "/tmp/zylsrv-test-XXXXXX";
        const char* dir = mkdtemp(pattern);
        if (dir == nullptr || chdir(dir) != 0) {
            std::cerr << "cannot create a scratch directory\n";
            std::abort();
        }
        m_dir = dir;
    }

    void OnTestEnd(const testing::TestInfo& info) override
    {
        const std::vector<std::string> left = EntriesOf(m_dir);
        for (const std::string& name : left) {
            std::cerr << "[ LEFTOVER ] " << info.test_suite_name() << "." << info.name()
                      << " left " << name << " behind\n";
            m_leftovers = true;
        }
        if (chdir(m_home.c_str()) != 0)
            std::abort();
        RemoveTree(m_dir);
    }

    bool LeftSomethingBehind() const { return m_leftovers; }

private:
    std::string m_home;
    std::string m_dir;
    bool m_leftovers = false;
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr)
        return 2;
    auto* listener = new ScratchDirectoryListener(cwd);
    testing::UnitTest::GetInstance()->listeners().Append(listener);
    int result = RUN_ALL_TESTS();
    if (listener->LeftSomethingBehind())
        result = 1;
    return result;
}
