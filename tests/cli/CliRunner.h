#pragma once

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestFiles.h"

extern char** environ;

namespace quarvel::test {

namespace fs = std::filesystem;

using test::IsJpeg;
using test::ReadBytes;
using test::TestImage;
using test::WriteBytes;

/// Reads fd until end of file (or, for a terminal, until its other side is closed).
inline std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    while (true) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            text.append(buffer, static_cast<std::size_t>(count));
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else {
            return text;
        }
    }
}

/// What one run of the program printed and how it ended.
struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// How to run the program.
struct RunOptions {
    fs::path folder;                       ///< working folder; also holds the captured streams
    std::vector<std::string> environment;  ///< NAME=VALUE entries that replace inherited ones
    bool errorToTerminal = false;          ///< standard error on a pseudo-terminal
    /// A program (absolute path) and its arguments that run fftquarvel-cli, such as
    /// {"/usr/bin/timeout", "10"}; empty to run it directly.
    std::vector<std::string> launcher = {};
    fs::path input = "/dev/null";  ///< standard input
};

/// Runs the real fftquarvel-cli with arguments, standard input from options.input, and collects
/// its standard output and standard error.
inline Outcome RunProgram(const std::vector<std::string>& arguments, const RunOptions& options) {
    std::vector<std::string> all = options.launcher;
    all.emplace_back(FFTQUARVEL_CLI);
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> environment = options.environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        bool replaced = false;
        for (const std::string& own : options.environment) {
            const std::string_view name = std::string_view(own).substr(0, own.find('=') + 1);
            replaced = replaced || text.rfind(name, 0) == 0;
        }
        if (!replaced) {
            environment.emplace_back(text);
        }
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    Outcome outcome;
    int errorFd = -1;
    int terminal = -1;
    const fs::path errFile = options.folder / ".stderr";
    if (options.errorToTerminal) {
        winsize size{};
        size.ws_col = 100;
        size.ws_row = 30;
        EXPECT_EQ(::openpty(&terminal, &errorFd, nullptr, nullptr, &size), 0);
    } else {
        errorFd = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    }
    int pipeFds[2] = {-1, -1};
    EXPECT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
    posix_spawn_file_actions_addopen(&actions, 0, options.input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, options.folder.c_str());
    pid_t child = -1;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    ::close(errorFd);
    EXPECT_EQ(spawned, 0) << std::strerror(spawned);
    // A terminal's buffer is small: read it alongside the program.
    if (terminal >= 0) {
        outcome.err = ReadAll(terminal);
        ::close(terminal);
    }
    outcome.out = ReadAll(pipeFds[0]);
    ::close(pipeFds[0]);
    int status = 0;
    if (spawned == 0 && ::waitpid(child, &status, 0) == child) {
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (!options.errorToTerminal) {
        outcome.err = ReadBytes(errFile);
        fs::remove(errFile);
    }
    return outcome;
}

/// A fresh folder for one test's files, removed afterwards.
class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quarvel-cli-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    /// Runs the program in the test's folder.
    Outcome Run(const std::vector<std::string>& arguments, std::vector<std::string> launcher = {}) {
        return RunProgram(arguments, RunOptions{folder_, {}, false, std::move(launcher)});
    }

    fs::path folder_;
};

}  // namespace quarvel::test
