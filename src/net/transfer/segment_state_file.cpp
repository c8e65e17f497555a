#include "net/transfer/segment_state_file.h"

#include <sstream>

#include "platform/file_util.h"

namespace kov {

namespace {

constexpr const char* kMagic = "kov-segments 1";
// A state file is small; anything larger is not one.
constexpr std::size_t kMaxStateBytes = 1 << 20;

bool SafeValidator(const std::string& text) {
    if (text.empty() || text.size() > 512) return false;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    return true;
}

bool RangesFit(const SegmentState& state) {
    std::int64_t last = 0;
    for (const auto& [from, end] : state.missing) {
        if (from < last || end <= from || end > state.size) return false;
        last = end;
    }
    return true;
}

}  // namespace

std::string SegmentStatePath(const std::string& filePath) {
    return filePath + ".kovseg";
}

std::string FormatSegmentState(const SegmentState& state) {
    std::ostringstream out;
    out << kMagic << "\nsize " << state.size << "\nvalidator " << state.validator << "\n";
    for (const auto& [from, end] : state.missing)
        out << "missing " << from << " " << end << "\n";
    out << "end\n";
    return out.str();
}

std::optional<SegmentState> ParseSegmentState(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    SegmentState state;
    if (!std::getline(in, line) || line != kMagic) return std::nullopt;
    if (!(in >> line >> state.size) || line != "size" || state.size <= 0) return std::nullopt;
    in.ignore(1);
    if (!std::getline(in, line) || !line.starts_with("validator ")) return std::nullopt;
    state.validator = line.substr(10);
    // The last line proves that the whole file was written.
    while (in >> line && line == "missing") {
        std::int64_t from = 0, end = 0;
        if (!(in >> from >> end)) return std::nullopt;
        state.missing.emplace_back(from, end);
    }
    if (line != "end" || !SafeValidator(state.validator) || !RangesFit(state)) return std::nullopt;
    return state;
}

bool SaveSegmentState(const std::string& statePath, const SegmentState& state) {
    return WriteFileAtomic(statePath, FormatSegmentState(state), 0644);
}

std::optional<SegmentState> LoadSegmentState(const std::string& statePath) {
    const auto size = FileSize(statePath);
    if (!size || *size > static_cast<std::int64_t>(kMaxStateBytes)) return std::nullopt;
    const auto text = ReadFile(statePath);
    return text ? ParseSegmentState(*text) : std::nullopt;
}

}  // namespace kov
