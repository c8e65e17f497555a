#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/language/language_names.h"

namespace kov {

// The texts of one language file (Lang/<name>.lng: sections "GUI", "ToolTips", "Strings") over
// the built-in English ones. Texts live in std::string, so there is no fixed buffer to size.
// Loaded once at start-up on the main thread; read-only afterwards.
class Localiser {
public:
    static constexpr std::size_t kValueCapacity = 1023;  // longer values are cut
    static constexpr const char* kAutoDetectChoice = "  Auto-Detect";

    // Reads an environment variable; the default reads the process environment.
    using EnvReader = std::function<std::string(const char*)>;

    // Chooses the file from the Language setting ("" none, "0" from the environment, one other
    // character none, else the name), looks for <name>.lng and then default.lng in each folder
    // of langFolders in turn (each with a trailing '/'), and loads the first one that exists and
    // is not empty. Without a file the built-in texts stay. True unless the file cannot be read.
    bool LoadLanguage(std::string_view setting, const std::vector<std::string>& langFolders);
    // Takes the texts of a language file's contents, in place of those loaded before, under the
    // base name of its file.
    void LoadText(std::string_view name, std::string_view text);
    // Back to the built-in texts.
    void Reset();

    // The loaded GUI text of id when it is not empty, else fallback.
    std::string GetText(int id, std::string_view fallback) const;
    // GetText with the built-in English text of id.
    std::string Text(int id) const;
    // The tooltip of id, ":)" when there is none.
    std::string GetToolTip(int id) const;
    // The tooltip of id, else its built-in English one, else "not found tooltip <id>".
    std::string ToolTipOrNotFound(int id) const;
    // The text of a message-table position: loaded, else built-in; ":)" outside the table.
    std::string GetMessage(int index) const;

    // Makes the loaded message texts the ones the session's log lines and prompts use
    // (the process-wide message table); without a loaded file, the built-in ones.
    void PublishMessages() const;

    bool IsLoaded() const { return m_loaded; }
    // The base name of the loaded file ("German", "default"), "" for the built-in texts.
    std::string LanguageName() const { return m_name; }
    // The file chosen by the last LoadLanguage (also when it could not be read).
    const std::string& FilePath() const { return m_path; }

    void SetEnvReader(EnvReader reader) { m_env = std::move(reader); }

private:
    std::string FileNameFor(std::string_view setting) const;

    EnvReader m_env;
    bool m_loaded = false;
    std::string m_name;
    std::string m_path;
    std::unordered_map<int, std::string> m_gui;
    std::unordered_map<int, std::string> m_tips;
    std::vector<std::string> m_messages;
};

// The process's localiser; the application loads it at start-up.
Localiser& Texts();

// The locale the user's environment asks for: the first non-empty of LC_ALL, LC_MESSAGES, LANG.
std::string UserLocale(const Localiser::EnvReader& env);

// The entries of the language choice: kAutoDetectChoice first (in Russian for a Russian
// locale), then the base names of the *.lng files of the folders, sorted, each name once.
std::vector<std::string> LanguageChoices(const std::vector<std::string>& langFolders,
                                         const Localiser::EnvReader& env = {});
// The entry a Language setting selects: a setting that begins with a digit is an index, else
// the entry with that text; 0 when there is none.
int SelectLanguageChoice(const std::vector<std::string>& choices, std::string_view setting);

}  // namespace kov
