#ifndef TESTS_SUPPORT_SCRATCHDIRECTORY_H
#define TESTS_SUPPORT_SCRATCHDIRECTORY_H
// Each test starts in a fresh temporary directory (scratch databases land in
// the current directory) and must leave it empty: anything left behind fails
// the run. Under MPI the processes of a test share one directory, made and
// inspected by the group's leader: `share` hands every process the leader's
// path, `wait` holds each until all have arrived.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

namespace zyltest {

struct ProcessGroup {
    bool leader = true;
    std::function<std::string(const std::string&)> share = [](const std::string& path) { return path; };
    std::function<void()> wait = [] {};
};

class ScratchDirectoryListener : public testing::EmptyTestEventListener {
public:
    explicit ScratchDirectoryListener(std::filesystem::path home, ProcessGroup group = {});

    void OnTestStart(const testing::TestInfo&) override;
    void OnTestEnd(const testing::TestInfo& info) override;

    bool LeftSomethingBehind() const { return m_leftovers; }

private:
    std::filesystem::path m_home;
    ProcessGroup m_group;
    std::filesystem::path m_dir;
    bool m_leftovers = false;
};

} // namespace zyltest

#endif
