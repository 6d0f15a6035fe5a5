// Debian's SimpleIni keeps its template bodies behind SI_IMPLEMENTATION (they are meant
// to come from its ICU-linked library); the terminal takes them from the header instead,
// here, once for the whole program.
#define SI_IMPLEMENTATION
#include "config/ClientConfig.h"
#include "util/FileDescriptor.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
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

enum class ReadResult
{
    Read,
    Missing,
    TooLarge,
    NotRegularFile,
    Unreadable,
};

/// Reads a regular file of modest size, and says what kept it from being read whole.
ReadResult ReadSmallRegularFile(const std::string& path, std::string& contents)
{
    // O_NONBLOCK so that a FIFO planted at the path cannot stall start-up.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.IsOpen())
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Unreadable;
    struct stat info
    {};
    if (::fstat(file.Get(), &info) != 0)
        return ReadResult::Unreadable;
    if (!S_ISREG(info.st_mode))
        return ReadResult::NotRegularFile;
    if (info.st_size > CClientConfig::kMaxFileBytes)
        return ReadResult::TooLarge;

    contents.clear();
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(file.Get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return ReadResult::Unreadable;
        }
        if (got == 0)
            return ReadResult::Read;
        contents.append(chunk, static_cast<std::size_t>(got));
        if (contents.size() > static_cast<std::size_t>(CClientConfig::kMaxFileBytes))
            return ReadResult::TooLarge;
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

/// Blanks the library skips at the start of a line.
bool IsLineBlank(char c)
{
    return c == ' ' || c == '\t';
}

/// A value as the file keeps it, so that memory and file agree: up to its first zero byte
/// (where the library's text ends), on one line (line breaks in a value would let it start
/// new keys or sections on the next load, so they are dropped), and without blanks at either
/// end (the library trims them when it reads the file back).
std::string StorableValue(const std::string& value)
{
    std::string line;
    line.reserve(value.size());
    for (const char c : std::string_view(value).substr(0, value.find('\0'))) {
        if (c != '\r' && c != '\n')
            line.push_back(c);
    }
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

/// The file's text as the library must see it so that what it reads is also what it writes
/// back. The library stops at a zero byte; it takes a byte-order mark only at the very start
/// of the file and otherwise makes it part of a key name, which moves to the start of the
/// file on the next save and reads as a section there; and a section line without its
/// closing bracket gives a section whose name runs into the following lines, one line longer
/// after every save. So: the text ends at its first zero byte, byte-order marks before the
/// first character of a line are dropped, and a section line without "]" is read as if it
/// ended with one.
std::string RepairedText(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    std::string repaired;
    repaired.reserve(text.size() + 16);
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        std::string_view line = text.substr(0, end);
        const std::string_view lineBreak =
            text.substr(end, text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        text.remove_prefix(end + lineBreak.size());

        for (;;) {
            if (!line.empty() && IsLineBlank(line.front())) {
                repaired.push_back(line.front());
                line.remove_prefix(1);
            } else if (line.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
                line.remove_prefix(kByteOrderMark.size());
            } else {
                break;
            }
        }
        repaired.append(line);
        if (!line.empty() && line.front() == '[' && line.find(']') == std::string_view::npos)
            repaired.push_back(']');
        repaired.append(lineBreak);
    }
    return repaired;
}

/// The path a save has to replace: the file itself, or, when it is a symbolic link, the file
/// the chain of links ends at (which may not exist yet), so that the links stay as they are.
/// False for a chain that does not end or cannot be read.
bool ResolveLinks(std::string path, std::string& target)
{
    // The same bound the system puts on links followed in one lookup.
    constexpr int kMaxLinks = 40;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat info
        {};
        if (::lstat(path.c_str(), &info) != 0) {
            if (errno != ENOENT)
                return false;
            target = std::move(path);
            return true;
        }
        if (!S_ISLNK(info.st_mode)) {
            target = std::move(path);
            return true;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= link.size())
            return false;
        link.resize(static_cast<std::size_t>(length));
        if (link.front() == '/') {
            path = std::move(link);
        } else {
            // A relative link is relative to the folder that holds it.
            const std::size_t slash = path.rfind('/');
            path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + link;
        }
    }
    return false;
}

/// Whether a save may put a new file in place of target: only when the file could be
/// opened for writing where it is (a missing file counts, its folder decides) and is a
/// regular file. A read-only file, a pipe or a device is left as it is.
bool MayReplace(const std::string& target)
{
    FileDescriptor file(
        ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (!file.IsOpen())
        return errno == ENOENT;
    struct stat info
    {};
    return ::fstat(file.Get(), &info) == 0 && S_ISREG(info.st_mode);
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
    m_loadProblem = LoadProblem::None;

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

    // A file that is there but cannot be read whole is somebody's settings all the same:
    // the defaults serve this run, and no save may replace the file by them.
    std::string contents;
    switch (ReadSmallRegularFile(m_strFilePath, contents)) {
    case ReadResult::Read:
        break;
    case ReadResult::Missing:
        return;
    case ReadResult::TooLarge:
        m_loadProblem = LoadProblem::TooLarge;
        return;
    case ReadResult::NotRegularFile:
        m_loadProblem = LoadProblem::NotRegularFile;
        return;
    case ReadResult::Unreadable:
        m_loadProblem = LoadProblem::Unreadable;
        return;
    }
    if (!LoadText(contents)) {
        // Defaults, not half a document.
        m_ini.Reset();
        m_loadProblem = LoadProblem::Unparsable;
    }
}

bool CClientConfig::LoadText(const std::string& text)
{
    if (m_ini.LoadData(RepairedText(text)) < 0)
        return false;
    // Comments and blank lines may still settle in other places on the first save (a
    // comment before a section can become the file's own comment). Settling them here, on
    // text the library wrote itself, makes every save of the same settings the same bytes.
    constexpr int kMaxRounds = 4;
    std::string written;
    if (m_ini.Save(written, /*addSignature*/ false) < 0)
        return false;
    for (int round = 0; round < kMaxRounds; ++round) {
        m_ini.Reset();
        if (m_ini.LoadData(RepairedText(written)) < 0)
            return false;
        std::string again;
        if (m_ini.Save(again, /*addSignature*/ false) < 0)
            return false;
        if (again == written)
            break;
        written = std::move(again);
    }
    return true;
}

int CClientConfig::SaveConfig()
{
    if (m_strFilePath.empty() || m_loadProblem != LoadProblem::None)
        return SI_FILE;

    std::string document;
    const SI_Error rc = m_ini.Save(document, /*addSignature*/ false);
    if (rc < 0)
        return rc;

    // The save goes to the file a symbolic link points at, so the link stays a link, and
    // only to a file that could be opened for writing: replacing a read-only file by a new
    // one would take no notice of its being read-only.
    std::string target;
    if (!ResolveLinks(m_strFilePath, target) || !MayReplace(target))
        return SI_FILE;

    // Write the whole document beside the file and move it over the old one, so a save
    // that dies half-way leaves the previous file intact instead of a truncated one.
    const std::string temporary = TemporaryPathFor(target);
    FileDescriptor file(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (!file.IsOpen())
        return SI_FILE;

    // Keep the owner and the permissions the user gave the old file (the owner only where
    // the process may give files away; elsewhere it is the process's own anyway).
    struct stat old
    {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        [[maybe_unused]] const int owned = ::fchown(file.Get(), old.st_uid, old.st_gid);
        ::fchmod(file.Get(), old.st_mode & 07777);
    }

    const bool written = WriteAll(file.Get(), document) && ::fsync(file.Get()) == 0;
    if (!file.Close() || !written || ::rename(temporary.c_str(), target.c_str()) != 0) {
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
    m_ini.SetValue(kSectionTradeSrv, kKeyIP, StorableValue(ip).c_str());
    SaveConfig();
}

std::string CClientConfig::GetTradeSrvPort() const
{
    return GetText(kSectionTradeSrv, kKeyPort, kDefaultTradeSrvPort);
}

void CClientConfig::SetTradeSrvPort(const std::string& port)
{
    m_ini.SetValue(kSectionTradeSrv, kKeyPort, StorableValue(port).c_str());
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
    m_ini.SetValue(kSectionClientID, kKeyClientID, StorableValue(clientId).c_str());
    SaveConfig();
}

int CClientConfig::GetIdleLockMinutes() const
{
    const std::string text = GetText("Lock", "IDLE_MINUTES", "");
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return kDefaultIdleLockMinutes;
    const std::size_t last = text.find_last_not_of(" \t");
    const std::string_view digits = std::string_view(text).substr(first, last - first + 1);
    if (digits.find_first_not_of("0123456789") != std::string_view::npos)
        return kDefaultIdleLockMinutes;
    // Any run of digits is a number of minutes; a long one only means "very long".
    const std::size_t significant = std::min(digits.find_first_not_of('0'), digits.size());
    if (digits.size() - significant > 5)
        return kMaxIdleLockMinutes;
    const int minutes = std::stoi(std::string(digits));
    return std::min(minutes, kMaxIdleLockMinutes);
}
