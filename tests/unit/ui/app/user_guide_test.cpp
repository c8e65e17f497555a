#include "ui/app/user_guide.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"

namespace kov {
namespace {

TEST(UserGuideTest, TheBuildTreeComesFirstThenThePrefixThenTheSystem) {
    test::TempDir dir;
    const std::string top = dir.path();
    const auto candidates = UserGuideCandidates(top + "/build/app/kov/kov");
    const std::vector<std::string> expected = {
        top + "/build/share/doc/kov/html/index.html",      // run from the build tree
        top + "/build/app/share/doc/kov/html/index.html",  // installed under a prefix
        "/usr/local/share/doc/kov/html/index.html",
        "/usr/share/doc/kov/html/index.html",
    };
    EXPECT_EQ(candidates, expected);
    // No executable path: only the system places.
    EXPECT_EQ(UserGuideCandidates("").size(), 2u);

    const std::vector<std::string> mine(expected.begin(), expected.begin() + 2);
    EXPECT_EQ(FindUserGuide(mine), "");  // the missing case
    struct Case {
        std::size_t made;  // the candidate written now (earlier ones stay)
        std::size_t found;
    } cases[] = {{1, 1}, {0, 0}};
    for (const Case& c : cases) {
        std::filesystem::create_directories(std::filesystem::path(mine[c.made]).parent_path());
        std::ofstream(mine[c.made]) << "<html></html>";
        EXPECT_EQ(FindUserGuide(mine), mine[c.found]);
    }
    // A folder of that name is no guide.
    std::filesystem::create_directories(dir.File("folder/index.html"));
    EXPECT_EQ(FindUserGuide({dir.File("folder/index.html")}), "");
}

}  // namespace
}  // namespace kov
