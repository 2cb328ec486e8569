#include "ScratchDirectory.h"

#include <cstdlib>
#include <iostream>
#include <system_error>

namespace fs = std::filesystem;

namespace zyltest {

ScratchDirectoryListener::ScratchDirectoryListener(fs::path home, ProcessGroup group)
    : m_home(std::move(home)), m_group(std::move(group))
{
}

void ScratchDirectoryListener::OnTestStart(const testing::TestInfo&)
{
    std::string made;
    if (m_group.leader) {
        char pattern[] = "/tmp/zylsrv-test-XXXXXX";
        const char* dir = mkdtemp(pattern);
        made = dir != nullptr ? dir : "";
    }
    m_dir = m_group.share(made);
    std::error_code failed;
    if (!m_dir.empty())
        fs::current_path(m_dir, failed);
    if (m_dir.empty() || failed) {
        std::cerr << "cannot create a scratch directory\n";
        std::abort();
    }
}

void ScratchDirectoryListener::OnTestEnd(const testing::TestInfo& info)
{
    m_group.wait(); // every process is done with the directory
    if (m_group.leader) {
        for (const fs::directory_entry& left : fs::directory_iterator(m_dir)) {
            std::cerr << "[ LEFTOVER ] " << info.test_suite_name() << "." << info.name() << " left "
                      << left.path().filename().string() << " behind\n";
            m_leftovers = true;
        }
    }
    fs::current_path(m_home);
    m_group.wait(); // nobody is inside any more
    if (m_group.leader) {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
}

} // namespace zyltest
