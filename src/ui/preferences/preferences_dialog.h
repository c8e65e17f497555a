#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "ui/preferences/preferences_page.h"

class QLabel;
class QStackedWidget;
class QTreeWidget;

namespace kov {

struct PageRules;

// What the preferences edit and where they are saved.
struct PreferencesSetup {
    AppSettings* settings = nullptr;
    PageRules* rules = nullptr;  // banner and site rules; nullptr: their pages are left out
    std::string settingsFile;
    std::string bannerFile;
    std::string siteFile;
    PreferencesContext context;
};

// The preferences: a tree of pages on the left, the chosen page on the right. The pages work
// on a copy; OK checks every field, writes the settings and the rule files and only then
// takes the values into the program. Cancel leaves everything as it was.
class PreferencesDialog : public QDialog {
    Q_OBJECT
public:
    explicit PreferencesDialog(PreferencesSetup setup, QWidget* parent = nullptr);

    void accept() override;

    // After OK: whether the language setting changed.
    bool LanguageChanged() const { return m_languageChanged; }
    // Shows the page with this index (in tree order).
    void ShowPage(int index);
    int PageCount() const;
    QTreeWidget* Tree() const { return m_tree; }
    QStackedWidget* Stack() const { return m_stack; }
    // Why the last OK did not close the dialog ("" when it did).
    QString Error() const;

private:
    void AddPage(int titleId, PreferencesPage* page);
    bool Save(PreferencesData& out);

    PreferencesSetup m_setup;
    PreferencesData m_data;
    std::vector<PreferencesPage*> m_pages;
    QTreeWidget* m_tree = nullptr;
    QStackedWidget* m_stack = nullptr;
    QLabel* m_error = nullptr;
    bool m_languageChanged = false;
};

}  // namespace kov
