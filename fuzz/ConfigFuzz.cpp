// Arbitrary text as the terminal's INI file: load, every getter, save and reload, then new
// values set through every setter and reloaded. Properties: what the terminal saves loads
// back with the same four values, and saving the same settings again writes the same bytes
// (the file does not grow from save to save).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

#include "config/ClientConfig.h"
#include "fuzz/FuzzCheck.h"

namespace
{
/// A folder of this process's own (in memory where the system has /dev/shm, since every
/// save syncs the file); removed at exit.
class PrivateFolder
{
public:
    PrivateFolder()
    {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "halvorn-fuzz-XXXXXX").string();
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr, "a private temporary folder");
        m_path = pattern;
    }
    ~PrivateFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

struct Settings
{
    std::string ip;
    std::string port;
    bool record = false;
    std::string clientId;

    static Settings Of(const CClientConfig& config)
    {
        return {config.GetTradeSrvIP(), config.GetTradeSrvPort(), config.GetIsRecord(),
                config.GetClientID()};
    }
    bool operator==(const Settings&) const = default;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, std::string_view bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(file.good(), "the input reaches the file");
}

// Up to the first line break of text: a value a user could have typed.
std::string FirstLine(std::string_view text)
{
    return std::string(text.substr(0, text.find_first_of("\r\n")));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const PrivateFolder folder;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string path = folder.Path() + "/config/ClientConfig.ini";
    std::error_code ignored;
    std::filesystem::create_directories(folder.Path() + "/config", ignored);
    WriteFile(path, input);

    CClientConfig loaded(folder.Path());
    const Settings first = Settings::Of(loaded);
    FUZZ_CHECK(loaded.SaveConfig() == SI_OK, "the file saves");
    const std::string saved = ReadFile(path);

    const CClientConfig reloaded(folder.Path());
    FUZZ_CHECK(Settings::Of(reloaded) == first, "saved settings load back equal");
    FUZZ_CHECK(loaded.SaveConfig() == SI_OK, "the file saves again");
    FUZZ_CHECK(ReadFile(path) == saved, "saving the same settings writes the same bytes");

    // New values through every setter (each writes the file), taken from the input so that
    // odd bytes reach the setters too.
    CClientConfig changed(folder.Path());
    const std::string line = FirstLine(input);
    const std::size_t half = line.size() / 2;
    changed.SetTradeSrvIP(line.substr(0, half));
    changed.SetTradeSrvPort(line.substr(half));
    changed.SetIsRecord(!first.record);
    changed.SetClientID(line);
    const Settings set = Settings::Of(changed);
    FUZZ_CHECK(set.record == !first.record, "the remember flag takes the new value");
    const std::string afterSet = ReadFile(path);
    const CClientConfig again(folder.Path());
    FUZZ_CHECK(Settings::Of(again) == set, "settings set through the setters load back equal");
    FUZZ_CHECK(changed.SaveConfig() == SI_OK && ReadFile(path) == afterSet,
               "saving the set values again writes the same bytes");
    return 0;
}
