#include "config/ClientConfig.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/fsuid.h>
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

namespace
{
/// Bytes from a text of hexadecimal digit pairs.
std::string FromHex(const std::string& hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

/// The four settings as one value, so that a whole reading compares at once.
struct Settings
{
    std::string ip;
    std::string port;
    bool isRecord = true;
    std::string clientId;

    bool operator==(const Settings&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Settings& s)
{
    return os << "{IP " << s.ip << ", PORT " << s.port << ", ISRECORD " << s.isRecord
              << ", CLIENTID " << s.clientId << "}";
}

Settings Read(const CClientConfig& config)
{
    return {config.GetTradeSrvIP(), config.GetTradeSrvPort(), config.GetIsRecord(),
            config.GetClientID()};
}

struct RoundTripCase
{
    const char* name;
    const char* hex; ///< the file as found
    Settings read;   ///< what the terminal reads from it
};

void PrintTo(const RoundTripCase& c, std::ostream* os)
{
    *os << c.name;
}

class ClientConfigRoundTripTest : public ClientConfigTest,
                                  public ::testing::WithParamInterface<RoundTripCase>
{};

// Whatever the file held, what the terminal saves loads back as the same settings, and
// saving again writes the very same bytes: nothing moves, nothing grows.
TEST_P(ClientConfigRoundTripTest, SavedSettingsLoadBackAndRepeatedSavesWriteTheSameBytes)
{
    const RoundTripCase& c = GetParam();
    WriteConfigFile(FromHex(c.hex));
    {
        CClientConfig config(m_base.string());
        EXPECT_EQ(Read(config), c.read) << "as found";
        // The remember box clicked to what it shows: the whole file is written.
        config.SetIsRecord(config.GetIsRecord());
        ASSERT_EQ(config.SaveConfig(), SI_OK);
    }
    const std::string firstSave = ReadConfigFile();
    EXPECT_EQ(firstSave.find("\xEF\xBB\xBF"), std::string::npos) << firstSave;

    for (int save = 0; save < 3; ++save) {
        CClientConfig again(m_base.string());
        EXPECT_EQ(Read(again), c.read) << "after save " << save + 1 << ":\n" << ReadConfigFile();
        again.SetIsRecord(again.GetIsRecord());
        EXPECT_EQ(ReadConfigFile(), firstSave) << "save " << save + 2;
    }

    // New settings go in and come back just as well.
    {
        CClientConfig config(m_base.string());
        config.SetClientID("880012");
        config.SetIsRecord(!c.read.isRecord);
    }
    const Settings changed{c.read.ip, c.read.port, !c.read.isRecord, "880012"};
    EXPECT_EQ(Read(CClientConfig(m_base.string())), changed) << ReadConfigFile();
    const std::string changedSave = ReadConfigFile();
    CClientConfig(m_base.string()).SetClientID("880012");
    EXPECT_EQ(ReadConfigFile(), changedSave);
    EXPECT_TRUE(StrayFiles().empty());
}

const Settings kDefaults{"127.0.0.1", "8000", true, ""};

INSTANTIATE_TEST_SUITE_P(
    Files, ClientConfigRoundTripTest,
    ::testing::Values(
        // "\n" BOM "[ClientID] = v\nCLIENTID = evil\nISRECORD = false\n": the mark inside the
        // file is no part of a name; the line is the section line it looks like.
        RoundTripCase{"ByteOrderMarkInsideTheFile",
                      "0aefbbbf5b436c69656e7449445d203d20760a434c49454e544944203d206576696c0a4953"
                      "5245434f5244203d2066616c73650a",
                      {"127.0.0.1", "8000", false, "evil"}},
        // "[a\nb=1\n": a section line without its bracket.
        RoundTripCase{"UnclosedSectionLine", "5b610a623d310a", kDefaults},
        // "[ClientID\nCLIENTID = 5\nISRECORD = false\n"
        RoundTripCase{"UnclosedSectionLineOfOurs",
                      "5b436c69656e7449440a434c49454e544944203d20350a49535245434f5244203d206661"
                      "6c73650a",
                      {"127.0.0.1", "8000", false, "5"}},
        // "[TradeSrv\r\nPORT = 9001\r\n[ClientID]\r\nCLIENTID = 6\r\n"
        RoundTripCase{"UnclosedSectionLineWithCrLf",
                      "5b54726164655372760d0a504f5254203d20393030310d0a5b436c69656e7449445d0d0a43"
                      "4c49454e544944203d20360d0a",
                      {"127.0.0.1", "9001", true, "6"}},
        // BOM BOM "[ClientID]\nCLIENTID=7\n": the library takes only the first mark.
        RoundTripCase{"TwoByteOrderMarksAtTheStart",
                      "efbbbfefbbbf5b436c69656e7449445d0a434c49454e5449443d370a",
                      {"127.0.0.1", "8000", true, "7"}},
        // "[ClientID]\n  " BOM "CLIENTID = 8\n" BOM "ISRECORD = 0\n"
        RoundTripCase{"ByteOrderMarksBeforeKeys",
                      "5b436c69656e7449445d0a2020efbbbf434c49454e544944203d20380aefbbbf49535245434f"
                      "5244203d20300a",
                      {"127.0.0.1", "8000", false, "8"}},
        // "[ClientID]\nCLIENTID = 1\n\0CLIENTID = 2\n": the library reads up to the zero.
        RoundTripCase{"ZeroByte",
                      "5b436c69656e7449445d0a434c49454e544944203d20310a00434c49454e54"
                      "4944203d20320a",
                      {"127.0.0.1", "8000", true, "1"}},
        // "; note\n[TradeSrv]\n; ip\nIP = 10.1.2.3\n[ClientID]\nCLIENTID = 3\n; trailing\n"
        RoundTripCase{"CommentsSettle",
                      "3b206e6f74650a5b54726164655372765d0a3b2069700a4950203d2031302e312e322e330a"
                      "5b436c69656e7449445d0a434c49454e544944203d20330a3b20747261696c696e670a",
                      {"10.1.2.3", "8000", true, "3"}},
        // "k = 1\n[]\nx = 2\n[ClientID]\nCLIENTID = 4\n": keys outside any section.
        RoundTripCase{"KeysOutsideSections",
                      "6b203d20310a5b5d0a78203d20320a5b436c69656e7449445d0a434c49454e544944203d20"
                      "340a",
                      {"127.0.0.1", "8000", true, "4"}},
        // "[ClientID]\nCLIENTID = 1\n[Other\nCLIENTID = 2\n": keys below a broken line stay
        // in the section that line names.
        RoundTripCase{"UnclosedSectionLineKeepsItsKeysApart",
                      "5b436c69656e7449445d0a434c49454e544944203d20310a5b4f746865720a434c49454e54"
                      "4944203d20320a",
                      {"127.0.0.1", "8000", true, "1"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Texts put together from the pieces that trouble the library, checked the same way.
TEST_F(ClientConfigTest, ArbitraryFilesSaveStably)
{
    const std::vector<std::string> pieces = {"[",
                                             "]",
                                             "ClientID",
                                             "clientid",
                                             "TradeSrv",
                                             "CLIENTID",
                                             "ISRECORD",
                                             "IP",
                                             "PORT",
                                             "=",
                                             " ",
                                             "\t",
                                             "\n",
                                             "\r",
                                             "\r\n",
                                             ";",
                                             "#",
                                             "\xEF\xBB\xBF",
                                             "false",
                                             "7",
                                             "<<<",
                                             "\"",
                                             "\xD5\xC5",
                                             std::string(1, '\0'),
                                             "\n[ClientID]\n",
                                             "\n[TradeSrv]\n",
                                             "\n[",
                                             "\n\xEF\xBB\xBF"};
    std::mt19937 random(20240611);
    constexpr int kFiles = 120;
    for (int n = 0; n < kFiles; ++n) {
        std::string text;
        const unsigned length = random() % 30;
        for (unsigned i = 0; i < length; ++i)
            text += pieces[random() % pieces.size()];
        std::ostringstream hex;
        for (const unsigned char byte : text)
            hex << std::hex << (byte < 16 ? "0" : "") << static_cast<int>(byte);
        SCOPED_TRACE(hex.str());

        WriteConfigFile(text);
        Settings read;
        {
            CClientConfig config(m_base.string());
            read = Read(config);
            config.SetIsRecord(read.isRecord);
        }
        const std::string firstSave = ReadConfigFile();
        CClientConfig reloaded(m_base.string());
        ASSERT_EQ(Read(reloaded), read) << firstSave;
        reloaded.SetIsRecord(read.isRecord);
        ASSERT_EQ(ReadConfigFile(), firstSave);
    }
}

/// Makes the calling thread meet file permissions as an ordinary user would, where the
/// tests run as root (who may open any file for writing): its file-system user and group
/// become nobody's, and the test's folder is given to nobody. Nothing changes otherwise.
class ScopedOrdinaryUser
{
public:
    static constexpr uid_t kNobody = 65534;

    explicit ScopedOrdinaryUser(const std::vector<fs::path>& owned) : m_switched(::geteuid() == 0)
    {
        if (!m_switched)
            return;
        for (const fs::path& path : owned)
            EXPECT_EQ(::lchown(path.c_str(), kNobody, kNobody), 0) << path;
        ::setfsgid(kNobody);
        ::setfsuid(kNobody);
        // Either call answers with the value in force when it is handed an invalid id.
        EXPECT_EQ(::setfsuid(static_cast<uid_t>(-1)), static_cast<int>(kNobody));
    }
    ~ScopedOrdinaryUser()
    {
        if (!m_switched)
            return;
        ::setfsuid(0);
        ::setfsgid(0);
    }
    ScopedOrdinaryUser(const ScopedOrdinaryUser&) = delete;
    ScopedOrdinaryUser& operator=(const ScopedOrdinaryUser&) = delete;

private:
    bool m_switched;
};

struct FileIdentity
{
    dev_t device;
    ino_t inode;
};

FileIdentity IdentityOf(const fs::path& path)
{
    struct stat info
    {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return {info.st_dev, info.st_ino};
}

TEST_F(ClientConfigTest, ReadOnlyFileIsLeftUntouched)
{
    const std::string original = "[TradeSrv]\nIP = 10.1.2.3\n[ClientID]\nCLIENTID = 1\n";
    WriteConfigFile(original);
    fs::permissions(ConfigFile(),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const FileIdentity before = IdentityOf(ConfigFile());
    {
        const ScopedOrdinaryUser user({m_base, ConfigDir(), ConfigFile()});
        CClientConfig config(m_base.string());
        EXPECT_EQ(config.GetClientID(), "1");
        config.SetClientID("880012");
        config.SetIsRecord(false);
        EXPECT_EQ(config.SaveConfig(), SI_FILE);
        EXPECT_EQ(config.GetClientID(), "880012") << "the value stays in memory";
    }
    EXPECT_EQ(ReadConfigFile(), original);
    const FileIdentity after = IdentityOf(ConfigFile());
    EXPECT_EQ(after.device, before.device);
    EXPECT_EQ(after.inode, before.inode) << "still the same file, not a new one in its place";
    EXPECT_EQ(fs::status(ConfigFile()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_TRUE(StrayFiles().empty());
}

TEST_F(ClientConfigTest, ReadOnlyFolderWithAWritableFileFailsQuietly)
{
    WriteConfigFile("[ClientID]\nCLIENTID = 1\n");
    fs::permissions(ConfigDir(), fs::perms::owner_read | fs::perms::owner_exec);
    {
        const ScopedOrdinaryUser user({m_base, ConfigDir(), ConfigFile()});
        CClientConfig config(m_base.string());
        config.SetClientID("2");
        EXPECT_EQ(config.SaveConfig(), SI_FILE);
    }
    fs::permissions(ConfigDir(), fs::perms::owner_all);
    EXPECT_EQ(ReadConfigFile(), "[ClientID]\nCLIENTID = 1\n");
    EXPECT_TRUE(StrayFiles().empty());
}

TEST_F(ClientConfigTest, SaveKeepsTheFileOwner)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can hand a file to another user";
    WriteConfigFile("[ClientID]\nCLIENTID = 1\n");
    ASSERT_EQ(
        ::chown(ConfigFile().c_str(), ScopedOrdinaryUser::kNobody, ScopedOrdinaryUser::kNobody), 0);
    CClientConfig(m_base.string()).SetClientID("2");
    struct stat info
    {};
    ASSERT_EQ(::stat(ConfigFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, ScopedOrdinaryUser::kNobody);
    EXPECT_EQ(info.st_gid, ScopedOrdinaryUser::kNobody);
    EXPECT_EQ(CClientConfig(m_base.string()).GetClientID(), "2");
}

struct LinkCase
{
    const char* name;
    /// Links from config/ClientConfig.ini onwards: each entry is what one link holds, the
    /// next link being the file it names (relative names are relative to its folder).
    std::vector<std::string> chain;
    /// The file the chain ends at, below the test's folder.
    const char* target;
    bool targetExists;
};

void PrintTo(const LinkCase& c, std::ostream* os)
{
    *os << c.name;
}

class ClientConfigLinkTest : public ClientConfigTest, public ::testing::WithParamInterface<LinkCase>
{
protected:
    /// Where a link text leads, seen from the folder of the link at `from`.
    fs::path Resolve(const fs::path& from, const std::string& text) const
    {
        if (!text.empty() && text.front() == '@')
            return m_base / text.substr(1);
        return fs::path(text).is_absolute() ? fs::path(text) : from.parent_path() / text;
    }
    /// A link text as written: "@x" stands for the absolute path of x below the base.
    std::string LinkText(const std::string& text) const
    {
        return !text.empty() && text.front() == '@' ? (m_base / text.substr(1)).string() : text;
    }
};

// A link keeps pointing where it pointed; the file at its end takes the new settings.
TEST_P(ClientConfigLinkTest, SaveGoesToTheFileALinkPointsAt)
{
    const LinkCase& c = GetParam();
    fs::create_directories(ConfigDir());
    fs::create_directories(m_base / "elsewhere");
    const fs::path target = m_base / c.target;
    if (c.targetExists)
        std::ofstream(target, std::ios::binary) << "[TradeSrv]\nIP = 10.1.2.3\n";

    std::vector<fs::path> links{ConfigFile()};
    for (std::size_t i = 0; i + 1 < c.chain.size(); ++i)
        links.push_back(Resolve(links.back(), c.chain[i]));
    for (std::size_t i = 0; i < links.size(); ++i)
        fs::create_symlink(LinkText(c.chain[i]), links[i]);
    ASSERT_EQ(Resolve(links.back(), c.chain.back()).lexically_normal(), target.lexically_normal());

    {
        CClientConfig config(m_base.string());
        EXPECT_EQ(config.GetTradeSrvIP(), c.targetExists ? "10.1.2.3" : "127.0.0.1");
        config.SetClientID("880012");
        EXPECT_EQ(config.SaveConfig(), SI_OK);
    }

    for (std::size_t i = 0; i < links.size(); ++i) {
        EXPECT_TRUE(fs::is_symlink(links[i])) << links[i];
        EXPECT_EQ(fs::read_symlink(links[i]).string(), LinkText(c.chain[i])) << links[i];
    }
    ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
    const CClientConfig reloaded(m_base.string());
    EXPECT_EQ(reloaded.GetClientID(), "880012");
    EXPECT_EQ(reloaded.GetTradeSrvIP(), c.targetExists ? "10.1.2.3" : "127.0.0.1");
    for (const fs::path& dir : {ConfigDir(), m_base / "elsewhere"}) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            EXPECT_EQ(name.find(".tmp."), std::string::npos) << "left behind: " << entry.path();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Links, ClientConfigLinkTest,
    ::testing::Values(
        LinkCase{"Relative", {"../elsewhere/real.ini"}, "elsewhere/real.ini", true},
        LinkCase{"Absolute", {"@elsewhere/real.ini"}, "elsewhere/real.ini", true},
        LinkCase{"InTheSameFolder", {"real.ini"}, "config/real.ini", true},
        LinkCase{"Chain", {"../elsewhere/hop.ini", "real.ini"}, "elsewhere/real.ini", true},
        LinkCase{"ChainOfAbsoluteAndRelative",
                 {"@elsewhere/hop.ini", "../config/real.ini"},
                 "config/real.ini",
                 true},
        LinkCase{"Dangling", {"../elsewhere/new.ini"}, "elsewhere/new.ini", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClientConfigTest, LinkLoopFailsQuietlyAndStays)
{
    fs::create_directories(ConfigDir());
    fs::create_symlink("loop.ini", ConfigFile());
    fs::create_symlink("ClientConfig.ini", ConfigDir() / "loop.ini");
    CClientConfig config(m_base.string());
    config.SetClientID("880012");
    EXPECT_EQ(config.SaveConfig(), SI_FILE);
    EXPECT_EQ(fs::read_symlink(ConfigFile()), "loop.ini");
    EXPECT_EQ(fs::read_symlink(ConfigDir() / "loop.ini"), "ClientConfig.ini");
    EXPECT_EQ(config.GetClientID(), "880012");
}

// A link to something that is no regular file (here a pipe, with a reader so that it could
// be opened) gets no file put in its place.
TEST_F(ClientConfigTest, LinkToAPipeIsNotReplaced)
{
    fs::create_directories(ConfigDir());
    const fs::path pipe = m_base / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    fs::create_symlink(pipe, ConfigFile());

    CClientConfig config(m_base.string());
    config.SetClientID("880012");
    EXPECT_EQ(config.SaveConfig(), SI_FILE);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(pipe)));
    EXPECT_EQ(fs::read_symlink(ConfigFile()), pipe);
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0) << "nothing was written into the pipe";
    ::close(reader);
    for (const auto& entry : fs::directory_iterator(m_base))
        EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos);
}
} // namespace

// A file that is there but cannot be read whole is never replaced: the defaults serve the
// run, every setter leaves the file as it was, and the reason is at hand for the user.
TEST_F(ClientConfigTest, AFileThatCannotBeReadWholeIsNeverOverwritten)
{
    using Problem = CClientConfig::LoadProblem;
    const std::string large =
        "[TradeSrv]\nIP = 10.1.2.3\nPORT = 9001\n; " +
        std::string(static_cast<std::size_t>(CClientConfig::kMaxFileBytes), 'x') + "\n";
    const struct
    {
        const char* name;
        std::function<void()> make;
        Problem problem;
    } cases[] = {
        {"larger than the reader takes", [&] { WriteConfigFile(large); }, Problem::TooLarge},
        {"a folder", [&] { fs::create_directories(ConfigFile()); }, Problem::NotRegularFile},
        {"a pipe",
         [&] {
             fs::create_directories(ConfigDir());
             ASSERT_EQ(::mkfifo(ConfigFile().c_str(), 0644), 0);
         },
         Problem::NotRegularFile},
        {"not readable by the user",
         [&] {
             WriteConfigFile("[TradeSrv]\nPORT = 9001\n");
             fs::permissions(ConfigFile(), fs::perms::none);
         },
         Problem::Unreadable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ignored;
        fs::remove_all(ConfigDir(), ignored);
        c.make();
        const bool regular = fs::is_regular_file(ConfigFile());
        const std::string before =
            regular && c.problem != Problem::Unreadable ? ReadConfigFile() : std::string();
        // Root reads any file: the unreadable case runs as an ordinary user where it can.
        const ScopedOrdinaryUser user({m_base, ConfigDir()});

        CClientConfig config(m_base.string());
        EXPECT_EQ(config.GetLoadProblem(), c.problem);
        EXPECT_EQ(config.GetTradeSrvIP(), "127.0.0.1");
        EXPECT_EQ(config.GetTradeSrvPort(), "8000");
        config.SetTradeSrvIP("192.0.2.7");
        config.SetClientID("880012");
        config.SetIsRecord(false);
        EXPECT_EQ(config.SaveConfig(), SI_FILE);
        EXPECT_EQ(config.GetClientID(), "880012") << "the run goes on with what was set";
        EXPECT_EQ(fs::is_regular_file(ConfigFile()), regular);
        if (!before.empty()) {
            EXPECT_TRUE(ReadConfigFile() == before) << "byte for byte the same";
        }
        EXPECT_TRUE(StrayFiles().empty());
    }
}

// What the setters keep is what the file keeps: one line, no blanks at either end, so a
// value reads the same before and after a reload.
TEST_F(ClientConfigTest, SettersKeepValuesAsTheFileDoes)
{
    CClientConfig config(m_base.string());
    config.SetClientID(" \t880012 \t");
    config.SetTradeSrvIP("127.0.0.1 ");
    config.SetTradeSrvPort(std::string("\t9001 \0 7", 9));
    EXPECT_EQ(config.GetClientID(), "880012");
    EXPECT_EQ(config.GetTradeSrvIP(), "127.0.0.1");
    EXPECT_EQ(config.GetTradeSrvPort(), "9001");
    const CClientConfig reloaded(m_base.string());
    EXPECT_EQ(reloaded.GetClientID(), config.GetClientID());
    EXPECT_EQ(reloaded.GetTradeSrvIP(), config.GetTradeSrvIP());
    EXPECT_EQ(reloaded.GetTradeSrvPort(), config.GetTradeSrvPort());
    EXPECT_EQ(reloaded.GetLoadProblem(), CClientConfig::LoadProblem::None);
}
