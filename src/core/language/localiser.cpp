#include "core/language/localiser.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <span>
#include <sstream>
#include <unordered_map>

#include "core/language/message_table.h"
#include "core/language/ui_text_ids.h"
#include "core/settings/profile_store.h"
#include "core/text/text_util.h"

namespace kov {

namespace {

constexpr const char* kNoText = ":)";

std::string ProcessEnv(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A file worth loading: it exists and is not empty.
bool UsableFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) > 0 &&
           !ec;
}

bool ReadWhole(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return false;
    text = buffer.str();
    return true;
}

std::string Folded(std::string_view key) {
    std::string folded(key.substr(0, ProfileStore::kKeyCapacity));
    for (char& c : folded)
        c = ToLowerAscii(c);
    return folded;
}

// The keys of a table of texts in lower case, each with the first position that has it.
class TableKeys {
public:
    template <typename Entry>
    explicit TableKeys(std::span<const Entry> table) {
        for (std::size_t i = 0; i < table.size(); ++i)
            m_first.emplace(Folded(table[i].key), i);
        for (std::size_t i = 0; i < table.size(); ++i)
            m_canonical.push_back(m_first.at(Folded(table[i].key)));
    }
    std::size_t Size() const { return m_canonical.size(); }
    // The first position of a key in lower case; npos when the table lacks it.
    std::size_t Find(const std::string& folded) const {
        const auto it = m_first.find(folded);
        return it == m_first.end() ? std::string::npos : it->second;
    }
    std::size_t Canonical(std::size_t i) const { return m_canonical[i]; }

private:
    std::unordered_map<std::string, std::size_t> m_first;
    std::vector<std::size_t> m_canonical;
};

// The texts of one section of a language file for the entries of a table, gathered in one pass
// over the section's keys: a file answers hundreds of lookups, and one search of the section
// each was most of loading it.
class SectionTexts {
public:
    SectionTexts(const ProfileStore& store, std::string_view section, const TableKeys& keys)
        : m_store(store),
          m_section(section),
          m_keys(keys),
          m_values(keys.Size()),
          m_found(keys.Size(), false) {
        std::string folded;
        m_gathered = store.ForEachKey(section, [&](std::string_view key, std::string_view value) {
            folded.assign(key);
            for (char& c : folded)
                c = ToLowerAscii(c);
            const std::size_t at = keys.Find(folded);
            // The first key of a name answers, as a lookup finds it.
            if (at == std::string::npos || m_found[at]) return;
            m_found[at] = true;
            m_values[at] = value;
        });
        if (m_gathered) return;
        m_missing = true;
        for (const std::string& name : store.SectionNames())
            m_missing = m_missing && !IEquals(name, section);
    }

    // GetString of entry i (its key given) with the value capacity of a text.
    std::string Value(std::size_t i, std::string_view key, std::string_view def = {}) const {
        constexpr std::size_t kSize = Localiser::kValueCapacity + 1;
        // A section with an empty key: the lookup reports it.
        if (!m_gathered && !m_missing) return m_store.GetString(m_section, key, def, kSize);
        const std::size_t at = m_keys.Canonical(i);
        if (!m_found[at]) return CapText(def, kSize - 1);
        return ProfileStore::ValueText(m_values[at], kSize);
    }

private:
    const ProfileStore& m_store;
    std::string_view m_section;
    const TableKeys& m_keys;
    bool m_gathered = false;
    bool m_missing = false;
    std::vector<std::string_view> m_values;  // by table position
    std::vector<bool> m_found;
};

}  // namespace

std::string UserLocale(const Localiser::EnvReader& env) {
    const Localiser::EnvReader& read = env ? env : Localiser::EnvReader(ProcessEnv);
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        std::string value = read(name);
        if (!value.empty()) return value;
    }
    return {};
}

std::string Localiser::FileNameFor(std::string_view setting) const {
    if (setting == "0") return LanguageNameForLocale(UserLocale(m_env));
    if (setting.size() <= 1) return {};
    // The name stays inside the language folder.
    if (setting.find('/') != std::string_view::npos || setting == "..") return {};
    return std::string(setting);
}

bool Localiser::LoadLanguage(std::string_view setting,
                             const std::vector<std::string>& langFolders) {
    Reset();
    const std::string name = FileNameFor(setting);
    std::string path;
    for (const std::string& candidate : {name, std::string("default")}) {
        if (candidate.empty()) continue;
        for (const std::string& folder : langFolders) {
            if (folder.empty()) continue;
            std::string p = folder + (folder.ends_with('/') ? "" : "/") + candidate + ".lng";
            if (UsableFile(p)) {
                path = std::move(p);
                break;
            }
        }
        if (!path.empty()) break;
    }
    if (path.empty()) return true;

    m_path = path;
    std::string text;
    if (!ReadWhole(path, text)) return false;
    LoadText(std::filesystem::path(path).stem().string(), text);
    return true;
}

void Localiser::LoadText(std::string_view name, std::string_view text) {
    m_gui.clear();
    m_tips.clear();
    m_messages.clear();
    // Editors often save UTF-8 with a byte-order mark; it would hide the first section.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    ProfileStore store;
    store.SetValueCapacity(kValueCapacity);
    store.LoadText(text);

    static const TableKeys guiKeys(GuiTextTable());
    static const TableKeys tipKeys(ToolTipTable());
    static const TableKeys messageKeys(MessageTable());
    const auto guiTable = GuiTextTable();
    const SectionTexts gui(store, "GUI", guiKeys);
    for (std::size_t i = 0; i < guiTable.size(); ++i) {
        std::string value = gui.Value(i, guiTable[i].key);
        if (!value.empty()) m_gui[guiTable[i].id] = std::move(value);
    }
    const auto tipTable = ToolTipTable();
    const SectionTexts tips(store, "ToolTips", tipKeys);
    for (std::size_t i = 0; i < tipTable.size(); ++i) {
        std::string value = tips.Value(i, tipTable[i].key);
        if (!value.empty()) m_tips[tipTable[i].id] = std::move(value);
    }
    const auto table = MessageTable();
    m_messages.reserve(table.size());
    const SectionTexts strings(store, "Strings", messageKeys);
    for (std::size_t i = 0; i < table.size(); ++i) {
        const MessageEntry& e = table[i];
        // An empty value keeps the built-in text: a log line must never lose its words.
        std::string value = strings.Value(i, e.key, e.text);
        if (value.empty()) value = e.text;
        // An INI value cannot end in a blank; a text that the program follows with a value
        // keeps the blank that separates them.
        const std::string_view builtIn = e.text;
        if (builtIn.ends_with(' ') && !value.ends_with(' ')) value += ' ';
        m_messages.push_back(std::move(value));
    }
    m_name = std::string(name);
    m_loaded = true;
}

void Localiser::Reset() {
    m_loaded = false;
    m_name.clear();
    m_path.clear();
    m_gui.clear();
    m_tips.clear();
    m_messages.clear();
}

std::string Localiser::GetText(int id, std::string_view fallback) const {
    auto it = m_gui.find(id);
    return it != m_gui.end() ? it->second : std::string(fallback);
}

std::string Localiser::Text(int id) const {
    return GetText(id, BuiltInText(id));
}

std::string Localiser::GetToolTip(int id) const {
    auto it = m_tips.find(id);
    return it != m_tips.end() ? it->second : kNoText;
}

std::string Localiser::ToolTipOrNotFound(int id) const {
    std::string tip = GetToolTip(id);
    if (tip != kNoText) return tip;
    // A language file that lacks the tip, or none at all, leaves the built-in English one.
    const char* builtIn = BuiltInToolTip(id);
    return *builtIn ? builtIn : "not found tooltip " + std::to_string(id);
}

std::string Localiser::GetMessage(int index) const {
    const auto table = MessageTable();
    if (index < 0 || static_cast<std::size_t>(index) >= table.size()) return kNoText;
    if (m_loaded) return m_messages[static_cast<std::size_t>(index)];
    return table[static_cast<std::size_t>(index)].text;
}

void Localiser::PublishMessages() const {
    ResetMessageTexts();
    if (!m_loaded) return;
    for (std::size_t i = 0; i < m_messages.size(); ++i) {
        SetMessageText(static_cast<int>(i), m_messages[i]);
    }
}

Localiser& Texts() {
    static Localiser localiser;
    return localiser;
}

std::vector<std::string> LanguageChoices(const std::vector<std::string>& langFolders,
                                         const Localiser::EnvReader& env) {
    std::set<std::string> names;
    for (const std::string& folder : langFolders) {
        std::error_code ec;
        for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::filesystem::path& p = it->path();
            if (p.extension() == ".lng" && it->is_regular_file(ec)) names.insert(p.stem().string());
        }
    }
    const bool russian = LanguageNameForLocale(UserLocale(env)) == "Russian";
    std::vector<std::string> choices{russian ? "  Авто-определение" : Localiser::kAutoDetectChoice};
    choices.insert(choices.end(), names.begin(), names.end());
    return choices;
}

int SelectLanguageChoice(const std::vector<std::string>& choices, std::string_view setting) {
    if (!setting.empty() && setting.front() >= '0' && setting.front() <= '9') {
        const int index = std::atoi(std::string(setting).c_str());
        return index < static_cast<int>(choices.size()) ? index : 0;
    }
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (choices[i] == setting) return static_cast<int>(i);
    }
    return 0;
}

}  // namespace kov
