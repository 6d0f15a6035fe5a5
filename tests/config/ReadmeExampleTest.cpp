// The configuration example of the README is what users copy: it must load as shown.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "config/ClientConfig.h"

namespace fs = std::filesystem;

namespace
{
/// The first ```ini block of the README.
std::string ReadmeIniExample()
{
    std::ifstream readme(fs::path(HALVORN_SOURCE_DIR) / "README.md");
    std::stringstream text;
    text << readme.rdbuf();
    const std::string all = text.str();
    const std::string open = "```ini\n";
    const std::size_t start = all.find(open);
    if (start == std::string::npos)
        return {};
    const std::size_t end = all.find("```", start + open.size());
    if (end == std::string::npos)
        return {};
    return all.substr(start + open.size(), end - start - open.size());
}

TEST(ReadmeExampleTest, ConfigurationExampleLoadsAsDocumented)
{
    const std::string example = ReadmeIniExample();
    ASSERT_FALSE(example.empty()) << "the README has no ini example";

    std::string pattern = (fs::temp_directory_path() / "halvorn-readme-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path base = pattern;
    fs::create_directories(base / "config");
    std::ofstream(base / "config" / "ClientConfig.ini", std::ios::binary) << example;

    const CClientConfig config(base.string());
    EXPECT_EQ(config.GetTradeSrvIP(), "127.0.0.1");
    EXPECT_EQ(config.GetTradeSrvPort(), "8000");
    EXPECT_TRUE(config.GetIsRecord());
    EXPECT_EQ(config.GetClientID(), "10001234");

    std::error_code ignored;
    fs::remove_all(base, ignored);
}
} // namespace
