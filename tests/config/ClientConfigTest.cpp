#include "config/ClientConfig.h"

#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace
{
/// A fresh base directory per test, removed afterwards.
class ClientConfigTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "halvorn-config-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_base = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_base, ignored);
    }

    fs::path ConfigDir() const { return m_base / "config"; }
    fs::path ConfigFile() const { return ConfigDir() / "ClientConfig.ini"; }

    void WriteConfigFile(const std::string& text) const
    {
        fs::create_directories(ConfigDir());
        std::ofstream(ConfigFile(), std::ios::binary) << text;
    }
    std::string ReadConfigFile() const
    {
        std::ifstream in(ConfigFile(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    /// Everything in config/ besides the file itself (left-over temporary files).
    std::vector<std::string> StrayFiles() const
    {
        std::vector<std::string> stray;
        for (const auto& entry : fs::directory_iterator(ConfigDir())) {
            if (entry.path() != ConfigFile())
                stray.push_back(entry.path().filename().string());
        }
        return stray;
    }

    fs::path m_base;
};

/// Enters a directory for the life of the object and returns to the old one after.
class ScopedCurrentDir
{
public:
    explicit ScopedCurrentDir(const fs::path& dir) : m_previous(fs::current_path())
    {
        fs::current_path(dir);
    }
    ~ScopedCurrentDir() { fs::current_path(m_previous); }

private:
    fs::path m_previous;
};
} // namespace

TEST_F(ClientConfigTest, MissingFileGivesDefaultsAndCreatesOnlyTheDirectory)
{
    const CClientConfig config(m_base.string());

    EXPECT_EQ(config.GetTradeSrvIP(), "127.0.0.1");
    EXPECT_EQ(config.GetTradeSrvPort(), "8000");
    EXPECT_TRUE(config.GetIsRecord());
    EXPECT_EQ(config.GetClientID(), "");
    EXPECT_EQ(config.FilePath(), (m_base / "config" / "ClientConfig.ini").string());
    EXPECT_TRUE(fs::is_directory(ConfigDir()));
    EXPECT_FALSE(fs::exists(ConfigFile())) << "the file is written by the first setter only";
}

TEST_F(ClientConfigTest, DefaultConstructionUsesTheCurrentDirectory)
{
    const ScopedCurrentDir inBase(m_base);
    const CClientConfig config;
    EXPECT_EQ(config.FilePath(), (fs::current_path() / "config" / "ClientConfig.ini").string());
    EXPECT_TRUE(fs::is_directory(ConfigDir()));
}

struct FileCase
{
    const char* name;
    const char* text;
    const char* ip;
    const char* port;
    bool isRecord;
    const char* clientId;
};

void PrintTo(const FileCase& c, std::ostream* os)
{
    *os << c.name;
}

class ClientConfigFileTest : public ClientConfigTest, public ::testing::WithParamInterface<FileCase>
{};

TEST_P(ClientConfigFileTest, ReadsValuesAsWritten)
{
    const FileCase& c = GetParam();
    WriteConfigFile(c.text);
    const CClientConfig config(m_base.string());

    EXPECT_EQ(config.GetTradeSrvIP(), c.ip);
    EXPECT_EQ(config.GetTradeSrvPort(), c.port);
    EXPECT_EQ(config.GetIsRecord(), c.isRecord);
    EXPECT_EQ(config.GetClientID(), c.clientId);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ClientConfigFileTest,
    ::testing::Values(
        FileCase{"Full",
                 "[TradeSrv]\nIP = 10.1.2.3\nPORT = 9001\n[ClientID]\nISRECORD = true\n"
                 "CLIENTID = 880012\n",
                 "10.1.2.3", "9001", true, "880012"},
        FileCase{"RecordFalse", "[ClientID]\nISRECORD = false\nCLIENTID = 1\n", "127.0.0.1", "8000",
                 false, "1"},
        FileCase{"PortPresentButEmpty", "[TradeSrv]\nPORT =\n", "127.0.0.1", "", true, ""},
        FileCase{"IpPresentButEmpty", "[TradeSrv]\nIP=\n", "", "8000", true, ""},
        FileCase{"LowerCaseNames",
                 "[tradesrv]\nip = 10.9.9.9\nport = 7000\n[clientid]\n"
                 "isrecord = false\nclientid = abc\n",
                 "10.9.9.9", "7000", false, "abc"},
        FileCase{"RecordEmptyMeansTrue", "[ClientID]\nISRECORD =\n", "127.0.0.1", "8000", true, ""},
        FileCase{"RecordUnknownMeansTrue", "[ClientID]\nISRECORD = maybe\n", "127.0.0.1", "8000",
                 true, ""},
        FileCase{"RecordZero", "[ClientID]\nISRECORD = 0\n", "127.0.0.1", "8000", false, ""},
        FileCase{"RecordNo", "[ClientID]\nISRECORD = No\n", "127.0.0.1", "8000", false, ""},
        FileCase{"RecordOff", "[ClientID]\nISRECORD = off\n", "127.0.0.1", "8000", false, ""},
        FileCase{"GbkAccountKept", "[ClientID]\nCLIENTID = \xD5\xC5\xC8\xFD\n", "127.0.0.1", "8000",
                 true, "\xD5\xC5\xC8\xFD"},
        FileCase{"KeyInOtherSectionIgnored", "[ClientID]\nIP = 10.0.0.1\n", "127.0.0.1", "8000",
                 true, ""},
        FileCase{"Garbage", "\x01\x02 not ini at all\n=\n[\n", "127.0.0.1", "8000", true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClientConfigTest, SaveWritesACompleteFileThatReloads)
{
    WriteConfigFile("[TradeSrv]\nIP = 10.1.2.3\nPORT = 9001\n");
    {
        CClientConfig config(m_base.string());
        config.SetClientID("880012");
        config.SetIsRecord(false);
        EXPECT_EQ(config.GetClientID(), "880012") << "visible at once";
        EXPECT_FALSE(config.GetIsRecord());
    }

    const std::string text = ReadConfigFile();
    EXPECT_NE(text.find("ISRECORD = false"), std::string::npos) << text;
    EXPECT_NE(text.find("CLIENTID = 880012"), std::string::npos) << text;
    EXPECT_NE(text.find("IP = 10.1.2.3"), std::string::npos) << "existing keys are kept: " << text;
    EXPECT_TRUE(StrayFiles().empty()) << "no temporary file is left behind";

    const CClientConfig reloaded(m_base.string());
    EXPECT_EQ(reloaded.GetClientID(), "880012");
    EXPECT_FALSE(reloaded.GetIsRecord());
    EXPECT_EQ(reloaded.GetTradeSrvIP(), "10.1.2.3");
    EXPECT_EQ(reloaded.GetTradeSrvPort(), "9001");

    CClientConfig again(m_base.string());
    again.SetIsRecord(true);
    again.SetClientID("");
    const CClientConfig cleared(m_base.string());
    EXPECT_TRUE(cleared.GetIsRecord());
    EXPECT_EQ(cleared.GetClientID(), "") << "an empty account is stored as present-but-empty";
    EXPECT_NE(ReadConfigFile().find("ISRECORD = true"), std::string::npos);
}

TEST_F(ClientConfigTest, SaveWithoutTradeSrvSectionDoesNotCreateIt)
{
    CClientConfig config(m_base.string());
    config.SetIsRecord(true);
    const std::string text = ReadConfigFile();
    EXPECT_EQ(text.find("TradeSrv"), std::string::npos) << text;
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0), std::string::npos) << "no byte-order mark";
}

TEST_F(ClientConfigTest, ServerSettersRoundTrip)
{
    CClientConfig config(m_base.string());
    config.SetTradeSrvIP("192.168.7.7");
    config.SetTradeSrvPort("18000");
    const CClientConfig reloaded(m_base.string());
    EXPECT_EQ(reloaded.GetTradeSrvIP(), "192.168.7.7");
    EXPECT_EQ(reloaded.GetTradeSrvPort(), "18000");
}

TEST_F(ClientConfigTest, SaveKeepsTheFilePermissions)
{
    WriteConfigFile("[ClientID]\nCLIENTID = 1\n");
    fs::permissions(ConfigFile(), fs::perms::owner_read | fs::perms::owner_write);
    CClientConfig config(m_base.string());
    config.SetClientID("2");
    EXPECT_EQ(fs::status(ConfigFile()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(ClientConfigTest, LineBreaksInAValueCannotAddKeys)
{
    CClientConfig config(m_base.string());
    config.SetClientID("abc\r\n[TradeSrv]\nIP = 6.6.6.6");

    const CClientConfig reloaded(m_base.string());
    EXPECT_EQ(reloaded.GetTradeSrvIP(), "127.0.0.1");
    EXPECT_EQ(reloaded.GetClientID().find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(reloaded.GetClientID().rfind("abc", 0), 0u);
}

TEST_F(ClientConfigTest, SaveOntoADirectoryFailsQuietly)
{
    // Root may write anywhere, but nobody can replace a directory with a file.
    fs::create_directories(ConfigFile());
    CClientConfig config(m_base.string());
    EXPECT_EQ(config.GetClientID(), "");

    config.SetClientID("880012");
    config.SetIsRecord(false);
    EXPECT_EQ(config.SaveConfig(), SI_FILE);
    EXPECT_EQ(config.GetClientID(), "880012") << "the value stays in memory";
    EXPECT_TRUE(fs::is_directory(ConfigFile()));
    EXPECT_TRUE(StrayFiles().empty()) << "a failed save cleans up its temporary file";
}

TEST_F(ClientConfigTest, SaveBelowARegularFileFailsQuietly)
{
    const fs::path notADir = m_base / "plain-file";
    std::ofstream(notADir) << "x";
    CClientConfig config(notADir.string());
    EXPECT_EQ(config.GetTradeSrvPort(), "8000");

    config.SetClientID("880012");
    EXPECT_EQ(config.SaveConfig(), SI_FILE);
    EXPECT_EQ(config.GetClientID(), "880012");
}

TEST_F(ClientConfigTest, FifoInPlaceOfTheFileIsTreatedAsMissing)
{
    fs::create_directories(ConfigDir());
    ASSERT_EQ(::mkfifo(ConfigFile().c_str(), 0600), 0);
    const CClientConfig config(m_base.string()); // must not block on the pipe
    EXPECT_EQ(config.GetTradeSrvPort(), "8000");
}

TEST_F(ClientConfigTest, OversizedFileIsTreatedAsMissing)
{
    WriteConfigFile("[TradeSrv]\nPORT = 9001\n; " + std::string(2 * 1024 * 1024, 'x') + "\n");
    const CClientConfig config(m_base.string());
    EXPECT_EQ(config.GetTradeSrvPort(), "8000");
}

TEST_F(ClientConfigTest, VanishedCurrentDirectoryGivesDefaultsAndQuietSaves)
{
    const fs::path gone = m_base / "gone";
    fs::create_directories(gone);
    const ScopedCurrentDir inGone(gone);
    fs::remove(gone);

    CClientConfig config;
    EXPECT_EQ(config.FilePath(), "");
    EXPECT_EQ(config.GetTradeSrvIP(), "127.0.0.1");
    config.SetClientID("880012");
    EXPECT_EQ(config.SaveConfig(), SI_FILE);
    EXPECT_EQ(config.GetClientID(), "880012");
}
