#include "test_env.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tessaro::test {

IsolatedDir::IsolatedDir() : previous_(fs::current_path().string()) {
    std::string templ = (fs::temp_directory_path() / "tessaro-test-XXXXXX").string();
    if (!mkdtemp(templ.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = templ;
    portDir_ = path_ + "/ports";
    fs::create_directory(portDir_);
    fs::current_path(path_);
    setenv("TESSARO_PORT_DIR", portDir_.c_str(), 1);
}

IsolatedDir::~IsolatedDir() {
    std::error_code ec;
    fs::current_path(previous_, ec);
    fs::remove_all(path_, ec);
    unsetenv("TESSARO_PORT_DIR");
}

void writeRangeFile(const std::string& contents) {
    std::ofstream out(rangeFileName, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out)
        throw std::runtime_error("cannot write the range file");
}

void removeRangeFile() {
    std::error_code ec;
    fs::remove(rangeFileName, ec);
}

std::string exampleCatalogue() {
    std::ifstream in(TESSARO_SOURCE_DIR "/examples/ai_value_range_info.json", std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the example catalogue");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

StdoutCapture::StdoutCapture() {
    std::cout.flush();
    std::fflush(stdout);
    char templ[] = "/tmp/tessaro-stdout-XXXXXX";
    int fd = mkstemp(templ);
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    file_ = templ;
    saved_ = dup(STDOUT_FILENO);
    dup2(fd, STDOUT_FILENO);
    close(fd);
}

std::string StdoutCapture::finish() {
    if (saved_ < 0)
        return {};
    std::cout.flush();
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
    std::ifstream in(file_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::remove(file_.c_str());
    return text.str();
}

StdoutCapture::~StdoutCapture() { finish(); }

bool portIsFree(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
}

} // namespace tessaro::test
