#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "content/rules/banner_rules.h"
#include "content/rules/site_rules.h"
#include "core/settings/app_settings.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QSpinBox;
class QVBoxLayout;

namespace kov {

// What the preferences edit: a working copy, taken into the program only by OK.
struct PreferencesData {
    AppSettings settings;
    BannerRules banner;
    std::vector<SiteRule> sites;
};

// What the pages need besides the data.
struct PreferencesContext {
    std::vector<std::string> languageChoices;  // "  Auto-Detect" first
    bool rulesLocked = false;                  // a session reads the rules: no edits now
    // The traffic counted against LimitSum, and setting it back to 0 at once (false: not
    // saved, reported). Without them the page shows no counter.
    std::function<std::uint64_t()> trafficCount;
    std::function<bool()> resetTraffic;
};

// One page of the preferences. Fields carry the setting's key as object name, so that the
// page can be driven by name.
class PreferencesPage : public QWidget {
public:
    explicit PreferencesPage(QWidget* parent = nullptr) : QWidget(parent) {}
    // Writes the fields into data.
    virtual void Store(PreferencesData& data) = 0;
    // The first field whose input cannot be taken, marked with its reason; nullptr when all
    // can. May switch the page to the entry that holds the field.
    virtual QWidget* Invalid() { return nullptr; }
};

// Gives page a scrolling column for pages with many fields; returns the column's layout.
QVBoxLayout* MakeScrollingColumn(QWidget* page);

// Field helpers shared by the pages.
QCheckBox* AddCheck(QFormLayout* form, const char* key, int textId, bool on);
// A setting's field takes its range or capacity from the setting's declaration in section
// (LimitsOf, core/settings/app_settings.h).
QSpinBox* AddSpin(QFormLayout* form, std::string_view section, const char* key, int textId,
                  int value);
QLineEdit* AddSettingLine(QFormLayout* form, std::string_view section, const char* key, int textId,
                          const std::string& value, bool password = false);
QLineEdit* AddLine(QFormLayout* form, const char* key, int textId, const std::string& value,
                   std::size_t capacity, bool password = false);
QComboBox* AddChoice(QFormLayout* form, const char* key, int textId,
                     const std::vector<int>& textIds, int value);
QCheckBox* MakeCheck(const char* key, int textId, bool on);
QSpinBox* MakeSpin(const char* key, int min, int max, int value);
QLineEdit* MakeLine(const char* key, const std::string& value, std::size_t capacity,
                    bool password = false);
// A line edit with a "..." button that picks a file; returns the edit.
QLineEdit* AddFileLine(QFormLayout* form, std::string_view section, const char* key, int textId,
                       const std::string& value);

std::string TextOf(const QLineEdit* edit);
int IntOf(const QSpinBox* spin);
bool IsOn(const QCheckBox* check);

bool SameRules(const std::vector<ReplaceRule>& a, const std::vector<ReplaceRule>& b);
bool SameSites(const std::vector<SiteRule>& a, const std::vector<SiteRule>& b);

// Whether text is a time of day "hh:mm", 00:00 to 23:59.
bool IsClockTime(const QString& text);
// Shows or clears the reason why a field cannot be taken (a red frame and its tooltip).
void MarkField(QWidget* field, const QString& reason);

}  // namespace kov
