// Debian's SimpleIni keeps its template bodies behind SI_IMPLEMENTATION (they are meant
// to come from its ICU-linked library); the terminal takes them from the header instead,
// here, once for the whole program.
#define SI_IMPLEMENTATION
#include "config/ClientConfig.h"
#include "util/FileDescriptor.h"

#include <atomic>
#include <cerrno>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr const char* kConfigDir = "/config/";
constexpr const char* kConfigFile = "ClientConfig.ini";

constexpr const char* kSectionTradeSrv = "TradeSrv";
constexpr const char* kKeyIP = "IP";
constexpr const char* kKeyPort = "PORT";
constexpr const char* kSectionClientID = "ClientID";
constexpr const char* kKeyIsRecord = "ISRECORD";
constexpr const char* kKeyClientID = "CLIENTID";

// Our file holds two short sections; anything bigger is not ours and is treated like
// an unreadable file rather than pulled into memory whole.
constexpr off_t kMaxConfigBytes = 1024 * 1024;

/// The current directory, or empty text when the system cannot tell it (for example
/// when the directory was removed after the process entered it).
std::string CurrentDirectory()
{
    std::string buffer(256, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(std::char_traits<char>::length(buffer.c_str()));
            return buffer;
        }
        if (errno != ERANGE || buffer.size() >= (1u << 20))
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

/// Reads a regular file of modest size; false for anything else or on a read error.
bool ReadSmallRegularFile(const std::string& path, std::string& contents)
{
    // O_NONBLOCK so that a FIFO planted at the path cannot stall start-up.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.IsOpen())
        return false;
    struct stat info
    {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxConfigBytes)
        return false;

    contents.clear();
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(file.Get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return true;
        contents.append(chunk, static_cast<std::size_t>(got));
        if (contents.size() > static_cast<std::size_t>(kMaxConfigBytes))
            return false;
    }
}

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

/// One value is one line of the file: line breaks in a value would let it start new keys or
/// sections on the next load, so they are dropped.
std::string OneLine(const std::string& value)
{
    std::string line;
    line.reserve(value.size());
    for (const char c : value) {
        if (c != '\r' && c != '\n')
            line.push_back(c);
    }
    return line;
}

/// A name beside the target that no other save, of this process or another, uses.
std::string TemporaryPathFor(const std::string& target)
{
    static std::atomic<unsigned> s_counter{0};
    return target + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(s_counter++);
}
} // namespace

template class CSimpleIniTempl<char, SI_NoCase<char>, SI_ConvertA<char>>;

CClientConfig g_ClientConfig;

CClientConfig::CClientConfig() : m_ini(/*isUtf8*/ false, /*multiKey*/ false, /*multiLine*/ false)
{
    LoadConfig();
}

CClientConfig::CClientConfig(const std::string& baseDir)
    : m_ini(/*isUtf8*/ false, /*multiKey*/ false, /*multiLine*/ false)
{
    LoadConfig(baseDir);
}

void CClientConfig::LoadConfig(const std::string& baseDir)
{
    m_ini.Reset();
    m_strFilePath.clear();

    const std::string base = baseDir.empty() ? CurrentDirectory() : baseDir;
    if (base.empty()) {
        // Without a directory there is no file: every getter gives its default and
        // every save fails quietly, as any other failed save does.
        return;
    }

    const std::string dir = base + kConfigDir;
    // An existing directory, or any other failure, shows up later as a missing file.
    ::mkdir(dir.c_str(), 0777);
    m_strFilePath = dir + kConfigFile;

    std::string contents;
    if (ReadSmallRegularFile(m_strFilePath, contents) && m_ini.LoadData(contents) < 0) {
        // A file the library cannot parse counts as missing: defaults, not half a document.
        m_ini.Reset();
    }
}

int CClientConfig::SaveConfig()
{
    if (m_strFilePath.empty())
        return SI_FILE;

    std::string document;
    const SI_Error rc = m_ini.Save(document, /*addSignature*/ false);
    if (rc < 0)
        return rc;

    // Write the whole document beside the file and move it over the old one, so a save
    // that dies half-way leaves the previous file intact instead of a truncated one.
    const std::string temporary = TemporaryPathFor(m_strFilePath);
    FileDescriptor file(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (!file.IsOpen())
        return SI_FILE;

    // Keep the permissions the user gave the old file.
    struct stat old
    {};
    if (::stat(m_strFilePath.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(file.Get(), old.st_mode & 07777);

    const bool written = WriteAll(file.Get(), document) && ::fsync(file.Get()) == 0;
    if (!file.Close() || !written || ::rename(temporary.c_str(), m_strFilePath.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return SI_FILE;
    }
    return SI_OK;
}

std::string CClientConfig::GetText(const char* section, const char* key, const char* fallback) const
{
    // A key that is present returns its value even when that value is empty.
    const char* value = m_ini.GetValue(section, key, nullptr);
    return value != nullptr ? std::string(value) : std::string(fallback);
}

std::string CClientConfig::GetTradeSrvIP() const
{
    return GetText(kSectionTradeSrv, kKeyIP, kDefaultTradeSrvIP);
}

void CClientConfig::SetTradeSrvIP(const std::string& ip)
{
    m_ini.SetValue(kSectionTradeSrv, kKeyIP, OneLine(ip).c_str());
    SaveConfig();
}

std::string CClientConfig::GetTradeSrvPort() const
{
    return GetText(kSectionTradeSrv, kKeyPort, kDefaultTradeSrvPort);
}

void CClientConfig::SetTradeSrvPort(const std::string& port)
{
    m_ini.SetValue(kSectionTradeSrv, kKeyPort, OneLine(port).c_str());
    SaveConfig();
}

bool CClientConfig::GetIsRecord() const
{
    return m_ini.GetBoolValue(kSectionClientID, kKeyIsRecord, true);
}

void CClientConfig::SetIsRecord(bool record)
{
    m_ini.SetBoolValue(kSectionClientID, kKeyIsRecord, record);
    SaveConfig();
}

std::string CClientConfig::GetClientID() const
{
    return GetText(kSectionClientID, kKeyClientID, "");
}

void CClientConfig::SetClientID(const std::string& clientId)
{
    m_ini.SetValue(kSectionClientID, kKeyClientID, OneLine(clientId).c_str());
    SaveConfig();
}
