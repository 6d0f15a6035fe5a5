#pragma once

#include <string>

#include <SimpleIni.h>

/// Typed access to config/ClientConfig.ini below the directory the terminal was
/// started in: the trade server's address and port, and the remembered account.
/// Read once at construction; every setter writes the whole file back at once.
class CClientConfig
{
public:
    /// Uses the current directory at construction.
    CClientConfig();
    /// Uses baseDir instead of the current directory (tests, tools).
    explicit CClientConfig(const std::string& baseDir);

    /// Builds the path below baseDir (empty: the current directory) and loads the file.
    void LoadConfig(const std::string& baseDir = {});
    /// Writes the whole document atomically; returns the library's result code (SI_OK on
    /// success). Through a symbolic link the file it points at is replaced and the link kept;
    /// a file that could not be opened for writing (read-only, a pipe, a device), or that
    /// existed but could not be read whole (GetLoadProblem), is not touched and SI_FILE comes
    /// back. What it writes loads back with the same values, and saving the same settings
    /// again writes the same bytes. The setters keep a value as the file can: on one line,
    /// without blanks at either end.
    int SaveConfig();

    std::string GetTradeSrvIP() const;
    void SetTradeSrvIP(const std::string& ip);
    std::string GetTradeSrvPort() const;
    void SetTradeSrvPort(const std::string& port);
    bool GetIsRecord() const;
    void SetIsRecord(bool record);
    std::string GetClientID() const;
    void SetClientID(const std::string& clientId);
    /// [Lock] IDLE_MINUTES: minutes without input after which the logged-in terminal locks
    /// itself; 0 turns that off. Missing, not a whole number or negative: the default;
    /// above kMaxIdleLockMinutes: that.
    int GetIdleLockMinutes() const;

    /// Full path of the file, empty when the current directory could not be read.
    const std::string& FilePath() const { return m_strFilePath; }

    /// Why a file that exists could not be used. Such a file is never overwritten: the
    /// settings are the defaults for this run, and saving does nothing.
    enum class LoadProblem
    {
        None,           ///< read whole, or there is no file yet
        TooLarge,       ///< larger than kMaxFileBytes
        NotRegularFile, ///< a folder, a pipe, a device
        Unreadable,     ///< the system would not let it be read
        Unparsable,     ///< read, but the INI reader could not take it
    };
    LoadProblem GetLoadProblem() const { return m_loadProblem; }

    static constexpr const char* kDefaultTradeSrvIP = "127.0.0.1";
    static constexpr const char* kDefaultTradeSrvPort = "8000";
    static constexpr int kDefaultIdleLockMinutes = 15;
    static constexpr int kMaxIdleLockMinutes = 24 * 60;
    /// Our file holds a few short sections; anything larger is not ours.
    static constexpr long kMaxFileBytes = 1024 * 1024;

private:
    /// Parses the file's text so that saving it and loading the result gives the same
    /// document; false when the library cannot read it.
    bool LoadText(const std::string& text);
    std::string GetText(const char* section, const char* key, const char* fallback) const;

    CSimpleIniA m_ini;
    std::string m_strFilePath;
    LoadProblem m_loadProblem = LoadProblem::None;
};

/// The terminal's one configuration, loaded when the process starts.
extern CClientConfig g_ClientConfig;
