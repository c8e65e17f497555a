#include "net/dialup/nm_dialer.h"

#include <algorithm>

#include "platform/run_program.h"

namespace kov {

namespace {

constexpr const char* kNmcli = "nmcli";
constexpr std::size_t kMaxOutput = 256 * 1024;
constexpr std::size_t kMaxLine = 1024;

// nmcli's own wait, a little shorter than ours so that it can report why it gave up.
std::string WaitSeconds(std::chrono::milliseconds limit) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit).count();
    return std::to_string(std::max<long long>(1, static_cast<long long>(seconds) - 2));
}

bool Run(const std::vector<std::string>& args, std::chrono::milliseconds limit,
         const std::atomic<bool>* cancel, std::string& out, std::string* error) {
    std::function<bool()> cancelled;
    if (cancel != nullptr) cancelled = [cancel] { return cancel->load(); };
    ProgramOutput result = RunProgram(args, limit, kMaxOutput, cancelled);
    if (result.exitCode == 0) {
        out = std::move(result.out);
        return true;
    }
    if (error != nullptr) {
        if (result.exitCode < 0) {
            *error = "nmcli cannot be started";
        } else if (result.exitCode == kCommandTimedOut) {
            *error = cancel != nullptr && cancel->load() ? "nmcli was cancelled"
                                                         : "nmcli did not answer in time";
        } else {
            // The first line of its complaint, without control characters.
            std::string text = result.err.substr(0, result.err.find('\n'));
            std::erase_if(text, [](unsigned char c) { return c < 0x20 || c == 0x7f; });
            if (text.size() > 200) text.resize(200);
            *error = "nmcli failed (" + std::to_string(result.exitCode) + ")" +
                     (text.empty() ? "" : ": " + text);
        }
    }
    return false;
}

}  // namespace

std::vector<std::vector<std::string>> ParseTerseLines(std::string_view text, std::size_t fields,
                                                      std::size_t maxLines, std::size_t maxField) {
    std::vector<std::vector<std::string>> lines;
    std::size_t pos = 0;
    while (pos < text.size() && lines.size() < maxLines) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.empty() || line.size() > kMaxLine) continue;
        std::vector<std::string> parts(1);
        bool bad = false;
        for (std::size_t i = 0; i < line.size() && !bad; ++i) {
            const unsigned char c = static_cast<unsigned char>(line[i]);
            if (c < 0x20 || c == 0x7f) {
                bad = true;
            } else if (c == '\\') {
                if (i + 1 >= line.size())
                    bad = true;
                else
                    parts.back() += line[++i];
            } else if (c == ':') {
                parts.emplace_back();
            } else {
                parts.back() += static_cast<char>(c);
            }
        }
        if (bad || parts.size() != fields) continue;
        if (std::any_of(parts.begin(), parts.end(), [maxField](const std::string& p) {
                return p.empty() || p.size() > maxField;
            })) {
            continue;
        }
        lines.push_back(std::move(parts));
    }
    return lines;
}

bool NmDialer::Present() {
    return !FindOnPath(kNmcli).empty();
}

std::optional<std::vector<std::string>> NmDialer::Profiles(std::string* error) const {
    std::string out;
    if (!Run({kNmcli, "-t", "-f", "NAME", "connection", "show"}, m_limits.query, nullptr, out,
             error)) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (auto& fields : ParseTerseLines(out, 1, kMaxProfiles, kMaxName))
        names.push_back(std::move(fields[0]));
    return names;
}

std::optional<std::vector<NmActiveConnection>> NmDialer::Active(std::string* error) const {
    std::string out;
    if (!Run({kNmcli, "-t", "-f", "NAME,STATE", "connection", "show", "--active"}, m_limits.query,
             nullptr, out, error)) {
        return std::nullopt;
    }
    std::vector<NmActiveConnection> active;
    for (auto& fields : ParseTerseLines(out, 2, kMaxActive, kMaxName))
        active.push_back({std::move(fields[0]), std::move(fields[1])});
    return active;
}

bool NmDialer::Up(const std::string& name, const std::atomic<bool>* cancel,
                  std::string* error) const {
    std::string out;
    return Run({kNmcli, "--wait", WaitSeconds(m_limits.dial), "connection", "up", "id", name},
               m_limits.dial, cancel, out, error);
}

bool NmDialer::Down(const std::string& name, std::string* error) const {
    std::string out;
    return Run({kNmcli, "--wait", WaitSeconds(m_limits.hangup), "connection", "down", "id", name},
               m_limits.hangup, nullptr, out, error);
}

}  // namespace kov
