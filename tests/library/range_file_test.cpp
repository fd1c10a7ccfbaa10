// Reading the range file at load, through the tests' own copy of the library: what a load
// writes to standard output for each kind of file.
#include "tessaro_library.h"
#include "test_env.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>

namespace {

using tessaro::test::IsolatedDir;
using tessaro::test::StdoutCapture;
using tessaro::test::TessaroLibrary;

const std::string notFound = "Cannot find AI value range info!\n";
const std::string notParsed = "Failed to parse AI value range info!\n";

std::string loadOutput() {
    StdoutCapture capture;
    TessaroLibrary library;
    return capture.finish();
}

// The parser's own message for the text, which the load must print unchanged.
std::string parserMessage(const std::string& contents) {
    std::istringstream in(contents);
    nlohmann::json document;
    try {
        in >> document;
    } catch (const nlohmann::json::parse_error& error) {
        return error.what();
    }
    ADD_FAILURE() << "the text parses";
    return {};
}

std::string parseFailure(const std::string& contents) {
    return "[tessaro][initFunc][79] " + parserMessage(contents) + "\n" + notParsed;
}

TEST(RangeFile, MissingFileIsReportedOnce) {
    IsolatedDir dir;
    EXPECT_EQ(loadOutput(), notFound);
}

TEST(RangeFile, LoadsSilently) {
    const std::string bom = "\xEF\xBB\xBF";
    struct Case {
        const char* name;
        std::string contents;
    } cases[] = {
        {"example", tessaro::test::exampleCatalogue()},
        {"byte-order mark", bom + tessaro::test::exampleCatalogue()},
        {"text after the object", R"({"TQM-5502AI": {}} this is { not JSON)"},
        {"a second, broken value", "{}\n{\"TQM-5502AI\": "},
        {"top-level array", "[1, 2]"},
        {"top-level number", "42"},
        {"null", "null"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IsolatedDir dir;
        tessaro::test::writeRangeFile(c.contents);
        EXPECT_EQ(loadOutput(), "");
    }
}

TEST(RangeFile, ParseFailureLogsTheParserMessageThenTheNotice) {
    struct Case {
        const char* name;
        std::string contents;
        const char* quoted; // what the log line must carry, whatever the parser's wording
    } cases[] = {
        {"empty", "", "unexpected end of input"},
        {"blank", " \n\t\n", "unexpected end of input"},
        {"byte-order mark only", "\xEF\xBB\xBF", "unexpected end of input"},
        {"broken byte-order mark", "\xEF\xBB{}", "BOM"},
        {"truncated object", "{\"TQM-5502AI\": {\"fwVerOrder\": [\"1.00\"", "unexpected end of input"},
        // Conversions in the quoted text would print something else, or worse.
        {"per-cent signs", "{\"50%% of %s and %d", "'\"50%% of %s and %d'"},
        {"per-cent literal", "{\"a\": %d}", "last read: '\"a\": %'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IsolatedDir dir;
        tessaro::test::writeRangeFile(c.contents);
        const std::string output = loadOutput();
        EXPECT_EQ(output, parseFailure(c.contents));
        EXPECT_NE(output.find(c.quoted), std::string::npos) << output;
    }
}

// Each load reads the file as it is then.
TEST(RangeFile, EveryLoadReadsTheFileAfresh) {
    IsolatedDir dir;
    tessaro::test::writeRangeFile("{");
    EXPECT_EQ(loadOutput(), parseFailure("{"));
    tessaro::test::writeRangeFile(tessaro::test::exampleCatalogue());
    EXPECT_EQ(loadOutput(), "");
    tessaro::test::removeRangeFile();
    EXPECT_EQ(loadOutput(), notFound);
}

} // namespace
