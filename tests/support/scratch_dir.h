#pragma once
// A test fixture with a directory of its own under the system's temporary one, named after
// the test and removed after it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace quorv::test {

class ScratchDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const ::testing::UnitTest& run = *::testing::UnitTest::GetInstance();
        dir_ = std::filesystem::temp_directory_path() /
               ("quorv_" + std::string(run.current_test_info()->test_suite_name()) + "_" +
                std::to_string(run.random_seed()) + "_" + run.current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path dir_;
};

}  // namespace quorv::test
