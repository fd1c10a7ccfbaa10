// What every test process needs to stay apart from the others under ctest -j: a fresh
// working directory (where the tests' copy of the library looks for its range file) with a
// port directory of its own, and a way to read what the library writes to standard output.
#pragma once

#include <string>

namespace tessaro::test {

// Creates a fresh directory, makes it the working directory, creates "ports" inside it and
// points TESSARO_PORT_DIR there. Restores the previous working directory and removes the
// directory on destruction.
class IsolatedDir {
public:
    IsolatedDir();
    ~IsolatedDir();
    IsolatedDir(const IsolatedDir&) = delete;
    IsolatedDir& operator=(const IsolatedDir&) = delete;

    const std::string& path() const { return path_; }
    const std::string& portDir() const { return portDir_; }

private:
    std::string previous_;
    std::string path_;
    std::string portDir_;
};

// The range file the tests' copy of the library reads at load: ./ai_value_range_info.json.
inline constexpr const char* rangeFileName = "ai_value_range_info.json";
void writeRangeFile(const std::string& contents);
void removeRangeFile();
// The example catalogue shipped in examples/.
std::string exampleCatalogue();

// Redirects file descriptor 1 (printf and std::cout alike) into a file until finish().
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Restores standard output and returns everything written meanwhile.
    std::string finish();

private:
    int saved_ = -1;
    std::string file_;
};

// Whether another open of the path could take the exclusive lock the library holds.
bool portIsFree(const std::string& path);

} // namespace tessaro::test
