#include "ui/app/user_guide.h"

#include <QDir>
#include <QFileInfo>

namespace kov {

namespace {

constexpr const char* kGuidePage = "share/doc/kov/html/index.html";

}  // namespace

std::vector<std::string> UserGuideCandidates(const std::string& executablePath) {
    std::vector<std::string> found;
    auto add = [&found](const QString& path) {
        const std::string clean = QDir::cleanPath(path).toStdString();
        for (const std::string& known : found)
            if (known == clean) return;
        found.push_back(clean);
    };
    const QString folder = QFileInfo(QString::fromStdString(executablePath)).absolutePath();
    if (!executablePath.empty()) {
        add(folder + "/../../" + kGuidePage);
        add(folder + "/../" + kGuidePage);
    }
    add(QStringLiteral("/usr/local/") + kGuidePage);
    add(QStringLiteral("/usr/") + kGuidePage);
    return found;
}

std::string FindUserGuide(const std::vector<std::string>& candidates) {
    for (const std::string& path : candidates)
        if (QFileInfo(QString::fromStdString(path)).isFile()) return path;
    return {};
}

}  // namespace kov
