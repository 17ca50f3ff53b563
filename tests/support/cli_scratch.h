// For tests that run the built `filmcast` as a user does: each test gets a scratch folder of its
// own (with a private temporary folder), and Run() executes the binary there, keeping its exit
// status, stdout and stderr.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace testcli {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class ScratchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("fc_cli_" + std::to_string(::getpid()) + "_" + test->test_suite_name() + "_" +
                test->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "tmp");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Runs filmcast in the scratch folder with its own temporary folder.
    Result Run(const std::string& args) const {
        const std::string command =
            "cd '" + dir_.string() + "' && TMPDIR='" + (dir_ / "tmp").string() +
            "' '" FILMCAST_BINARY_DIR "/filmcast' " + args + " 2> err.txt > out.txt";
        const int raw = std::system(command.c_str());
        Result result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = Slurp("out.txt");
        result.err = Slurp("err.txt");
        return result;
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string Slurp(const std::string& name) const {
        std::ifstream in(dir_ / name);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::filesystem::path dir_;
};

}  // namespace testcli
