// A fresh folder per test for the configuration files, and the file's bytes written and read as they are.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class ConfigFileTest : public ::testing::Test {
protected:
    // `name`: the file's name inside the folder.
    void UseFile(const std::string& folder, const std::string& name) {
        dir_ = std::filesystem::temp_directory_path() /
               (folder + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / name).string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string Read() {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::filesystem::path dir_;
    std::string path_;
};
